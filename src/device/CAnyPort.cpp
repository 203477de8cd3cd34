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

} // namespace

CAnyPort::CAnyPort(const PortFunctions& linkedIn) : functions(linkedIn), linked(true) {}

CAnyPort::~CAnyPort()
{
    if (!close())
        library.release();
}

const char* CAnyPort::libraryName(std::uint32_t transportCode)
{
    for (const auto& entry : transportLibraries)
        if (entry.code == transportCode)
            return entry.name;
    return nullptr;
}

bool CAnyPort::loadLibrary(std::uint32_t transportCode)
{
    if (linked || library.isOpen())
        return true;
    const char* name = libraryName(transportCode);
    if (!name)
        return false;
    // A library busy initialising elsewhere can refuse once; try a second time.
    if (!library.open(name))
        library.open(name);
    if (!library.isOpen())
        return false;
    functions = resolvePortFunctions(library);
    if (!functions.hasCore()) {
        unloadLibrary();
        return library.isOpen();
    }
    return true;
}

bool CAnyPort::unloadLibrary()
{
    if (linked)
        return true;
    if (library.isOpen() && library.close()) {
        portHandle = 0;
        functions = {};
    }
    return !library.isOpen();
}

bool CAnyPort::portOpen(PortDescriptor* descriptor)
{
    if (!functions.open)
        return false;
    portHandle = functions.open(descriptor);
    return portHandle != 0;
}

bool CAnyPort::portClose()
{
    if (functions.close && portHandle != 0 && functions.close(portHandle) != 0)
        portHandle = 0;
    return portHandle == 0;
}

const char* CAnyPort::openFailureReason() const
{
    return functions.openFailureReason ? functions.openFailureReason() : nullptr;
}

bool CAnyPort::setTransport(std::uint32_t transportCode)
{
    transport = transportCode;
    return true;
}

bool CAnyPort::open(PortDescriptor* descriptor)
{
    if (transport == 0)
        return false;
    if (!loadLibrary(transport))
        return false;
    return portOpen(descriptor);
}

std::uint32_t CAnyPort::read(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t milliseconds)
{
    return transport == 0 || !functions.read ? 0 : functions.read(portHandle, buffer, capacity, milliseconds);
}

std::uint32_t CAnyPort::write(const std::uint8_t* data, std::uint32_t count, std::uint32_t milliseconds,
                              std::uint32_t flags)
{
    return transport == 0 || !functions.write ? 0
                                              : functions.write(portHandle, data, count, milliseconds, flags);
}

void CAnyPort::configureSerial(std::uint32_t baud, char parity, std::uint32_t dataBits,
                               std::uint32_t stopBits, std::uint32_t flags)
{
    if (transport != 0 && functions.set)
        functions.set(portHandle, baud, parity, dataBits, stopBits, flags);
}

std::uint32_t CAnyPort::getPin(std::uint32_t pin)
{
    return transport == 0 || !functions.getPin ? 0 : functions.getPin(portHandle, pin);
}

std::uint32_t CAnyPort::setPin(std::uint32_t pin, std::uint32_t value)
{
    return transport == 0 || !functions.setPin ? 0 : functions.setPin(portHandle, pin, value);
}

std::int32_t CAnyPort::getHid(std::uint32_t reportId, std::uint8_t reportType, std::uint32_t usagePage,
                              std::uint8_t usageId, std::uint8_t* buffer, std::uint32_t* length)
{
    return transport == 0 || !functions.getHid
               ? 0
               : functions.getHid(portHandle, reportId, reportType, usagePage, usageId, buffer, length);
}

std::int32_t CAnyPort::setHid(std::uint32_t reportId, std::uint8_t reportType, std::uint32_t usagePage,
                              std::uint8_t usageId, std::uint32_t value)
{
    return transport == 0 || !functions.setHid
               ? 0
               : functions.setHid(portHandle, reportId, reportType, usagePage, usageId, value);
}

std::uint32_t CAnyPort::isHid(std::uint32_t reportId, std::uint8_t reportType, std::uint32_t usagePage,
                              std::uint8_t usageId)
{
    return transport == 0 || !functions.isHid
               ? 0
               : functions.isHid(portHandle, reportId, reportType, usagePage, usageId);
}

bool CAnyPort::close()
{
    if (transport == 0)
        return true;
    if (!portClose())
        return false;
    return unloadLibrary();
}

void CAnyPort::enumerate(PortEnumerateCallback callback, void* context)
{
    if (transport == 0 || !loadLibrary(transport))
        return;
    if (functions.enumerate)
        functions.enumerate(callback, context);
    unloadLibrary();
}

} // namespace varnel
