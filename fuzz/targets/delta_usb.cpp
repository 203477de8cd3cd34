#include "device/DeltaUSB.h"
#include "support/FuzzPort.h"
#include "support/FuzzSetup.h"

#include <cstddef>
#include <cstdint>

using namespace varnel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::prepareInput();
    fuzz::FuzzInput input(data, size);
    // The first byte picks the library: HID or USB.
    fuzz::FuzzPort port(input, (input.byte() & 1) != 0 ? PORT_TRANSPORT_USB : PORT_TRANSPORT_HID);
    DeltaUSB device;
    if (device.load(port, nullptr, nullptr)) {
        fuzz::require(device.getBatteryTableValues().size() == 20);
        fuzz::require(device.getCTableValues().size() == 9);
    }
    fuzz::require(device.getProductName().size() < DeltaUSB::replyCapacity);
    fuzz::require(device.getVendorName().size() < DeltaUSB::replyCapacity);
    return 0;
}
