#include "data/XmlReading.h"

#include <cctype>
#include <cstring>
#include <memory>

namespace varnel {

namespace {
struct XmlFree {
    void operator()(xmlChar* text) const { xmlFree(text); }
};
using XmlText = std::unique_ptr<xmlChar, XmlFree>;
} // namespace

std::optional<std::uint32_t> XmlReading::parseNumber(const char* text)
{
    if (text == nullptr)
        return std::nullopt;
    while (std::isspace(static_cast<unsigned char>(*text)))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    if (!std::isdigit(static_cast<unsigned char>(*text)))
        return std::nullopt;
    std::uint32_t value = 0;
    // Wraps like the C library's unsigned conversion on 32 bits.
    while (std::isdigit(static_cast<unsigned char>(*text)))
        value = value * 10u + static_cast<std::uint32_t>(*text++ - '0');
    return negative ? static_cast<std::uint32_t>(0u - value) : value;
}

std::optional<std::uint32_t> XmlReading::numberAttribute(xmlNode* node, const char* name)
{
    const auto text = textAttribute(node, name);
    if (!text)
        return std::nullopt;
    return parseNumber(text->c_str());
}

std::optional<std::string> XmlReading::textAttribute(xmlNode* node, const char* name)
{
    const auto* attributeName = reinterpret_cast<const xmlChar*>(name);
    if (xmlHasProp(node, attributeName) == nullptr)
        return std::nullopt;
    XmlText value(xmlGetProp(node, attributeName));
    if (!value)
        return std::nullopt;
    return std::string(reinterpret_cast<const char*>(value.get()));
}

std::optional<std::uint32_t> XmlReading::numberContent(xmlNode* node)
{
    XmlText content(xmlNodeGetContent(node));
    if (!content)
        return std::nullopt;
    return parseNumber(reinterpret_cast<const char*>(content.get()));
}

bool XmlReading::isElementNamed(const xmlNode* node, const char* name)
{
    return node->type == XML_ELEMENT_NODE && node->name != nullptr &&
           std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

void XmlReading::readRows(xmlNode* node, const char* child, const char* keyName, const char* valueName,
                          RowMap& rows)
{
    for (xmlNode* row = node->children; row != nullptr; row = row->next) {
        if (!isElementNamed(row, child))
            continue;
        const auto key = numberAttribute(row, keyName);
        if (!key)
            return;
        const auto value = numberAttribute(row, valueName);
        if (!value)
            return;
        rows[*key] = *value;
    }
}

} // namespace varnel
