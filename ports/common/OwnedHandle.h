#pragma once

#include <windows.h>

#include <utility>

namespace linkport {

// Owns one Windows kernel handle (a COM port, a HID device, a mutex), closed
// when it goes. Both INVALID_HANDLE_VALUE (CreateFile) and null (CreateMutex)
// mean none.
class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE handle) : handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~OwnedHandle() { reset(); }
    OwnedHandle(OwnedHandle&& other) noexcept : handle(std::exchange(other.handle, nullptr)) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept
    {
        if (this != &other) {
            reset();
            handle = std::exchange(other.handle, nullptr);
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    HANDLE get() const { return handle; }
    bool valid() const { return handle != nullptr; }
    void reset()
    {
        if (handle)
            CloseHandle(handle);
        handle = nullptr;
    }

private:
    HANDLE handle = nullptr;
};

} // namespace linkport
