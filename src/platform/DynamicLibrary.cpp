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

void* openFile(const std::string& path)
{
#ifdef _WIN32
    return reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
#else
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
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
    if (!directory.empty())
        handle = openFile(directory + "/" + file);
    if (!handle)
        handle = openFile(file);
    return handle != nullptr;
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
