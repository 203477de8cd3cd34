#pragma once

#include <utility>

namespace varnel {

// Installs a handler through `install` (which answers the previous one) for
// the lifetime of the guard: the seams of the sleeps and of the clock.
template <typename Handler, Handler (*install)(Handler)> class ScopedHandler {
public:
    explicit ScopedHandler(Handler handler) : previous(install(std::move(handler))) {}
    ~ScopedHandler() { install(std::move(previous)); }
    ScopedHandler(const ScopedHandler&) = delete;
    ScopedHandler& operator=(const ScopedHandler&) = delete;

private:
    Handler previous;
};

} // namespace varnel
