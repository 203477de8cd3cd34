#pragma once

#include <string>

namespace linkport {

enum class PortKind { SerialLine, Hidraw, Simulator };

// What a technician reads when a port exists but cannot be opened: the cause
// and what to do about it, from the errno value of the failed open.
std::string openFailureText(int error, PortKind kind);
#ifdef _WIN32
// The same from a Windows error code (GetLastError, WSAGetLastError).
std::string windowsOpenFailureText(unsigned long error, PortKind kind);
#endif

// The failures that have no errno value.
extern const char* const foreignDescriptorText;
extern const char* const tooManySerialLinesText;
extern const char* const tooManyHidPortsText;

} // namespace linkport
