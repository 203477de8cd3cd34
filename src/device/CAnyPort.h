#pragma once

#include "device/PortFunctions.h"
#include "platform/DynamicLibrary.h"

#include <linkport.h>

#include <cstdint>

namespace varnel {

// One port reached through the port library of its transport. The library is
// loaded on open and freed on close; callers never see the port handle.
class CAnyPort {
public:
    CAnyPort() = default;
    // A port whose functions are linked into the program instead of loaded
    // from a library; loading and unloading then leave the table alone.
    explicit CAnyPort(const PortFunctions& linkedIn);
    // Closes a port left open and frees the library. A library whose port
    // would not close stays loaded for the process rather than being pulled
    // from under the open handle.
    ~CAnyPort();
    CAnyPort(const CAnyPort&) = delete;
    CAnyPort& operator=(const CAnyPort&) = delete;

    bool loadLibrary(std::uint32_t transportCode);
    bool unloadLibrary();

    bool setTransport(std::uint32_t transportCode);
    std::uint32_t getTransport() const { return transport; }
    bool open(PortDescriptor* descriptor);
    std::uint32_t read(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t milliseconds);
    std::uint32_t write(const std::uint8_t* data, std::uint32_t count, std::uint32_t milliseconds,
                        std::uint32_t flags);
    void configureSerial(std::uint32_t baud, char parity, std::uint32_t dataBits, std::uint32_t stopBits,
                         std::uint32_t flags);
    std::uint32_t getPin(std::uint32_t pin);
    std::uint32_t setPin(std::uint32_t pin, std::uint32_t value);
    std::int32_t getHid(std::uint32_t reportId, std::uint8_t reportType, std::uint32_t usagePage,
                        std::uint8_t usageId, std::uint8_t* buffer, std::uint32_t* length);
    std::int32_t setHid(std::uint32_t reportId, std::uint8_t reportType, std::uint32_t usagePage,
                        std::uint8_t usageId, std::uint32_t value);
    std::uint32_t isHid(std::uint32_t reportId, std::uint8_t reportType, std::uint32_t usagePage,
                        std::uint8_t usageId);
    bool close();
    void enumerate(PortEnumerateCallback callback, void* context);

    bool isLoaded() const { return library.isOpen(); }
    // Why the library of the transport could not be loaded (it names the
    // file and the program's folder), or empty.
    const std::string& libraryFailure() const { return library.failure(); }
    // Why the last open failed, as the library puts it, or null; only while it is loaded.
    const char* openFailureReason() const;

    // The library file stem for a transport code, null for none.
    static const char* libraryName(std::uint32_t transportCode);

private:
    bool portOpen(PortDescriptor* descriptor);
    bool portClose();

    std::uint32_t transport = 0;
    DynamicLibrary library;
    std::uint32_t portHandle = 0;
    PortFunctions functions;
    const bool linked = false;
};

} // namespace varnel
