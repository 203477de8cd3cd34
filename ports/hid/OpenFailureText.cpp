#include "OpenFailureText.h"

#include <cerrno>
#include <cstring>

namespace linkhid {

namespace {

struct Reason {
    int error;
    PortKind kind;
    const char* text;
};

constexpr const char* kInUse =
    "the unit is in use by another program (a UPS daemon such as NUT or apcupsd, or "
    "another Varnel): stop it and scan again";
constexpr const char* kNoSimulator =
    "no simulated unit listens there: start upssim, or correct LINKHID_SIMULATORS";

constexpr Reason kReasons[] = {
    {EACCES, PortKind::Hidraw,
     "permission denied: install dist/70-varnel-ups.rules into /etc/udev/rules.d/, run 'udevadm control "
     "--reload "
     "&& udevadm trigger' and replug the unit"},
    {EPERM, PortKind::Hidraw,
     "permission denied: install dist/70-varnel-ups.rules into /etc/udev/rules.d/, run 'udevadm control "
     "--reload "
     "&& udevadm trigger' and replug the unit"},
    {EACCES, PortKind::Simulator, "permission denied on the simulator socket: run upssim as the same user"},
    {EWOULDBLOCK, PortKind::Hidraw, kInUse},
    {EBUSY, PortKind::Hidraw, kInUse},
    {ENOENT, PortKind::Hidraw, "the unit is gone (unplugged or switched off): reconnect it and scan again"},
    {ENODEV, PortKind::Hidraw, "the unit is gone (unplugged or switched off): reconnect it and scan again"},
    {ENXIO, PortKind::Hidraw, "the unit is gone (unplugged or switched off): reconnect it and scan again"},
    {ENOENT, PortKind::Simulator, kNoSimulator},
    {ECONNREFUSED, PortKind::Simulator, kNoSimulator},
    {ENOTSOCK, PortKind::Simulator, "that path is not a simulator socket: correct LINKHID_SIMULATORS"},
    {ENAMETOOLONG, PortKind::Simulator, "the socket path is too long for a Unix socket: use a shorter one"},
};

} // namespace

std::string openFailureText(int error, PortKind kind)
{
    for (const Reason& reason : kReasons) {
        if (reason.error == error && reason.kind == kind)
            return reason.text;
    }
    return std::string("the port could not be opened: ") + std::strerror(error);
}

} // namespace linkhid
