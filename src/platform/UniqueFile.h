#pragma once

#include <string>

namespace varnel {

// Who may read a file the program creates.
enum class FileAccess {
    usual,     // as the user's umask (or the folder's inherited rights) allow
    ownerOnly, // the user alone: 0600, or a protected owner-only DACL on Windows
};

// Creates a file that did not exist before, named `prefix` followed by a few
// characters chosen to make the name unique, so the folder of `prefix` holds
// it. No existing file or link is ever opened or replaced. Answers the new
// file's path, closed and empty, or the empty text when none could be created.
std::string createUniqueFile(const std::string& prefix, FileAccess access = FileAccess::usual);

#ifndef _WIN32
// The same inside the folder open as `folder` (or AT_FDCWD); answers the open
// descriptor (-1 with errno set on failure) and the name given in `name`.
int createUniqueFileIn(int folder, const std::string& prefix, FileAccess access, std::string& name);
#endif

} // namespace varnel
