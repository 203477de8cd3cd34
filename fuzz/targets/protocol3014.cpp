#include "device/Protocol3014.h"
#include "support/FuzzPort.h"
#include "support/FuzzSetup.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using namespace varnel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::prepareInput();
    if (size <= 0xFFFFFFFFu) {
        std::vector<std::uint8_t> payload;
        if (Protocol3014::parseReply(data, static_cast<std::uint32_t>(size), payload))
            fuzz::require(payload.size() + 4 <= size);
    }

    fuzz::FuzzInput input(data, size);
    fuzz::FuzzPort port(input, PORT_TRANSPORT_SERIAL);
    Protocol3014 device;
    int dots = 0;
    if (device.load(
            port, [&](const char*, std::uint32_t) { ++dots; }, nullptr)) {
        fuzz::require(device.getBatteryTableValues().size() == 20);
        fuzz::require(device.getCTableValues().size() == 9);
    }
    return 0;
}
