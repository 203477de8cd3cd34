#pragma once

#ifdef _WIN32
#include <windows.h>

namespace varnel {

// A protected DACL that lets the current user alone in (no inherited entries
// from a shared folder): what mode 0600 and 0700 are on the other systems.
class OwnerOnlySecurity {
public:
    OwnerOnlySecurity() = default;
    ~OwnerOnlySecurity();
    OwnerOnlySecurity(const OwnerOnlySecurity&) = delete;
    OwnerOnlySecurity& operator=(const OwnerOnlySecurity&) = delete;

    // For CreateFile or CreateDirectory; a folder's entry is inherited by
    // what is made in it. Null when the user's identity could not be read.
    SECURITY_ATTRIBUTES* attributes(bool folder);

private:
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    SECURITY_ATTRIBUTES security{};
};

} // namespace varnel
#endif
