#pragma once

#ifdef _WIN32
#include "OwnedHandle.h"
#include <windows.h>
#else
#include "FileDescriptor.h"
#include <termios.h>
#endif

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace linkserial {

// One open serial line, handed back as it was found when it goes. Each
// platform has its own source for it; the exports around it are shared.
class SerialPort {
public:
    // The line under `name`, or null with `failure` saying why and what to do.
    static std::shared_ptr<SerialPort> open(const char* name, std::string& failure);
    // The lines the machine itself reports, in a stable order.
    static std::vector<std::string> detected();

    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    void set(std::uint32_t baud, char parity, std::uint32_t dataBits, std::uint32_t stopBits);
    // Waits up to `milliseconds` for the first byte, then takes what follows
    // until the line falls quiet.
    std::uint32_t read(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t milliseconds);
    std::uint32_t write(const std::uint8_t* data, std::uint32_t count, std::uint32_t milliseconds);

private:
    // USB adapters hand over received bytes in bursts some milliseconds apart.
    static constexpr std::uint32_t kMinQuietGapMs = 20;
    static constexpr std::uint32_t kQuietGapChars = 4;
    // Scheduling and adapter latency on top of the bytes' own time on the line.
    static constexpr std::uint32_t kWriteMarginMs = 100;

    static std::uint32_t quietGapMs(std::uint32_t baud)
    {
        return std::max<std::uint32_t>(kMinQuietGapMs,
                                       kQuietGapChars * 10 * 1000 / std::max<std::uint32_t>(baud, 1) + 1);
    }
    // Ten bits a character: start, eight data bits, stop.
    static std::int64_t writeFloorMs(std::uint32_t count, std::uint32_t baud)
    {
        return static_cast<std::int64_t>(count) * 10 * 1000 / std::max<std::uint32_t>(baud, 1) +
               kWriteMarginMs;
    }

#ifdef _WIN32
    SerialPort(linkport::OwnedHandle handle, const DCB& savedState, const COMMTIMEOUTS& savedTimeouts);
    bool useTimeouts(const COMMTIMEOUTS& wanted);

    linkport::OwnedHandle handle;
    DCB savedState{};
    COMMTIMEOUTS savedTimeouts{};
    COMMTIMEOUTS timeouts{};
    // Timeouts are set per call on the one handle, so calls take turns.
    std::mutex mutex;
    std::uint32_t baud;
#else
    SerialPort(linkport::FileDescriptor fd, const termios& saved);

    linkport::FileDescriptor fd;
    termios saved{};
    std::uint32_t baud = 9600;
#endif
};

} // namespace linkserial
