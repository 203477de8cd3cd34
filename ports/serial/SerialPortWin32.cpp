// linkserial's lines on Win32 COM ports.
#include "SerialPort.h"

#include "OpenFailureText.h"
#include "serialline.h"

#include <chrono>
#include <type_traits>
#include <utility>

namespace linkserial {

namespace {

// The speeds the termios side knows, so a unit gets the same answer from both.
constexpr uint32_t kBauds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

// COM10 and up open only under the device namespace, COM1 to COM9 there too.
constexpr char kDevicePrefix[] = "\\\\.\\";

std::shared_ptr<SerialPort> failOpen(std::string& failure)
{
    failure = linkport::windowsOpenFailureText(GetLastError(), linkport::PortKind::SerialLine);
    return nullptr;
}

// MAXDWORD is "no limit" to some fields and "return at once" to others.
DWORD limitMs(int64_t milliseconds)
{
    return static_cast<DWORD>(std::clamp<int64_t>(milliseconds, 1, MAXDWORD - 1));
}

// Timers and clocks disagree by a millisecond or so; a read cut short by its
// own limit must not pass for one that found the line quiet.
constexpr int64_t kTimerSlackMs = 2;

int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// ReadFile waits up to `milliseconds` for a first byte, then returns once the
// line is quiet for `gap`; with no time at all it takes what is there.
void waitThenGap(COMMTIMEOUTS& timeouts, int64_t milliseconds, uint32_t gap)
{
    timeouts.ReadIntervalTimeout = milliseconds <= 0 ? MAXDWORD : gap;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = milliseconds <= 0 ? 0 : limitMs(milliseconds);
}

// COM names sort by number: COM2 before COM10.
bool comesBefore(const std::string& a, const std::string& b)
{
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

} // namespace

SerialPort::SerialPort(linkport::OwnedHandle owned, const DCB& savedState, const COMMTIMEOUTS& savedTimeouts)
    : handle(std::move(owned)), savedState(savedState), savedTimeouts(savedTimeouts), timeouts(savedTimeouts),
      baud(SERIAL_LINE_BAUD)
{
}

SerialPort::~SerialPort()
{
    SetCommState(handle.get(), &savedState);
    SetCommTimeouts(handle.get(), &savedTimeouts);
}

std::vector<std::string> SerialPort::detected()
{
    std::vector<std::string> found;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &opened) !=
        ERROR_SUCCESS)
        return found;
    std::unique_ptr<std::remove_pointer_t<HKEY>, decltype(&RegCloseKey)> key(opened, &RegCloseKey);
    // The value names are the drivers' device names; the data is the COM name.
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameLength = sizeof name;
        char data[256] = {};
        DWORD dataLength = sizeof data - 1;
        DWORD type = 0;
        const LSTATUS status = RegEnumValueA(key.get(), index, name, &nameLength, nullptr, &type,
                                             reinterpret_cast<BYTE*>(data), &dataLength);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status == ERROR_SUCCESS && type == REG_SZ && data[0])
            found.emplace_back(data);
    }
    std::sort(found.begin(), found.end(), comesBefore);
    return found;
}

