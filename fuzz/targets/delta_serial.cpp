#include "device/DeltaSerialDevice.h"
#include "support/FuzzPort.h"
#include "support/FuzzSetup.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace varnel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::prepareInput();
    if (size <= 0xFFFFFFFFu) {
        std::string payload;
        bool rejected = false;
        if (DeltaSerialDevice::parseReply(data, static_cast<std::uint32_t>(size), payload, rejected))
            fuzz::require(!rejected && payload.size() <= size);
        const std::string text(reinterpret_cast<const char*>(data), size);
        const auto fields = DeltaSerialDevice::parseFields(text);
        fuzz::require(!fields || fields->size() <= size);
        DeltaSerialDevice::parseNumber(text);
    }

    fuzz::FuzzInput input(data, size);
    fuzz::FuzzPort port(input, PORT_TRANSPORT_SERIAL);
    DeltaSerialDevice device;
    if (device.load(port, nullptr, nullptr)) {
        fuzz::require(device.getBatteryTableValues().size() == 20);
        fuzz::require(device.getCTableValues().size() == 9);
    }
    return 0;
}
