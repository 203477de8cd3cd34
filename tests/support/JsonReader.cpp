#include "support/JsonReader.h"

#include <algorithm>

namespace varnel::test {

std::optional<nlohmann::json> parseJson(const std::string& text)
{
    if (std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        return std::nullopt;
    nlohmann::json value = nlohmann::json::parse(text, nullptr, false);
    if (value.is_discarded())
        return std::nullopt;
    return value;
}

std::uint32_t numberOf(const nlohmann::json& value)
{
    return value.is_number_unsigned() ? value.get<std::uint32_t>() : 0;
}

std::vector<std::uint32_t> numbersOf(const nlohmann::json& array)
{
    std::vector<std::uint32_t> numbers;
    if (array.is_array())
        for (const nlohmann::json& item : array)
            numbers.push_back(numberOf(item));
    return numbers;
}

} // namespace varnel::test
