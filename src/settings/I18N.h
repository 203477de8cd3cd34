#pragma once

#include "settings/PropertiesFile.h"

#include <memory>
#include <string>

namespace varnel {

// The message catalogue: texts by key from "varnelstrings.<stringFile>".
class I18N {
public:
    // Makes the user's locale (from the environment) the process's locale.
    I18N();
    virtual ~I18N();

    // True when the message file was read and holds at least one entry.
    bool load(const std::string& localeName, const std::string& stringFile);
    // The text of the key, or null when the key is absent or its text empty.
    const char* lookup(const char* keyString) const;

private:
    std::unique_ptr<PropertiesFile> messageFile;
};

} // namespace varnel
