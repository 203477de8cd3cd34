#pragma once

#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace linkport {

// One text per calling thread, kept valid until that thread sets it again.
// Port libraries are loaded and unloaded at run time, and thread_local storage
// in such a library upsets the leak checker's thread scan, so this is a plain
// map under a lock; it holds one entry per thread that ever opened a port.
class PerThreadText {
public:
    void set(std::string text)
    {
        std::lock_guard<std::mutex> guard(mutex);
        texts[std::this_thread::get_id()] = std::move(text);
    }
    void clear() { set({}); }
    // Null when this thread's text is empty.
    const char* get()
    {
        std::lock_guard<std::mutex> guard(mutex);
        auto it = texts.find(std::this_thread::get_id());
        return it == texts.end() || it->second.empty() ? nullptr : it->second.c_str();
    }

private:
    std::mutex mutex;
    std::map<std::thread::id, std::string> texts;
};

} // namespace linkport
