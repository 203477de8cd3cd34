#pragma once

#include <ostream>

namespace varnel {

// The diagnostic log "varnel.log" in the current directory: emptied at the
// first line of each run, every line flushed, never closed by the program.
// A log that cannot be opened swallows every line.
std::ostream& log();

// Forgets the stream so that the next line starts a new file, as a new run
// would. Only tests need this.
void restartLog();

} // namespace varnel