std::shared_ptr<SerialPort> SerialPort::open(const char* name, std::string& failure)
{
    std::string path = name;
    if (path.rfind(kDevicePrefix, 0) != 0)
        path = kDevicePrefix + path;
    // Share mode 0: two programs interleaving commands on one unit corrupt both conversations.
    linkport::OwnedHandle handle(
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!handle.valid())
        return failOpen(failure);
    DCB saved{};
    saved.DCBlength = sizeof saved;
    COMMTIMEOUTS savedTimeouts{};
    if (!GetCommState(handle.get(), &saved) || !GetCommTimeouts(handle.get(), &savedTimeouts))
        return failOpen(failure);
    // Raw bytes, no flow control, nothing replaced or dropped; DTR and RTS up
    // as a termios line has them.
    DCB raw = saved;
    raw.BaudRate = SERIAL_LINE_BAUD;
    raw.ByteSize = SERIAL_LINE_DATA_BITS;
    raw.Parity = NOPARITY;
    raw.StopBits = ONESTOPBIT;
    raw.fBinary = TRUE;
    raw.fParity = FALSE;
    raw.fOutxCtsFlow = FALSE;
    raw.fOutxDsrFlow = FALSE;
    raw.fDtrControl = DTR_CONTROL_ENABLE;
    raw.fDsrSensitivity = FALSE;
    raw.fTXContinueOnXoff = TRUE;
    raw.fOutX = FALSE;
    raw.fInX = FALSE;
    raw.fErrorChar = FALSE;
    raw.fNull = FALSE;
    raw.fRtsControl = RTS_CONTROL_ENABLE;
    raw.fAbortOnError = FALSE;
    SetCommState(handle.get(), &raw);
    PurgeComm(handle.get(), PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
    return std::shared_ptr<SerialPort>(new SerialPort(std::move(handle), saved, savedTimeouts));
}

bool SerialPort::useTimeouts(const COMMTIMEOUTS& wanted)
{
    if (wanted.ReadIntervalTimeout == timeouts.ReadIntervalTimeout &&
        wanted.ReadTotalTimeoutMultiplier == timeouts.ReadTotalTimeoutMultiplier &&
        wanted.ReadTotalTimeoutConstant == timeouts.ReadTotalTimeoutConstant &&
        wanted.WriteTotalTimeoutMultiplier == timeouts.WriteTotalTimeoutMultiplier &&
        wanted.WriteTotalTimeoutConstant == timeouts.WriteTotalTimeoutConstant)
        return true;
    COMMTIMEOUTS copy = wanted;
    if (!SetCommTimeouts(handle.get(), &copy))
        return false;
    timeouts = wanted;
    return true;
}

void SerialPort::set(uint32_t newBaud, char parity, uint32_t dataBits, uint32_t stopBits)
{
    std::lock_guard<std::mutex> guard(mutex);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle.get(), &dcb))
        return;
    if (std::find(std::begin(kBauds), std::end(kBauds), newBaud) != std::end(kBauds)) {
        dcb.BaudRate = newBaud;
        baud = newBaud;
    }
    dcb.ByteSize = dataBits >= 5 && dataBits <= 7 ? static_cast<BYTE>(dataBits) : 8;
    dcb.Parity = parity == 'E' || parity == 'e'   ? EVENPARITY
                 : parity == 'O' || parity == 'o' ? ODDPARITY
                                                  : NOPARITY;
    dcb.fParity = dcb.Parity != NOPARITY;
    dcb.StopBits = stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    SetCommState(handle.get(), &dcb);
}

uint32_t SerialPort::read(uint8_t* buffer, uint32_t capacity, uint32_t milliseconds)
{
    std::lock_guard<std::mutex> guard(mutex);
    const uint32_t gap = quietGapMs(baud);
    const int64_t deadline = nowMs() + milliseconds;
    uint32_t got = 0;
    // The total limit of a ReadFile also cuts off a reply still arriving, so
    // one that used up its time is followed by another, as a poll would be.
    while (got < capacity) {
        const int64_t started = nowMs();
        const int64_t wait = got == 0 ? deadline - started : gap;
        COMMTIMEOUTS wanted = timeouts;
        waitThenGap(wanted, wait, gap);
        if (!useTimeouts(wanted))
            break;
        DWORD n = 0;
        if (!ReadFile(handle.get(), buffer + got, capacity - got, &n, nullptr) || n == 0)
            break;
        got += n;
        if (nowMs() - started + kTimerSlackMs < wait)
            break;
    }
    return got;
}

uint32_t SerialPort::write(const uint8_t* data, uint32_t count, uint32_t milliseconds)
{
    std::lock_guard<std::mutex> guard(mutex);
    // Callers hand over their pause after a write as the limit, and a pause of
    // 0 means "do not wait afterwards", not "do not write": the bytes always
    // get the time they take on the line.
    COMMTIMEOUTS wanted = timeouts;
    wanted.WriteTotalTimeoutMultiplier = 0;
    wanted.WriteTotalTimeoutConstant = limitMs(std::max<int64_t>(milliseconds, writeFloorMs(count, baud)));
    if (!useTimeouts(wanted))
        return 0;
    DWORD sent = 0;
    if (count != 0)
        WriteFile(handle.get(), data, count, &sent, nullptr);
    FlushFileBuffers(handle.get());
    return sent;
}

} // namespace linkserial
