// linkserial: serial lines on termios.
#include "linkport.h"

#include "FileDescriptor.h"
#include "HandleTable.h"
#include "OpenFailureText.h"
#include "PerThreadText.h"
#include "PortList.h"
#include "SerialPortList.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <linux/serial.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// An open line, handed back as it was found when it goes.
struct OpenPort {
    OpenPort(linkport::FileDescriptor descriptor, const termios& saved)
        : fd(std::move(descriptor)), saved(saved)
    {
    }
    ~OpenPort()
    {
        tcsetattr(fd.get(), TCSANOW, &saved);
        ioctl(fd.get(), TIOCNXCL);
        flock(fd.get(), LOCK_UN);
    }
    OpenPort(const OpenPort&) = delete;
    OpenPort& operator=(const OpenPort&) = delete;

    linkport::FileDescriptor fd;
    termios saved{};
    uint32_t baud = 9600;
};

// USB adapters hand over received bytes in bursts some milliseconds apart.
constexpr uint32_t kMinQuietGapMs = 20;
constexpr uint32_t kQuietGapChars = 4;
// Scheduling and adapter latency on top of the bytes' own time on the line.
constexpr uint32_t kWriteMarginMs = 100;

linkport::HandleTable<OpenPort> table;

linkport::PerThreadText openFailure;

uint32_t fail(std::string reason)
{
    openFailure.set(std::move(reason));
    return 0;
}

uint32_t failOpen(int error)
{
    return fail(linkport::openFailureText(error, linkport::PortKind::SerialLine));
}

