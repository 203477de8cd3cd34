// linkserial: the exports, the same on every platform. The handles callers
// hold are the table's small numbers, never the platform's own handles.
#include "linkport.h"

#include "HandleTable.h"
#include "OpenFailureText.h"
#include "PerThreadText.h"
#include "PortList.h"
#include "SerialPort.h"
#include "SerialPortList.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using linkserial::SerialPort;

linkport::HandleTable<SerialPort> table;

linkport::PerThreadText openFailure;

uint32_t fail(std::string reason)
{
    openFailure.set(std::move(reason));
    return 0;
}

} // namespace

extern "C" {

void PortEnumerate(PortEnumerateCallback callback, void* context)
{
    if (!callback)
        return;
    std::vector<std::string> detected;
    if (linkport::detectionWanted("LINKSERIAL_DETECT"))
        detected = SerialPort::detected();
    for (const std::string& path :
         linkserial::listedPorts(detected, linkport::environmentText("LINKSERIAL_PORTS")))
        linkport::reportPort(callback, context, PORT_TRANSPORT_SERIAL, path);
}

uint32_t PortOpen(PortDescriptor* port)
{
    openFailure.clear();
    if (!port || port->size != sizeof(PortDescriptor) || port->transport != PORT_TRANSPORT_SERIAL ||
        !port->portName)
        return fail(linkport::foreignDescriptorText);
    std::string failure;
    std::shared_ptr<SerialPort> line = SerialPort::open(port->portName, failure);
    if (!line)
        return fail(std::move(failure));
    if (const uint32_t handle = table.add(std::move(line)))
        return handle;
    return fail(linkport::tooManySerialLinesText);
}

const char* PortOpenFailureReason(void)
{
    return openFailure.get();
}

int32_t PortClose(uint32_t handle)
{
    // The line is handed back as it was found once the last call on it is done.
    return table.remove(handle) ? 1 : 0;
}

void PortSet(uint32_t handle, uint32_t baud, char parity, uint32_t dataBits, uint32_t stopBits, uint32_t)
{
    if (std::shared_ptr<SerialPort> line = table.find(handle))
        line->set(baud, parity, dataBits, stopBits);
}

uint32_t PortRead(uint32_t handle, uint8_t* buffer, uint32_t capacity, uint32_t milliseconds)
{
    std::shared_ptr<SerialPort> line = table.find(handle);
    if (!line || !buffer || capacity == 0)
        return 0;
    return line->read(buffer, capacity, milliseconds);
}

uint32_t PortWrite(uint32_t handle, const uint8_t* data, uint32_t count, uint32_t milliseconds, uint32_t)
{
    std::shared_ptr<SerialPort> line = table.find(handle);
    if (!line || (!data && count))
        return 0;
    return line->write(data, count, milliseconds);
}

// No unit is driven through its modem lines.
uint32_t PortGetPin(uint32_t, uint32_t)
{
    return 0;
}
uint32_t PortSetPin(uint32_t, uint32_t, uint32_t)
{
    return 0;
}
int32_t PortGetHid(uint32_t, uint32_t, uint8_t, uint32_t, uint8_t, uint8_t*, uint32_t*)
{
    return 0;
}
int32_t PortSetHid(uint32_t, uint32_t, uint8_t, uint32_t, uint8_t, uint32_t)
{
    return 0;
}
uint32_t PortIsHid(uint32_t, uint32_t, uint8_t, uint32_t, uint8_t)
{
    return 0;
}

} // extern "C"
