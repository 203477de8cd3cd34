#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace varnel {

// One argument of a catalogue format, with the kind it was passed as.
class MessageArg {
public:
    enum class Kind { Unsigned, Signed, Text };

    MessageArg(std::uint32_t value) : kind(Kind::Unsigned), number(value) {}
    MessageArg(std::uint64_t value) : kind(Kind::Unsigned), number(value) {}
    MessageArg(int value)
        : kind(Kind::Signed), number(static_cast<std::uint64_t>(static_cast<std::int64_t>(value)))
    {
    }
    MessageArg(std::int64_t value) : kind(Kind::Signed), number(static_cast<std::uint64_t>(value)) {}
    MessageArg(const char* value) : kind(Kind::Text), text(value ? value : "") {}
    MessageArg(const std::string& value) : kind(Kind::Text), text(value) {}

    Kind kind;
    std::uint64_t number = 0;
    std::string_view text;
};

// Catalogue texts are printf-style formats, filled into a buffer of this size.
inline constexpr std::size_t messageBufferSize = 1024;

// Fills a catalogue format with its arguments. The message file is edited by
// hand, so a format whose conversions do not match the arguments in number
// and kind is never handed to printf: the text is returned as it stands.
// A null format yields the key. The result never exceeds 1023 characters.
std::string formatMessage(const char* format, std::string_view key, std::initializer_list<MessageArg> args);

} // namespace varnel
