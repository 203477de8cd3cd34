#pragma once

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <string_view>

namespace varnel {

// Names read from units are narrow text in the system's code page, which need
// not be UTF-8. Each byte becomes the character of the same number, so every
// byte sequence is valid text and a script gets each byte back from its
// \u00XX escape.
std::string narrowToUtf8(std::string_view text);

// The document on one line in ASCII alone; never throws.
std::string toAsciiJson(const nlohmann::ordered_json& document);

} // namespace varnel
