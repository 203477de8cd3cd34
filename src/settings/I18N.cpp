#include "settings/I18N.h"

#include <clocale>
#include <locale>
#include <stdexcept>

namespace varnel {

I18N::I18N()
{
    try {
        std::locale::global(std::locale(""));
    } catch (const std::runtime_error&) {
        // An environment naming a locale that is not installed: keep the classic one.
        std::setlocale(LC_ALL, "C");
    }
}

I18N::~I18N()
{
    messageFile.reset();
}

bool I18N::load(const std::string& /*localeName*/, const std::string& stringFile)
{
    const std::string fileName = "varnelstrings." + stringFile;
    messageFile = std::make_unique<PropertiesFile>(fileName.c_str());
    return messageFile->size() > 0;
}

const char* I18N::lookup(const char* keyString) const
{
    if (!messageFile || keyString == nullptr)
        return nullptr;
    const auto& entries = messageFile->all();
    const auto found = entries.find(keyString);
    if (found == entries.end() || found->second.empty())
        return nullptr;
    return found->second.c_str();
}

} // namespace varnel