struct BaudEntry {
    uint32_t baud;
    speed_t code;
};
constexpr BaudEntry kBauds[] = {{1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
                                {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};

int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Ten bits a character: start, eight data bits, stop.
int64_t writeFloorMs(uint32_t count, uint32_t baud)
{
    return static_cast<int64_t>(count) * 10 * 1000 / std::max<uint32_t>(baud, 1) + kWriteMarginMs;
}

std::string readLink(const std::string& path)
{
    char buffer[512];
    ssize_t n = readlink(path.c_str(), buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    buffer[n] = 0;
    return buffer;
}

// Legacy 8250 nodes exist whether or not a UART is behind them; only a real one reports a type.
bool hasUart(const std::string& devPath)
{
    linkport::FileDescriptor fd(open(devPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    serial_struct info{};
    return fd.valid() && ioctl(fd.get(), TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
}

std::vector<std::string> detectedPorts()
{
    std::vector<std::string> found;
    DIR* dir = opendir("/sys/class/tty");
    if (!dir)
        return found;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name[0] == '.')
            continue;
        std::string base = "/sys/class/tty/" + name;
        if (access((base + "/device").c_str(), F_OK) != 0)
            continue;
        std::string driver = readLink(base + "/device/driver");
        if (driver.empty())
            continue;
        std::string devPath = "/dev/" + name;
        // Since Linux 6.5 a ttyS node's device sits on the serial-base bus
        // (driver "port"), which hides the 8250 name from the check above it.
        bool legacy = driver.find("serial8250") != std::string::npos ||
                      readLink(base + "/device/subsystem").find("serial-base") != std::string::npos;
        if (legacy && !hasUart(devPath))
            continue;
        found.push_back(devPath);
    }
    closedir(dir);
    std::sort(found.begin(), found.end());
    return found;
}

void report(PortEnumerateCallback callback, void* context, const std::string& path)
{
    PortDescriptor port{};
    port.size = sizeof(PortDescriptor);
    port.transport = PORT_TRANSPORT_SERIAL;
    port.portName = path.c_str();
    callback(&port, context);
}

} // namespace

extern "C" {

void PortEnumerate(PortEnumerateCallback callback, void* context)
{
    if (!callback)
        return;
    std::vector<std::string> detected;
    if (linkport::detectionWanted("LINKSERIAL_DETECT"))
        detected = detectedPorts();
    for (const std::string& path :
         linkserial::listedPorts(detected, linkport::environmentText("LINKSERIAL_PORTS")))
        report(callback, context, path);
}

uint32_t PortOpen(PortDescriptor* port)
{
    openFailure.clear();
    if (!port || port->size != sizeof(PortDescriptor) || port->transport != PORT_TRANSPORT_SERIAL ||
        !port->portName)
        return fail(linkport::foreignDescriptorText);
    linkport::FileDescriptor fd(open(port->portName, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid())
        return failOpen(errno);
    // Two programs interleaving commands on one unit corrupt both conversations.
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || ioctl(fd.get(), TIOCEXCL) != 0)
        return failOpen(errno);
    termios saved{};
    if (tcgetattr(fd.get(), &saved) != 0)
        return failOpen(errno);
    termios raw = saved;
    cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    cfsetispeed(&raw, B9600);
    cfsetospeed(&raw, B9600);
    tcsetattr(fd.get(), TCSANOW, &raw);
    tcflush(fd.get(), TCIOFLUSH);
    if (const uint32_t handle = table.add(std::make_shared<OpenPort>(std::move(fd), saved)))
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
    std::shared_ptr<OpenPort> port = table.find(handle);
    if (!port)
        return;
    termios tio{};
    if (tcgetattr(port->fd.get(), &tio) != 0)
        return;
    for (const BaudEntry& entry : kBauds) {
        if (entry.baud == baud) {
            cfsetispeed(&tio, entry.code);
            cfsetospeed(&tio, entry.code);
            port->baud = baud;
        }
    }
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
    tio.c_cflag |= dataBits == 7 ? CS7 : dataBits == 6 ? CS6 : dataBits == 5 ? CS5 : CS8;
    if (parity == 'E' || parity == 'e')
        tio.c_cflag |= PARENB;
    if (parity == 'O' || parity == 'o')
        tio.c_cflag |= PARENB | PARODD;
    if (stopBits == 2)
        tio.c_cflag |= CSTOPB;
    tcsetattr(port->fd.get(), TCSANOW, &tio);
}

uint32_t PortRead(uint32_t handle, uint8_t* buffer, uint32_t capacity, uint32_t milliseconds)
{
    std::shared_ptr<OpenPort> port = table.find(handle);
    if (!port || !buffer || capacity == 0)
        return 0;
    uint32_t gap = std::max<uint32_t>(kMinQuietGapMs,
                                      kQuietGapChars * 10 * 1000 / std::max<uint32_t>(port->baud, 1) + 1);
    int64_t deadline = nowMs() + milliseconds;
    uint32_t got = 0;
    while (got < capacity) {
        int wait =
            got == 0 ? static_cast<int>(std::max<int64_t>(0, deadline - nowMs())) : static_cast<int>(gap);
        pollfd pfd{port->fd.get(), POLLIN, 0};
        int ready = poll(&pfd, 1, wait);
        if (ready <= 0)
            break;
        if (!(pfd.revents & POLLIN))
            break;
        ssize_t n = read(port->fd.get(), buffer + got, capacity - got);
        if (n <= 0)
            break;
        got += static_cast<uint32_t>(n);
    }
    return got;
}

uint32_t PortWrite(uint32_t handle, const uint8_t* data, uint32_t count, uint32_t milliseconds, uint32_t)
{
    std::shared_ptr<OpenPort> port = table.find(handle);
    if (!port || (!data && count))
        return 0;
    // Callers hand over their pause after a write as the limit, and a pause of
    // 0 means "do not wait afterwards", not "do not write": the bytes always
    // get the time they take on the line.
    int64_t limit = std::max<int64_t>(milliseconds, writeFloorMs(count, port->baud));
    int64_t deadline = nowMs() + limit;
    uint32_t sent = 0;
    while (sent < count) {
        ssize_t n = write(port->fd.get(), data + sent, count - sent);
        if (n > 0) {
            sent += static_cast<uint32_t>(n);
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            break;
        int64_t left = deadline - nowMs();
        if (left <= 0)
            break;
        pollfd pfd{port->fd.get(), POLLOUT, 0};
        if (poll(&pfd, 1, static_cast<int>(left)) <= 0 || !(pfd.revents & POLLOUT))
            break;
    }
    tcdrain(port->fd.get());
    return sent;
}

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
