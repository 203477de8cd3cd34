#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace varnel {

// Bytes received and not yet consumed. Grows with realloc, which can move a
// large block by remapping its pages instead of copying and touching them anew.
class ReceiveBuffer {
public:
    std::size_t size() const { return used; }
    bool empty() const { return used == 0; }
    const char* data() const { return bytes.get(); }
    std::string_view view() const { return {bytes.get(), used}; }

    // Room for `count` more bytes at the end, or null when memory runs out.
    char* prepare(std::size_t count);
    // Takes `count` of the bytes written into the room from prepare.
    void commit(std::size_t count) { used += count; }
    // Drops the first `count` bytes.
    void consume(std::size_t count);
    // Drops everything after the first `count` bytes.
    void keep(std::size_t count) { used = count < used ? count : used; }
    void clear() { used = 0; }
    // Clears and gives the memory back.
    void release();

private:
    struct Free {
        void operator()(char* block) const { std::free(block); }
    };
    std::unique_ptr<char, Free> bytes;
    std::size_t used = 0;
    std::size_t capacity = 0;
};

} // namespace varnel
