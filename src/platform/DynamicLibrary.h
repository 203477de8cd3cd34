#pragma once

#include <string>

namespace varnel {

// One loaded shared library; unloads it when destroyed.
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Maps a bare name such as "linkhid" to "linkhid.so" (".dll" on Windows) and
    // looks for it next to the running executable, then on the system's search path.
    bool open(const std::string& name);
    // Frees the library; true when none is loaded afterwards.
    bool close();
    bool isOpen() const { return handle != nullptr; }
    void* symbol(const char* name) const;
    // Forgets the library without freeing it (it stays loaded for the process).
    void release() { handle = nullptr; }

    static std::string fileName(const std::string& name);
    static std::string executableDirectory();

private:
    void* handle = nullptr;
};

} // namespace varnel
