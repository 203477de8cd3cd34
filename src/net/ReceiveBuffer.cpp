#include "net/ReceiveBuffer.h"

#include <cstring>

namespace varnel {

namespace {
constexpr std::size_t smallestBlock = 4096;
}

char* ReceiveBuffer::prepare(std::size_t count)
{
    if (capacity - used >= count)
        return bytes.get() + used;
    if (count > static_cast<std::size_t>(-1) / 2 - used)
        return nullptr;
    std::size_t grown = capacity < smallestBlock ? smallestBlock : capacity;
    while (grown - used < count)
        grown *= 2;
    char* moved = static_cast<char*>(std::realloc(bytes.get(), grown));
    if (moved == nullptr)
        return nullptr;
    (void)bytes.release(); // realloc has taken the old block
    bytes.reset(moved);
    capacity = grown;
    return bytes.get() + used;
}

void ReceiveBuffer::consume(std::size_t count)
{
    if (count >= used) {
        used = 0;
        return;
    }
    std::memmove(bytes.get(), bytes.get() + count, used - count);
    used -= count;
}

void ReceiveBuffer::release()
{
    bytes.reset();
    used = 0;
    capacity = 0;
}

} // namespace varnel
