#include "platform/OwnerOnlySecurity.h"

#ifdef _WIN32
#include <sddl.h>

#include <string>
#include <vector>

namespace varnel {

namespace {

std::string currentUserSid()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    std::string text;
    if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        char* sid = nullptr;
        if (ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
            text = sid;
            LocalFree(sid);
        }
    }
    CloseHandle(token);
    return text;
}

} // namespace

OwnerOnlySecurity::~OwnerOnlySecurity()
{
    if (descriptor)
        LocalFree(descriptor);
}

SECURITY_ATTRIBUTES* OwnerOnlySecurity::attributes(bool folder)
{
    if (descriptor) {
        LocalFree(descriptor);
        descriptor = nullptr;
    }
    const std::string sid = currentUserSid();
    if (sid.empty())
        return nullptr;
    const std::string sddl = std::string("D:P(A;") + (folder ? "OICI" : "") + ";FA;;;" + sid + ")";
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return nullptr;
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = descriptor;
    security.bInheritHandle = FALSE;
    return &security;
}

} // namespace varnel
#endif
