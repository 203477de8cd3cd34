#include "settings/CatalogueText.h"

#include "settings/I18N.h"

namespace varnel {

const char* catalogueText(const I18N* messages, const char* key, Missing missing)
{
    const char* found = messages != nullptr ? messages->lookup(key) : nullptr;
    if (found != nullptr)
        return found;
    switch (missing) {
    case Missing::Key:
        return key;
    case Missing::Null:
        return nullptr;
    case Missing::Empty:
        break;
    }
    return "";
}

std::string catalogueFormat(const I18N* messages, const char* key, std::initializer_list<MessageArg> args,
                            Missing missing)
{
    // formatMessage answers a null format with the key, the empty one with the empty text.
    const char* format =
        catalogueText(messages, key, missing == Missing::Key ? Missing::Null : Missing::Empty);
    return formatMessage(format, key, args);
}

} // namespace varnel
