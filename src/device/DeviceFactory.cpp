#include "device/DeviceFactory.h"

#include "device/CAnyPort.h"
#include "device/DeltaSerialDevice.h"
#include "device/DeltaUSB.h"
#include "device/Protocol3014.h"

#include <serialline.h>

namespace varnel {

namespace {

std::unique_ptr<VarnelDevice> tryLoad(std::unique_ptr<VarnelDevice> device, CAnyPort& port,
                                      const PortDescriptor& descriptor, const StatusCallback& callback,
                                      const I18N* messages, const DevicePauses& pauses, bool identityOnly)
{
    device->setPortInfo(descriptor);
    pauses.applyTo(*device);
    if (!(identityOnly ? device->loadIdentity(port) : device->load(port, callback, messages)))
        return nullptr;
    return device;
}

} // namespace

void DevicePauses::applyTo(VarnelDevice& device) const
{
    if (read)
        device.setPostReadSleep(*read);
    if (write)
        device.setPostWriteSleep(*write);
    if (beforeSave)
        device.setPreSaveSleep(*beforeSave);
}

std::unique_ptr<VarnelDevice> createDevice(CAnyPort& port, const PortDescriptor& descriptor,
                                           const StatusCallback& callback, const I18N* messages,
                                           const DevicePauses& pauses, bool identityOnly)
{
    if (descriptor.transport != PORT_TRANSPORT_SERIAL)
        return tryLoad(std::make_unique<DeltaUSB>(), port, descriptor, callback, messages, pauses,
                       identityOnly);

    // Both serial protocols run at the same line settings, so the line is set once.
    port.configureSerial(SERIAL_LINE_BAUD, SERIAL_LINE_PARITY, SERIAL_LINE_DATA_BITS, SERIAL_LINE_STOP_BITS,
                         0);
    if (auto device = tryLoad(std::make_unique<Protocol3014>(), port, descriptor, callback, messages, pauses,
                              identityOnly))
        return device;
    return tryLoad(std::make_unique<DeltaSerialDevice>(), port, descriptor, callback, messages, pauses,
                   identityOnly);
}

} // namespace varnel
