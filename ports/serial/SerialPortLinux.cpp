// linkserial's lines on termios.
#include "SerialPort.h"

#include "OpenFailureText.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <linux/serial.h>

#include <cerrno>
#include <chrono>
#include <utility>

namespace linkserial {

namespace {

struct BaudEntry {
    uint32_t baud;
    speed_t code;
};
constexpr BaudEntry kBauds[] = {{1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
                                {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};

std::shared_ptr<SerialPort> failOpen(int error, std::string& failure)
{
    failure = linkport::openFailureText(error, linkport::PortKind::SerialLine);
    return nullptr;
}

int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
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

} // namespace

SerialPort::SerialPort(linkport::FileDescriptor descriptor, const termios& saved)
    : fd(std::move(descriptor)), saved(saved)
{
}

SerialPort::~SerialPort()
{
    tcsetattr(fd.get(), TCSANOW, &saved);
    ioctl(fd.get(), TIOCNXCL);
    flock(fd.get(), LOCK_UN);
}

std::vector<std::string> SerialPort::detected()
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

std::shared_ptr<SerialPort> SerialPort::open(const char* name, std::string& failure)
{
    linkport::FileDescriptor fd(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid())
        return failOpen(errno, failure);
    // Two programs interleaving commands on one unit corrupt both conversations.
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || ioctl(fd.get(), TIOCEXCL) != 0)
        return failOpen(errno, failure);
    termios saved{};
    if (tcgetattr(fd.get(), &saved) != 0)
        return failOpen(errno, failure);
    termios raw = saved;
    cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    cfsetispeed(&raw, B9600);
    cfsetospeed(&raw, B9600);
    tcsetattr(fd.get(), TCSANOW, &raw);
    tcflush(fd.get(), TCIOFLUSH);
    return std::shared_ptr<SerialPort>(new SerialPort(std::move(fd), saved));
}

void SerialPort::set(uint32_t newBaud, char parity, uint32_t dataBits, uint32_t stopBits)
{
    termios tio{};
    if (tcgetattr(fd.get(), &tio) != 0)
        return;
    for (const BaudEntry& entry : kBauds) {
        if (entry.baud == newBaud) {
            cfsetispeed(&tio, entry.code);
            cfsetospeed(&tio, entry.code);
            baud = newBaud;
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
    tcsetattr(fd.get(), TCSANOW, &tio);
}

uint32_t SerialPort::read(uint8_t* buffer, uint32_t capacity, uint32_t milliseconds)
{
    uint32_t gap = quietGapMs(baud);
    int64_t deadline = nowMs() + milliseconds;
    uint32_t got = 0;
    while (got < capacity) {
        int wait =
            got == 0 ? static_cast<int>(std::max<int64_t>(0, deadline - nowMs())) : static_cast<int>(gap);
        pollfd pfd{fd.get(), POLLIN, 0};
        int ready = poll(&pfd, 1, wait);
        if (ready <= 0)
            break;
        if (!(pfd.revents & POLLIN))
            break;
        ssize_t n = ::read(fd.get(), buffer + got, capacity - got);
        if (n <= 0)
            break;
        got += static_cast<uint32_t>(n);
    }
    return got;
}

uint32_t SerialPort::write(const uint8_t* data, uint32_t count, uint32_t milliseconds)
{
    // Callers hand over their pause after a write as the limit, and a pause of
    // 0 means "do not wait afterwards", not "do not write": the bytes always
    // get the time they take on the line.
    int64_t limit = std::max<int64_t>(milliseconds, writeFloorMs(count, baud));
    int64_t deadline = nowMs() + limit;
    uint32_t sent = 0;
    while (sent < count) {
        ssize_t n = ::write(fd.get(), data + sent, count - sent);
        if (n > 0) {
            sent += static_cast<uint32_t>(n);
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            break;
        int64_t left = deadline - nowMs();
        if (left <= 0)
            break;
        pollfd pfd{fd.get(), POLLOUT, 0};
        if (poll(&pfd, 1, static_cast<int>(left)) <= 0 || !(pfd.revents & POLLOUT))
            break;
    }
    tcdrain(fd.get());
    return sent;
}

} // namespace linkserial
