#pragma once

#include "settings/MessageFormat.h"

#include <initializer_list>
#include <string>

namespace varnel {

class I18N;

// What a caller gets for a key that has no text: the catalogue is absent
// (start-up has not loaded it), lacks the key or gives it an empty text.
// Callers differ on purpose, by where the text goes.
enum class Missing {
    // The key itself: the log, the console and the status lines of the core
    // still say which text was meant.
    Key,
    // Null: the dialog's appendStatus and a status callback skip a null text,
    // so a missing line is left out rather than shown as a key.
    Null,
    // The empty text: set on a control or joined into a longer text.
    Empty,
};

// The catalogue's text of a key; messages may be null. The text stays valid as
// long as the catalogue (or, for Missing::Key, the key) does.
const char* catalogueText(const I18N* messages, const char* key, Missing missing);

// The catalogue's text of a key filled as a format with args (see formatMessage).
// Without a text the result is the key for Missing::Key and the empty text
// otherwise, as a string cannot be null.
std::string catalogueFormat(const I18N* messages, const char* key, std::initializer_list<MessageArg> args,
                            Missing missing);

} // namespace varnel
