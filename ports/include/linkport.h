/* The contract between Varnel and its port libraries (linkserial, linkusb,
 * linkhid): the port descriptor and the eleven exports every library has.
 * Plain C, so any implementation can supply a library. */
#ifndef VARNEL_LINKPORT_H
#define VARNEL_LINKPORT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Transport codes, shared by the descriptor and the loader. */
enum { PORT_TRANSPORT_SERIAL = 1, PORT_TRANSPORT_USB = 2, PORT_TRANSPORT_HID = 4 };

/* Describes one port. On a 32-bit build this is the 60-byte record of fifteen
 * 32-bit fields; on 64-bit builds the three names are real pointers and the
 * record grows, so `size` always holds sizeof(PortDescriptor) and a library
 * refuses a record whose size is not its own. */
typedef struct PortDescriptor {
    uint32_t size;
    uint32_t transport;
    const char* portName;
    uint32_t reserved12;
    uint32_t reserved16;
    uint32_t libraryData20; /* the library's own; copied unchanged */
    uint32_t reserved24;
    uint32_t reserved28;
    uint32_t reserved32;
    uint32_t reserved36;
    const char* vendorName; /* may be null */
    int32_t vendorNameLength;
    const char* productName; /* may be null */
    int32_t productNameLength;
    uint32_t libraryData56; /* the library's own; copied unchanged */
} PortDescriptor;

#ifdef __cplusplus
#define LINKPORT_STATIC_ASSERT(condition, text) static_assert(condition, text)
#else
#define LINKPORT_STATIC_ASSERT(condition, text) _Static_assert(condition, text)
#endif

#if UINTPTR_MAX == 0xFFFFFFFFu
LINKPORT_STATIC_ASSERT(sizeof(PortDescriptor) == 60, "descriptor layout");
LINKPORT_STATIC_ASSERT(offsetof(PortDescriptor, portName) == 8, "descriptor layout");
LINKPORT_STATIC_ASSERT(offsetof(PortDescriptor, libraryData20) == 20, "descriptor layout");
LINKPORT_STATIC_ASSERT(offsetof(PortDescriptor, vendorName) == 40, "descriptor layout");
LINKPORT_STATIC_ASSERT(offsetof(PortDescriptor, vendorNameLength) == 44, "descriptor layout");
LINKPORT_STATIC_ASSERT(offsetof(PortDescriptor, productName) == 48, "descriptor layout");
LINKPORT_STATIC_ASSERT(offsetof(PortDescriptor, productNameLength) == 52, "descriptor layout");
LINKPORT_STATIC_ASSERT(offsetof(PortDescriptor, libraryData56) == 56, "descriptor layout");
#else
LINKPORT_STATIC_ASSERT(sizeof(PortDescriptor) == 80, "descriptor layout");
LINKPORT_STATIC_ASSERT(offsetof(PortDescriptor, portName) == 8, "descriptor layout");
LINKPORT_STATIC_ASSERT(offsetof(PortDescriptor, libraryData20) == 24, "descriptor layout");
LINKPORT_STATIC_ASSERT(offsetof(PortDescriptor, vendorName) == 48, "descriptor layout");
LINKPORT_STATIC_ASSERT(offsetof(PortDescriptor, vendorNameLength) == 56, "descriptor layout");
LINKPORT_STATIC_ASSERT(offsetof(PortDescriptor, productName) == 64, "descriptor layout");
LINKPORT_STATIC_ASSERT(offsetof(PortDescriptor, productNameLength) == 72, "descriptor layout");
LINKPORT_STATIC_ASSERT(offsetof(PortDescriptor, libraryData56) == 76, "descriptor layout");
#endif

/* Called once per port, synchronously, from PortEnumerate. The descriptor is
 * valid only during the call. The callee may open that port meanwhile. */
typedef int32_t (*PortEnumerateCallback)(PortDescriptor* port, void* context);

