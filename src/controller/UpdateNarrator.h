#pragma once

#include "controller/ConfigurationBackup.h"

#include <string>
#include <vector>

namespace varnel {

class I18N;
class UpdateAdapter;
class VarnelDevice;

// What an update tells the technician at each of its steps, the same in the
// wizard and on a terminal: the catalogue's texts, shown through the front
// end's adapter, and the log lines that go with them. A restore speaks of the
// previous values where an update speaks of the new ones.
class UpdateNarrator {
public:
    UpdateNarrator(const I18N* messages, UpdateAdapter& adapter) : messages(messages), adapter(adapter) {}

    // The packs the values are worked out for: one "(quantity) name" line each.
    void packsChosen(const std::vector<std::string>& packLines, bool internalOnly) const;
    void computing() const;
    void computed(bool succeeded) const;
    // The unit on the port is not the one the values were worked out for.
    void unitChanged(const VarnelDevice& device) const;
    void backedUp(const ConfigurationBackup::Written& written, const std::string& folder) const;
    void saving(bool restoring) const;
    void saved(bool succeeded, bool restoring) const;
    void validating() const;
    void validated(bool succeeded, bool restoring) const;
    std::string restoreQuestion(const std::string& backupPath) const;
    void restoreDeclined(const std::string& backupPath) const;

private:
    void say(const char* key) const;

    const I18N* messages;
    UpdateAdapter& adapter;
};

} // namespace varnel
