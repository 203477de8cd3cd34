#include "device/CAnyPort.h"

namespace varnel {

namespace {

struct TransportLibrary {
    std::uint32_t code;
    const char* name;
};

constexpr TransportLibrary transportLibraries[] = {
    {PORT_TRANSPORT_SERIAL, "linkserial"},
    {PORT_TRANSPORT_USB, "linkusb"},
    {PORT_TRANSPORT_HID, "linkhid"},
};

template <typename Fn> Fn resolve(const DynamicLibrary& library, const char* name) {
    return reinterpret_cast<Fn>(library.symbol(name));
}

} // namespace

CAnyPort::~CAnyPort() { library.release(); }

const char* CAnyPort::libraryName(std::uint32_t transportCode) {
    for (const auto& entry : transportLibraries)
        if (entry.code == transportCode)
            return entry.name;
    return nullptr;
}

void CAnyPort::clearFunctions() {
    openFn = nullptr;
    readFn = nullptr;
    writeFn = nullptr;
    closeFn = nullptr;
    setFn = nullptr;
    getPinFn = nullptr;
    setPinFn = nullptr;
    getHidFn = nullptr;
    setHidFn = nullptr;
    isHidFn = nullptr;
    enumerateFn = nullptr;
    failureReasonFn = nullptr;
}

bool CAnyPort::loadLibrary(std::uint32_t transportCode) {
    if (library.isOpen())
        return true;
    const char* name = libraryName(transportCode);
    if (!name)
        return false;
    // A library busy initialising elsewhere can refuse once; try a second time.
    if (!library.open(name))
        library.open(name);
    if (!library.isOpen())
        return false;
    openFn = resolve<PortOpenFn>(library, "PortOpen");
    readFn = resolve<PortReadFn>(library, "PortRead");
    writeFn = resolve<PortWriteFn>(library, "PortWrite");
    closeFn = resolve<PortCloseFn>(library, "PortClose");
    if (!openFn || !readFn || !writeFn || !closeFn) {
        unloadLibrary();
        return library.isOpen();
    }
    setFn = resolve<PortSetFn>(library, "PortSet");
    getPinFn = resolve<PortGetPinFn>(library, "PortGetPin");
    setPinFn = resolve<PortSetPinFn>(library, "PortSetPin");
    getHidFn = resolve<PortGetHidFn>(library, "PortGetHid");
    setHidFn = resolve<PortSetHidFn>(library, "PortSetHid");
    isHidFn = resolve<PortIsHidFn>(library, "PortIsHid");
    enumerateFn = resolve<PortEnumerateFn>(library, "PortEnumerate");
    failureReasonFn = resolve<PortOpenFailureReasonFn>(library, "PortOpenFailureReason");
    return true;
}

bool CAnyPort::unloadLibrary() {
    if (library.isOpen() && library.close()) {
        portHandle = 0;
        clearFunctions();
    }
    return !library.isOpen();
}

bool CAnyPort::portOpen(PortDescriptor* descriptor) {
    if (!openFn)
        return false;
    portHandle = openFn(descriptor);
    return portHandle != 0;
}

std::uint32_t CAnyPort::portRead(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t milliseconds) {
    return readFn ? readFn(portHandle, buffer, capacity, milliseconds) : 0;
}

std::uint32_t CAnyPort::portWrite(const std::uint8_t* data, std::uint32_t count, std::uint32_t milliseconds,
                                  std::uint32_t flags) {
    return writeFn ? writeFn(portHandle, data, count, milliseconds, flags) : 0;
}

bool CAnyPort::portClose() {
    if (closeFn && portHandle != 0 && closeFn(portHandle) != 0)
        portHandle = 0;
    return portHandle == 0;
}

void CAnyPort::portSet(std::uint32_t baud, char parity, std::uint32_t dataBits, std::uint32_t stopBits,
                       std::uint32_t flags) {
    if (setFn)
        setFn(portHandle, baud, parity, dataBits, stopBits, flags);
}

std::uint32_t CAnyPort::portGetPin(std::uint32_t pin) { return getPinFn ? getPinFn(portHandle, pin) : 0; }

std::uint32_t CAnyPort::portSetPin(std::uint32_t pin, std::uint32_t value) {
    return setPinFn ? setPinFn(portHandle, pin, value) : 0;
}

std::int32_t CAnyPort::portGetHid(std::uint32_t reportId, std::uint8_t reportType, std::uint32_t usagePage,
                                  std::uint8_t usageId, std::uint8_t* buffer, std::uint32_t* length) {
    return getHidFn ? getHidFn(portHandle, reportId, reportType, usagePage, usageId, buffer, length) : 0;
}

std::int32_t CAnyPort::portSetHid(std::uint32_t reportId, std::uint8_t reportType, std::uint32_t usagePage,
                                  std::uint8_t usageId, std::uint32_t value) {
    return setHidFn ? setHidFn(portHandle, reportId, reportType, usagePage, usageId, value) : 0;
}

std::uint32_t CAnyPort::portIsHid(std::uint32_t reportId, std::uint8_t reportType, std::uint32_t usagePage,
                                  std::uint8_t usageId) {
    return isHidFn ? isHidFn(portHandle, reportId, reportType, usagePage, usageId) : 0;
}

void CAnyPort::portEnumerate(PortEnumerateCallback callback, void* context) {
    if (enumerateFn)
        enumerateFn(callback, context);
}

const char* CAnyPort::openFailureReason() const { return failureReasonFn ? failureReasonFn() : nullptr; }

bool CAnyPort::setTransport(std::uint32_t transportCode) {
    transport = transportCode;
    return true;
}

bool CAnyPort::open(PortDescriptor* descriptor) {
    if (transport == 0)
        return false;
    if (!loadLibrary(transport))
        return false;
    return portOpen(descriptor);
}

std::uint32_t CAnyPort::read(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t milliseconds) {
    return transport == 0 ? 0 : portRead(buffer, capacity, milliseconds);
}

std::uint32_t CAnyPort::write(const std::uint8_t* data, std::uint32_t count, std::uint32_t milliseconds,
                              std::uint32_t flags) {
    return transport == 0 ? 0 : portWrite(data, count, milliseconds, flags);
}

void CAnyPort::configureSerial(std::uint32_t baud, char parity, std::uint32_t dataBits, std::uint32_t stopBits,
                               std::uint32_t flags) {
    if (transport != 0)
        portSet(baud, parity, dataBits, stopBits, flags);
}

std::uint32_t CAnyPort::getPin(std::uint32_t pin) { return transport == 0 ? 0 : portGetPin(pin); }

std::uint32_t CAnyPort::setPin(std::uint32_t pin, std::uint32_t value) {
    return transport == 0 ? 0 : portSetPin(pin, value);
}

std::int32_t CAnyPort::getHid(std::uint32_t reportId, std::uint8_t reportType, std::uint32_t usagePage,
                              std::uint8_t usageId, std::uint8_t* buffer, std::uint32_t* length) {
    return transport == 0 ? 0 : portGetHid(reportId, reportType, usagePage, usageId, buffer, length);
}

std::int32_t CAnyPort::setHid(std::uint32_t reportId, std::uint8_t reportType, std::uint32_t usagePage,
                              std::uint8_t usageId, std::uint32_t value) {
    return transport == 0 ? 0 : portSetHid(reportId, reportType, usagePage, usageId, value);
}

std::uint32_t CAnyPort::isHid(std::uint32_t reportId, std::uint8_t reportType, std::uint32_t usagePage,
                              std::uint8_t usageId) {
    return transport == 0 ? 0 : portIsHid(reportId, reportType, usagePage, usageId);
}

bool CAnyPort::close() {
    if (transport == 0)
        return true;
    if (!portClose())
        return false;
    return unloadLibrary();
}

void CAnyPort::enumerate(PortEnumerateCallback callback, void* context) {
    if (transport == 0 || !loadLibrary(transport))
        return;
    portEnumerate(callback, context);
    unloadLibrary();
}

} // namespace varnel
