#include "settings/JsonText.h"

#include <nlohmann/json.hpp>

namespace varnel {

std::string narrowToUtf8(std::string_view text)
{
    std::string utf8;
    utf8.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

std::string toAsciiJson(const nlohmann::ordered_json& document)
{
    // Text that did not come through narrowToUtf8 may still be broken UTF-8:
    // replaced rather than thrown over.
    return document.dump(-1, ' ', true, nlohmann::ordered_json::error_handler_t::replace);
}

} // namespace varnel
