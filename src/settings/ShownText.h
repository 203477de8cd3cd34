#pragma once

#include <string>
#include <string_view>

namespace varnel {

// Text from outside (a unit's names, a port library's reason, a server's
// reply, a data file's names) as it may stand on a terminal, in the log or in
// the wizard: control characters become visible escapes ("\n", "\r", "\t",
// "\x1b"), and so does each byte that is not part of well-formed UTF-8, so a
// name can neither drive the terminal nor start a line of its own in the log.
// Printable ASCII and well-formed UTF-8 other than C1 controls and
// direction overrides stay as they are.
std::string shownText(std::string_view text);

} // namespace varnel
