#pragma once

#include <utility>

namespace linkport {

// Owns one handle the system gave out (a file descriptor, a socket, a Windows
// handle, a block the system allocated) and gives it back when it goes, so no
// early return leaks one. `Traits` says what the handle is:
//   Value                     the handle's type
//   static Value invalid()    the value that holds nothing
//   static void close(Value)  gives a held handle back
//   static Value adopt(Value) optional: maps the other values that mean
//                             "none" (-2, INVALID_HANDLE_VALUE) to invalid()
// Header-only: the core and the port libraries, which never link each other,
// both use it.
template <typename Traits> class UniqueHandle {
public:
    using Value = typename Traits::Value;

    UniqueHandle() = default;
    explicit UniqueHandle(Value handle) : value(adopted(handle)) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : value(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Value get() const { return value; }
    bool valid() const { return value != Traits::invalid(); }
    // Gives back the handle held, if any, and takes `replacement`.
    void reset(Value replacement = Traits::invalid())
    {
        const Value old = std::exchange(value, adopted(replacement));
        if (old != Traits::invalid() && old != value)
            Traits::close(old);
    }
    // The caller owns the handle from now on.
    Value release() { return std::exchange(value, Traits::invalid()); }

private:
    static Value adopted(Value handle)
    {
        if constexpr (requires { Traits::adopt(handle); })
            return Traits::adopt(handle);
        else
            return handle;
    }

    Value value = Traits::invalid();
};

} // namespace linkport
