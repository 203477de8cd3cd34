#pragma once

#include "linkport.h"

#include <cstdint>
#include <string>
#include <vector>

namespace linkport {

// Separates the entries of LINKSERIAL_PORTS and LINKHID_SIMULATORS: ':' as in
// PATH, but ';' on Windows, where a colon follows every drive letter.
#ifdef _WIN32
constexpr char kPortListSeparator = ';';
#else
constexpr char kPortListSeparator = ':';
#endif

// The entries of such a list, in order; empty entries are left out.
std::vector<std::string> splitPortList(const std::string& list);

// The text of an environment variable, empty when it is not set.
std::string environmentText(const char* variable);

// Whether a library looks for real units itself: yes unless `variable` (such
// as LINKSERIAL_DETECT) is "0", so that a test or a simulator session never
// reaches a real unit on the machine.
bool detectionWanted(const char* variable);

// Hands one port found to PortEnumerate's callback; a name left empty is not
// given. The texts need only outlive the call.
void reportPort(PortEnumerateCallback callback, void* context, uint32_t transport, const std::string& path,
                const std::string& vendor = {}, const std::string& product = {});

} // namespace linkport
