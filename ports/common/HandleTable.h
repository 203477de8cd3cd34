#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

namespace linkport {

// The open ports of one library under the handles its callers hold: 1 to
// Size, 0 meaning none. Entries are shared so that a call running on one
// thread keeps its port alive while another thread closes it; the port goes
// when the last of them lets go.
template <typename Port, std::uint32_t Size = 32> class HandleTable {
public:
    // The new port's handle, or 0 when every slot is taken (the port is then
    // dropped, after the lock is released).
    std::uint32_t add(std::shared_ptr<Port> port)
    {
        std::lock_guard<std::mutex> guard(mutex);
        for (std::uint32_t i = 0; i < Size; ++i) {
            if (!slots[i]) {
                slots[i] = std::move(port);
                return i + 1;
            }
        }
        return 0;
    }
    // Null for a handle that holds no port.
    std::shared_ptr<Port> find(std::uint32_t handle) const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return handle == 0 || handle > Size ? nullptr : slots[handle - 1];
    }
    // Takes the port out of the table; null for a handle that holds none.
    std::shared_ptr<Port> remove(std::uint32_t handle)
    {
        std::lock_guard<std::mutex> guard(mutex);
        return handle == 0 || handle > Size ? nullptr : std::move(slots[handle - 1]);
    }

private:
    mutable std::mutex mutex;
    std::shared_ptr<Port> slots[Size];
};

} // namespace linkport
