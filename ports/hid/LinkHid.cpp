// linkhid and linkusb: HID power devices on hidraw, and simulated units.
#include "linkhidsim.h"
#include "linkport.h"

#include "HandleTable.h"
#include "HidPort.h"
#include "HidPortList.h"
#include "HidrawTransport.h"
#include "OpenFailureText.h"
#include "PerThreadText.h"
#include "PortList.h"
#include "SimulatorTransport.h"

#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <string>

#ifndef LINKHID_TRANSPORT
#error "LINKHID_TRANSPORT must name the transport code this library serves"
#endif

using linkhid::HidPort;

namespace {

constexpr uint32_t kTransport = LINKHID_TRANSPORT;

linkport::HandleTable<HidPort> table;

linkport::PerThreadText openFailure;

uint32_t fail(std::string reason)
{
    openFailure.set(std::move(reason));
    return 0;
}

std::unique_ptr<linkhid::HidTransport> openTransport(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        const int error = errno;
        // Without the node there is no telling what it was; a path outside /dev was a simulator's.
        const auto kind =
            path.rfind("/dev/", 0) == 0 ? linkport::PortKind::Hidraw : linkport::PortKind::Simulator;
        fail(linkport::openFailureText(error, kind));
        return nullptr;
    }
    int error = 0; // set by the transport that fails
    if (S_ISSOCK(info.st_mode)) {
        auto unit = linkhid::SimulatorTransport::open(path, error);
        if (!unit)
            fail(linkport::openFailureText(error, linkport::PortKind::Simulator));
        return unit;
    }
    auto unit = linkhid::HidrawTransport::open(path, error);
    if (!unit)
        fail(linkport::openFailureText(error, linkport::PortKind::Hidraw));
    return unit;
}

void report(PortEnumerateCallback callback, void* context, const linkhid::HidPortEntry& entry)
{
    PortDescriptor port{};
    port.size = sizeof(PortDescriptor);
    port.transport = kTransport;
    port.portName = entry.path.c_str();
    if (!entry.manufacturer.empty()) {
        port.vendorName = entry.manufacturer.c_str();
        port.vendorNameLength = static_cast<int32_t>(entry.manufacturer.size());
    }
    if (!entry.product.empty()) {
        port.productName = entry.product.c_str();
        port.productNameLength = static_cast<int32_t>(entry.product.size());
    }
    callback(&port, context);
}

} // namespace

extern "C" {

void PortEnumerate(PortEnumerateCallback callback, void* context)
{
    if (!callback)
        return;
    // Gathered first: the callback opens each port, and a simulated unit may serve one client at a time.
    // LINKHID_DETECT=0 lists only the simulated units, never a real UPS.
    std::vector<linkhid::HidPortEntry> ports;
    if (linkport::detectionWanted("LINKHID_DETECT"))
        ports = linkhid::HidPortList::hidrawPorts("/sys");
    for (auto& port : linkhid::HidPortList::simulatorPorts(linkport::environmentText(LINKHIDSIM_ENV)))
        ports.push_back(std::move(port));
    for (const auto& port : ports)
        report(callback, context, port);
}

uint32_t PortOpen(PortDescriptor* port)
{
    openFailure.clear();
    if (!port || port->size != sizeof(PortDescriptor) || port->transport != kTransport || !port->portName ||
        !*port->portName)
        return fail(linkport::foreignDescriptorText);
    std::unique_ptr<linkhid::HidTransport> transport = openTransport(port->portName);
    if (!transport)
        return 0;
    std::string reason;
    std::shared_ptr<HidPort> unit = HidPort::attach(std::move(transport), reason);
    if (!unit)
        return fail(reason);
    if (const uint32_t handle = table.add(std::move(unit)))
        return handle;
    return fail(linkport::tooManyHidPortsText);
}

const char* PortOpenFailureReason(void)
{
    return openFailure.get();
}

int32_t PortClose(uint32_t handle)
{
    // Released here, outside the table's lock: closing a node can wait on the kernel.
    return table.remove(handle) ? 1 : 0;
}

// The leading report id and type are not needed: the report descriptor says
// which feature report carries each usage.
int32_t PortGetHid(uint32_t handle, uint32_t, uint8_t, uint32_t usagePage, uint8_t usageId, uint8_t* buffer,
                   uint32_t* length)
{
    std::shared_ptr<HidPort> unit = table.find(handle);
    if (!unit || !buffer || !length)
        return 0;
    uint32_t size = 0;
    if (!unit->get(usagePage, usageId, buffer, size))
        return 0;
    *length = size;
    return 1;
}

int32_t PortSetHid(uint32_t handle, uint32_t, uint8_t, uint32_t usagePage, uint8_t usageId, uint32_t value)
{
    std::shared_ptr<HidPort> unit = table.find(handle);
    return unit && unit->set(usagePage, usageId, value) ? 1 : 0;
}

uint32_t PortIsHid(uint32_t handle, uint32_t, uint8_t, uint32_t usagePage, uint8_t usageId)
{
    std::shared_ptr<HidPort> unit = table.find(handle);
    return unit && unit->has(usagePage, usageId) ? 1 : 0;
}

// Serial line calls mean nothing on a HID unit.
uint32_t PortRead(uint32_t, uint8_t*, uint32_t, uint32_t)
{
    return 0;
}
uint32_t PortWrite(uint32_t, const uint8_t*, uint32_t, uint32_t, uint32_t)
{
    return 0;
}
void PortSet(uint32_t, uint32_t, char, uint32_t, uint32_t, uint32_t) {}
uint32_t PortGetPin(uint32_t, uint32_t)
{
    return 0;
}
uint32_t PortSetPin(uint32_t, uint32_t, uint32_t)
{
    return 0;
}

} // extern "C"
