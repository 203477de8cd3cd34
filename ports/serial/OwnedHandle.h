#pragma once

#include <windows.h>

#include <utility>

namespace linkserial {

// Owns one Win32 handle, an open COM port. Closed when it goes, so no early
// return leaks one.
class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE handle) : handle(handle) {}
    ~OwnedHandle() { reset(); }
    OwnedHandle(OwnedHandle&& other) noexcept : handle(std::exchange(other.handle, INVALID_HANDLE_VALUE)) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept
    {
        if (this != &other) {
            reset();
            handle = std::exchange(other.handle, INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    HANDLE get() const { return handle; }
    // CreateFile fails with INVALID_HANDLE_VALUE, other calls with null.
    bool valid() const { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }
    void reset()
    {
        if (valid())
            CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle = INVALID_HANDLE_VALUE;
};

} // namespace linkserial
