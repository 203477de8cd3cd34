#include "platform/DynamicLibrary.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <vector>

namespace varnel {

namespace {

void* openFile(const std::string& path, std::string& failure)
{
#ifdef _WIN32
    // The library's own imports from its folder and System32 alone.
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr,
                                    LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module)
        failure = path + " could not be loaded (system error " + std::to_string(GetLastError()) + ")";
    return reinterpret_cast<void*>(module);
#else
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        failure = reason ? reason : path + " could not be loaded";
    }
    return handle;
#endif
}

} // namespace

DynamicLibrary::~DynamicLibrary()
{
    close();
}

std::string DynamicLibrary::fileName(const std::string& name)
{
#ifdef _WIN32
    return name + ".dll";
#else
    return name + ".so";
#endif
}

std::string DynamicLibrary::executableDirectory()
{
#ifdef _WIN32
    std::vector<char> path(MAX_PATH * 4);
    DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size())
        return {};
    std::string text(path.data(), length);
    auto slash = text.find_last_of("\\/");
#else
    std::vector<char> path(4096);
    ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (length <= 0)
        return {};
    std::string text(path.data(), static_cast<std::size_t>(length));
    auto slash = text.find_last_of('/');
#endif
    return slash == std::string::npos ? std::string() : text.substr(0, slash);
}

bool DynamicLibrary::open(const std::string& name)
{
    if (handle)
        return true;
    const std::string file = fileName(name);
    const std::string directory = executableDirectory();
    if (directory.empty()) {
        failureText = file + " was not loaded: the program's own folder is not known";
        return false;
    }
    const std::string path = directory + "/" + file;
#ifdef _WIN32
    const bool present = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    const bool present = ::access(path.c_str(), F_OK) == 0;
#endif
    if (!present) {
        failureText = file + " is missing from " + directory;
        return false;
    }
    failureText.clear();
    handle = openFile(path, failureText);
    return handle != nullptr;
}

bool DynamicLibrary::restrictSearchPath()
{
#ifdef _WIN32
    // Takes the current folder out of the search of LoadLibrary as well.
    SetDllDirectoryA("");
    return SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32) != 0;
#else
    return true;
#endif
}

bool DynamicLibrary::close()
{
    if (!handle)
        return true;
#ifdef _WIN32
    if (FreeLibrary(reinterpret_cast<HMODULE>(handle)) == 0)
        return false;
#else
    if (dlclose(handle) != 0)
        return false;
#endif
    handle = nullptr;
    return true;
}

void* DynamicLibrary::symbol(const char* name) const
{
    if (!handle)
        return nullptr;
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
#else
    return dlsym(handle, name);
#endif
}

} // namespace varnel
