#pragma once

#include <ostream>

namespace varnel {

// The diagnostic log "varnel.log" in the current directory: emptied at the
// first line of each run, every line flushed, never closed by the program.
// A log that cannot be opened swallows every line.
std::ostream& log();

// Sends this thread's log lines to `stream` instead (null: to the log again)
// and returns the stream they went to before. Work on another thread keeps its
// lines apart this way, to be written out together by the thread it reports to.
std::ostream* redirectLog(std::ostream* stream);

// Forgets the stream so that the next line starts a new file, as a new run
// would. Only tests need this.
void restartLog();

} // namespace varnel
