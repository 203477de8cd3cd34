#include "OpenFailureText.h"

#include <cerrno>
#include <system_error>

#ifdef _WIN32
// winsock2.h must come before windows.h.
#include <winsock2.h>

#include <windows.h>
#endif

namespace linkport {

const char* const foreignDescriptorText = "the port descriptor does not belong to this port library";
const char* const tooManySerialLinesText = "too many serial lines open at once: close one and try again";
const char* const tooManyHidPortsText = "too many HID ports open at once: close one and try again";

namespace {

struct Reason {
    int error;
    PortKind kind;
    const char* text;
};

constexpr const char* kLineInUse =
    "the line is in use by another program (a UPS daemon such as NUT or apcupsd, or "
    "another Varnel): stop it and scan again";
constexpr const char* kLineGone =
    "the line is gone (adapter unplugged or renamed): reconnect it and scan again";
constexpr const char* kNoDialout =
    "permission denied: add your account to the dialout group (sudo usermod -aG dialout $USER), then log "
    "in again";
constexpr const char* kUnitInUse =
    "the unit is in use by another program (a UPS daemon such as NUT or apcupsd, or "
    "another Varnel): stop it and scan again";
constexpr const char* kUnitGone = "the unit is gone (unplugged or switched off): reconnect it and scan again";
constexpr const char* kNoUdevRule =
    "permission denied: the udev rule 70-varnel-ups.rules (with varnel-ups-id) gives the logged-in user "
    "access "
    "to UPS nodes; install the package (or see README, Port access on Linux), run 'sudo udevadm control "
    "--reload "
    "&& sudo udevadm trigger --subsystem-match=hidraw', replug the unit and log in at the machine itself";
constexpr const char* kNoSimulator =
    "no simulated unit listens there: start upssim, or correct LINKHID_SIMULATORS";

constexpr Reason kReasons[] = {
    {EACCES, PortKind::SerialLine, kNoDialout},
    {EPERM, PortKind::SerialLine, kNoDialout},
    {EBUSY, PortKind::SerialLine, kLineInUse},
    {EWOULDBLOCK, PortKind::SerialLine, kLineInUse},
    {ENOENT, PortKind::SerialLine, kLineGone},
    {ENODEV, PortKind::SerialLine, kLineGone},
    {ENXIO, PortKind::SerialLine, kLineGone},
    {ENOTTY, PortKind::SerialLine, "this is not a serial line: correct LINKSERIAL_PORTS"},
    {EACCES, PortKind::Hidraw, kNoUdevRule},
    {EPERM, PortKind::Hidraw, kNoUdevRule},
    {EACCES, PortKind::Simulator, "permission denied on the simulator socket: run upssim as the same user"},
    {EWOULDBLOCK, PortKind::Hidraw, kUnitInUse},
    {EBUSY, PortKind::Hidraw, kUnitInUse},
    {ENOENT, PortKind::Hidraw, kUnitGone},
    {ENODEV, PortKind::Hidraw, kUnitGone},
    {ENXIO, PortKind::Hidraw, kUnitGone},
    {ENOENT, PortKind::Simulator, kNoSimulator},
    {ECONNREFUSED, PortKind::Simulator, kNoSimulator},
    {ENOTSOCK, PortKind::Simulator, "that path is not a simulator socket: correct LINKHID_SIMULATORS"},
    {ENAMETOOLONG, PortKind::Simulator, "the socket path is too long for a Unix socket: use a shorter one"},
};

#ifdef _WIN32
struct WindowsReason {
    unsigned long error;
    PortKind kind;
    const char* text;
};

// Windows opens a COM port for one program at a time and says "access denied"
// to the next; there are no groups or device rules to fix.
constexpr WindowsReason kWindowsReasons[] = {
    {ERROR_ACCESS_DENIED, PortKind::SerialLine, kLineInUse},
    {ERROR_SHARING_VIOLATION, PortKind::SerialLine, kLineInUse},
    {ERROR_FILE_NOT_FOUND, PortKind::SerialLine, kLineGone},
    {ERROR_PATH_NOT_FOUND, PortKind::SerialLine, kLineGone},
    {ERROR_DEVICE_NOT_CONNECTED, PortKind::SerialLine, kLineGone},
    {ERROR_INVALID_NAME, PortKind::SerialLine, "this is not a serial line: correct LINKSERIAL_PORTS"},
    {ERROR_ACCESS_DENIED, PortKind::Hidraw, kUnitInUse},
    {ERROR_SHARING_VIOLATION, PortKind::Hidraw, kUnitInUse},
    {ERROR_FILE_NOT_FOUND, PortKind::Hidraw, kUnitGone},
    {ERROR_PATH_NOT_FOUND, PortKind::Hidraw, kUnitGone},
    {ERROR_DEVICE_NOT_CONNECTED, PortKind::Hidraw, kUnitGone},
    {WSAECONNREFUSED, PortKind::Simulator, kNoSimulator},
    {WSAEADDRNOTAVAIL, PortKind::Simulator, kNoSimulator},
    {WSAETIMEDOUT, PortKind::Simulator, kNoSimulator},
};
#endif

} // namespace

#ifdef _WIN32
std::string windowsOpenFailureText(unsigned long error, PortKind kind)
{
    for (const WindowsReason& reason : kWindowsReasons) {
        if (reason.error == error && reason.kind == kind)
            return reason.text;
    }
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        error, 0, text, sizeof text, nullptr);
    std::string system(text, length);
    while (!system.empty() && (system.back() == '\n' || system.back() == '\r' || system.back() == '.'))
        system.pop_back();
    if (system.empty())
        system = "error " + std::to_string(error);
    const char* what = kind == PortKind::SerialLine ? "the line" : "the port";
    return std::string(what) + " could not be opened: " + system;
}
#endif

std::string openFailureText(int error, PortKind kind)
{
    for (const Reason& reason : kReasons) {
        if (reason.error == error && reason.kind == kind)
            return reason.text;
    }
    const char* what = kind == PortKind::SerialLine ? "the line" : "the port";
    // Ports are opened side by side in a scan: strerror's buffer is shared.
    return std::string(what) + " could not be opened: " + std::generic_category().message(error);
}

} // namespace linkport
