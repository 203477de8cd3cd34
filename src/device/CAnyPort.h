#pragma once

#include "platform/DynamicLibrary.h"

#include <linkport.h>

#include <cstdint>

namespace varnel {

// One port reached through the port library of its transport. The library is
// loaded on open and freed on close; callers never see the port handle.
class CAnyPort {
public:
    CAnyPort() = default;
    // Neither closes the port nor frees the library: callers close first.
    virtual ~CAnyPort();
    CAnyPort(const CAnyPort&) = delete;
    CAnyPort& operator=(const CAnyPort&) = delete;

    virtual bool loadLibrary(std::uint32_t transportCode);
    virtual bool unloadLibrary();

    virtual bool portOpen(PortDescriptor* descriptor);
    virtual std::uint32_t portRead(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t milliseconds);
    virtual std::uint32_t portWrite(const std::uint8_t* data, std::uint32_t count, std::uint32_t milliseconds,
                                    std::uint32_t flags);
    virtual bool portClose();
    virtual void portSet(std::uint32_t baud, char parity, std::uint32_t dataBits, std::uint32_t stopBits,
                         std::uint32_t flags);
    virtual std::uint32_t portGetPin(std::uint32_t pin);
    virtual std::uint32_t portSetPin(std::uint32_t pin, std::uint32_t value);
    virtual std::int32_t portGetHid(std::uint32_t reportId, std::uint8_t reportType, std::uint32_t usagePage,
                                    std::uint8_t usageId, std::uint8_t* buffer, std::uint32_t* length);
    virtual std::int32_t portSetHid(std::uint32_t reportId, std::uint8_t reportType, std::uint32_t usagePage,
                                    std::uint8_t usageId, std::uint32_t value);
    virtual std::uint32_t portIsHid(std::uint32_t reportId, std::uint8_t reportType, std::uint32_t usagePage,
                                    std::uint8_t usageId);
    virtual void portEnumerate(PortEnumerateCallback callback, void* context);

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
    // Why the last open failed, as the library puts it, or null; only while it is loaded.
    const char* openFailureReason() const;

    // The library file stem for a transport code, null for none.
    static const char* libraryName(std::uint32_t transportCode);

private:
    void clearFunctions();

    std::uint32_t transport = 0;
    DynamicLibrary library;
    std::uint32_t portHandle = 0;
    PortOpenFn openFn = nullptr;
    PortReadFn readFn = nullptr;
    PortWriteFn writeFn = nullptr;
    PortCloseFn closeFn = nullptr;
    PortSetFn setFn = nullptr;
    PortGetPinFn getPinFn = nullptr;
    PortSetPinFn setPinFn = nullptr;
    PortGetHidFn getHidFn = nullptr;
    PortSetHidFn setHidFn = nullptr;
    PortIsHidFn isHidFn = nullptr;
    PortEnumerateFn enumerateFn = nullptr;
    PortOpenFailureReasonFn failureReasonFn = nullptr;
};

} // namespace varnel
