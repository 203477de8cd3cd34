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
    // loads it by its absolute path in the running executable's folder, and
    // from nowhere else: never the current folder or the system's search path,
    // where anyone may have left a library of that name.
    bool open(const std::string& name);
    // Why the last open failed, naming the file and its folder; empty after success.
    const std::string& failure() const { return failureText; }
    // Frees the library; true when none is loaded afterwards.
    bool close();
    bool isOpen() const { return handle != nullptr; }
    void* symbol(const char* name) const;
    // Forgets the library without freeing it (it stays loaded for the process).
    void release() { handle = nullptr; }

    static std::string fileName(const std::string& name);
    static std::string executableDirectory();

    // On Windows, before any library is loaded: libraries, and the libraries
    // they need, come from the program's folder and System32 only, never from
    // the current folder or PATH. Nothing to do elsewhere (an absolute path
    // is all dlopen searches).
    static bool restrictSearchPath();

private:
    void* handle = nullptr;
    std::string failureText;
};

} // namespace varnel
