#pragma once

#include <string>

namespace linkhid {

enum class PortKind { Hidraw, Simulator };

// What a technician reads when a port exists but cannot be opened: the cause
// and what to do about it, from the errno value of the failed open.
std::string openFailureText(int error, PortKind kind);

} // namespace linkhid
