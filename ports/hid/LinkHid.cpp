// linkhid and linkusb: HID power devices on hidraw (Windows: the HID class
// driver), and simulated units.
#include "linkhidsim.h"
#include "linkport.h"

#include "HandleTable.h"
#include "HidPort.h"
#include "HidPortList.h"
#include "HidUsageAccess.h"
#include "OpenFailureText.h"
#include "PerThreadText.h"
#include "PortList.h"
#include "SimulatorTransport.h"

#ifdef _WIN32
#include "HidInterfaceList.h"
#include "HidpPort.h"
#include "SimulatorSocket.h"
#else
#include "HidrawTransport.h"

#include <sys/stat.h>

#include <cerrno>
#endif

#include <memory>
#include <string>

#ifndef LINKHID_TRANSPORT
#error "LINKHID_TRANSPORT must name the transport code this library serves"
#endif

using linkhid::HidUsageAccess;

namespace {

constexpr uint32_t kTransport = LINKHID_TRANSPORT;

linkport::HandleTable<HidUsageAccess> table;

linkport::PerThreadText openFailure;

uint32_t fail(std::string reason)
{
    openFailure.set(std::move(reason));
    return 0;
}

// Units whose report descriptor we parse ourselves: hidraw nodes and simulated units.
std::shared_ptr<HidUsageAccess> attach(std::unique_ptr<linkhid::HidTransport> transport)
{
    if (!transport)
        return nullptr;
    std::string reason;
    std::shared_ptr<HidUsageAccess> unit = linkhid::HidPort::attach(std::move(transport), reason);
    if (!unit)
        fail(reason);
    return unit;
}

#ifdef _WIN32
// No socket node to stat here: a simulated unit is host:port, a device its interface path (\\?\hid#...).
std::shared_ptr<HidUsageAccess> openUnit(const std::string& path)
{
    if (linkhid::SimulatorSocket::isAddress(path)) {
        int error = 0;
        auto unit = linkhid::SimulatorTransport::open(path, error);
        if (!unit)
            fail(linkport::windowsOpenFailureText(static_cast<unsigned long>(error),
                                                  linkport::PortKind::Simulator));
        return attach(std::move(unit));
    }
    unsigned long error = 0;
    std::string reason;
    std::shared_ptr<HidUsageAccess> unit = linkhid::HidpPort::open(path, error, reason);
    if (!unit)
        fail(reason.empty() ? linkport::windowsOpenFailureText(error, linkport::PortKind::Hidraw) : reason);
    return unit;
}
#else
std::shared_ptr<HidUsageAccess> openUnit(const std::string& path)
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
        return attach(std::move(unit));
    }
    auto unit = linkhid::HidrawTransport::open(path, error);
    if (!unit)
        fail(linkport::openFailureText(error, linkport::PortKind::Hidraw));
    return attach(std::move(unit));
}
#endif

} // namespace

extern "C" {

void PortEnumerate(PortEnumerateCallback callback, void* context)
{
    if (!callback)
        return;
    // Gathered first: the callback opens each port, and a simulated unit may serve one client at a time.
    // LINKHID_DETECT=0 lists only the simulated units, never a real UPS.
    std::vector<linkhid::HidPortEntry> ports;
    if (linkport::detectionWanted("LINKHID_DETECT")) {
#ifdef _WIN32
        ports = linkhid::HidInterfaceList::powerDevices();
#else
        ports = linkhid::HidPortList::hidrawPorts("/sys");
#endif
    }
    for (auto& port : linkhid::HidPortList::simulatorPorts(linkport::environmentText(LINKHIDSIM_ENV)))
        ports.push_back(std::move(port));
    for (const auto& port : ports)
        linkport::reportPort(callback, context, kTransport, port.path, port.manufacturer, port.product);
}

uint32_t PortOpen(PortDescriptor* port)
{
    openFailure.clear();
    if (!port || port->size != sizeof(PortDescriptor) || port->transport != kTransport || !port->portName ||
        !*port->portName)
        return fail(linkport::foreignDescriptorText);
    std::shared_ptr<HidUsageAccess> unit = openUnit(port->portName);
    if (!unit)
        return 0;
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
    std::shared_ptr<HidUsageAccess> unit = table.find(handle);
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
    std::shared_ptr<HidUsageAccess> unit = table.find(handle);
    return unit && unit->set(usagePage, usageId, value) ? 1 : 0;
}

uint32_t PortIsHid(uint32_t handle, uint32_t, uint8_t, uint32_t usagePage, uint8_t usageId)
{
    std::shared_ptr<HidUsageAccess> unit = table.find(handle);
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
