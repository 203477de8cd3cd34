#pragma once

#include <string>

namespace varnel {

// Creates a file that did not exist before, named `prefix` followed by a few
// characters chosen to make the name unique, so the folder of `prefix` holds
// it. No existing file is ever opened or replaced. Answers the new file's
// path, closed and empty, or the empty text when none could be created.
std::string createUniqueFile(const std::string& prefix);

} // namespace varnel
