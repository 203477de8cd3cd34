#pragma once

#include "platform/UniqueFile.h"

#include <string>

namespace varnel {

enum class DurableWrite {
    written,   // the whole file is under its name and on the disk
    nameTaken, // a file of that name exists already; it was left alone
    failed,    // nothing under the name; the reason says why
};

// Creates the folder unless it exists; false with the system's reason
// otherwise. A link in the folder's place is refused, never followed; an
// owner-only folder that exists with wider rights is narrowed to its owner.
bool createFolder(const std::string& folder, std::string& reason, FileAccess access = FileAccess::usual);

// Writes a new file into `folder` so that a crash or power cut at any moment
// leaves either no file under `name` or the whole one: the content goes into
// a temporary file beside it, is flushed to the disk, and only then takes the
// name, which is never taken from an existing file (on a file system without
// hard links, from one that appears in the same instant, it could be). A crash may leave the
// temporary file behind (hidden, beginning with '.'), never a part of the
// file under its name. The file is readable by its owner alone, and neither
// the folder nor the file is reached through a link.
DurableWrite writeNewFileDurably(const std::string& folder, const std::string& name,
                                 const std::string& content, std::string& reason);

// The date and time in UTC, for names and time stamps that sort by time.
struct UtcTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};
UtcTime utcNow();

} // namespace varnel
