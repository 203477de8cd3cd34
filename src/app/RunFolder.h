#pragma once

#include <QString>
#include <QStringList>

namespace varnel {

// The folder an installed wizard runs in: one of the user's own (the program's
// folder is not writable there), filled from the installed run files on first
// start. After an upgrade a file the technician has not edited is replaced by
// the new one; an edited one is kept and the new one put beside it as
// FILE.new. A record of what was shipped last (.shipped-sha256) tells the two
// apart. The same rules as the Linux launcher's.
class RunFolder {
public:
    // The marker that the installer puts beside the programs.
    static constexpr const char* marker = "varnel-installed";
    static const QStringList& runFiles();

    // Brings runDir up to date from the files in installedDir; false with a
    // reason in error when a folder or file cannot be made.
    static bool prepare(const QString& installedDir, const QString& runDir, QString& error);
};

} // namespace varnel
