#include "ctl/PackSelection.h"

#include "settings/NumberText.h"

namespace varnel {

namespace {
constexpr std::uint32_t maximumQuantity = 9;
} // namespace

bool PackSelection::add(const std::string& text, std::size_t packCount, std::string& reason)
{
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
        reason = "'" + text + "' is not PACK=QUANTITY";
        return false;
    }
    const auto pack = parseNumber(std::string_view(text).substr(0, equals), numberRules::digitsOnly);
    const auto quantity = parseNumber(std::string_view(text).substr(equals + 1), numberRules::digitsOnly);
    if (!pack || !quantity) {
        reason = "'" + text + "' is not PACK=QUANTITY with two whole numbers";
        return false;
    }
    if (*pack < 1 || *pack > packCount) {
        reason = "there is no pack " + std::to_string(*pack) + ": the data file has " +
                 std::to_string(packCount) + " (see 'varnelctl packs')";
        return false;
    }
    if (*quantity > maximumQuantity) {
        reason = "a quantity is 0 to 9 packs; give the same pack twice for more";
        return false;
    }
    chosen.push_back({static_cast<std::size_t>(*pack - 1), static_cast<std::uint32_t>(*quantity)});
    return true;
}

std::vector<std::uint32_t> PackSelection::quantities(std::size_t packCount) const
{
    std::vector<std::uint32_t> result(packCount, 0);
    for (const Choice& choice : chosen)
        if (choice.pack < packCount)
            result[choice.pack] += choice.quantity;
    return result;
}

} // namespace varnel