/* Returns a handle, 0 on failure. */
typedef uint32_t (*PortOpenFn)(PortDescriptor* port);
/* Waits up to `milliseconds` for data; returns the bytes received (0: none), never more than `capacity`. */
typedef uint32_t (*PortReadFn)(uint32_t handle, uint8_t* buffer, uint32_t capacity, uint32_t milliseconds);
/* Returns the bytes written; anything but `count` is a failure. `flags` is 0. */
typedef uint32_t (*PortWriteFn)(uint32_t handle, const uint8_t* data, uint32_t count, uint32_t milliseconds,
                                uint32_t flags);
/* Non-zero on success. */
typedef int32_t (*PortCloseFn)(uint32_t handle);
/* Line settings, e.g. 2400, 'N', 8, 1; `flags` is 0. */
typedef void (*PortSetFn)(uint32_t handle, uint32_t baud, char parity, uint32_t dataBits, uint32_t stopBits,
                          uint32_t flags);
typedef uint32_t (*PortGetPinFn)(uint32_t handle, uint32_t pin);
typedef uint32_t (*PortSetPinFn)(uint32_t handle, uint32_t pin, uint32_t value);
/* Reads a HID usage: on success (non-zero) `buffer` (256 bytes) holds the value
 * least significant byte first and `*length` its byte count, below 256. */
typedef int32_t (*PortGetHidFn)(uint32_t handle, uint32_t reportId, uint8_t reportType, uint32_t usagePage,
                                uint8_t usageId, uint8_t* buffer, uint32_t* length);
/* Writes a HID usage; non-zero on success. */
typedef int32_t (*PortSetHidFn)(uint32_t handle, uint32_t reportId, uint8_t reportType, uint32_t usagePage,
                                uint8_t usageId, uint32_t value);
typedef uint32_t (*PortIsHidFn)(uint32_t handle, uint32_t reportId, uint8_t reportType, uint32_t usagePage,
                                uint8_t usageId);
typedef void (*PortEnumerateFn)(PortEnumerateCallback callback, void* context);
/* Optional twelfth export: why the last PortOpen on this thread failed, in plain
 * English with what to do about it ("permission denied: add yourself to the
 * dialout group"), or null when there is nothing to say. The text stays valid
 * until the next PortOpen on the same thread. */
typedef const char* (*PortOpenFailureReasonFn)(void);

#ifdef _WIN32
#define LINKPORT_EXPORT __declspec(dllexport)
#else
#define LINKPORT_EXPORT __attribute__((visibility("default")))
#endif

/* Declarations for the libraries themselves. */
#ifdef LINKPORT_BUILDING_LIBRARY
LINKPORT_EXPORT uint32_t PortOpen(PortDescriptor* port);
LINKPORT_EXPORT uint32_t PortRead(uint32_t handle, uint8_t* buffer, uint32_t capacity, uint32_t milliseconds);
LINKPORT_EXPORT uint32_t PortWrite(uint32_t handle, const uint8_t* data, uint32_t count,
                                   uint32_t milliseconds, uint32_t flags);
LINKPORT_EXPORT int32_t PortClose(uint32_t handle);
LINKPORT_EXPORT void PortSet(uint32_t handle, uint32_t baud, char parity, uint32_t dataBits,
                             uint32_t stopBits, uint32_t flags);
LINKPORT_EXPORT uint32_t PortGetPin(uint32_t handle, uint32_t pin);
LINKPORT_EXPORT uint32_t PortSetPin(uint32_t handle, uint32_t pin, uint32_t value);
LINKPORT_EXPORT int32_t PortGetHid(uint32_t handle, uint32_t reportId, uint8_t reportType, uint32_t usagePage,
                                   uint8_t usageId, uint8_t* buffer, uint32_t* length);
LINKPORT_EXPORT int32_t PortSetHid(uint32_t handle, uint32_t reportId, uint8_t reportType, uint32_t usagePage,
                                   uint8_t usageId, uint32_t value);
LINKPORT_EXPORT uint32_t PortIsHid(uint32_t handle, uint32_t reportId, uint8_t reportType, uint32_t usagePage,
                                   uint8_t usageId);
LINKPORT_EXPORT void PortEnumerate(PortEnumerateCallback callback, void* context);
LINKPORT_EXPORT const char* PortOpenFailureReason(void);
#endif

#ifdef __cplusplus
}
#endif

#endif /* VARNEL_LINKPORT_H */
