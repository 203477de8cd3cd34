#pragma once

#include "UniqueHandle.h"

#include <windows.h>

namespace linkport {

struct OwnedHandleTraits {
    using Value = HANDLE;
    static HANDLE invalid() { return nullptr; }
    // Both INVALID_HANDLE_VALUE (CreateFile) and null (CreateMutex) mean none.
    static HANDLE adopt(HANDLE handle) { return handle == INVALID_HANDLE_VALUE ? nullptr : handle; }
    static void close(HANDLE handle) { CloseHandle(handle); }
};

// Owns one Windows kernel handle: a COM port, a HID device, a mutex.
using OwnedHandle = UniqueHandle<OwnedHandleTraits>;

} // namespace linkport
