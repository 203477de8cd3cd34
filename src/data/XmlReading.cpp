#include "data/XmlReading.h"

#include "settings/NumberText.h"

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
    const auto value = varnel::parseNumber(text, numberRules::unsignedConversion);
    if (!value)
        return std::nullopt;
    return static_cast<std::uint32_t>(*value);
}

namespace {

// The value of a plain attribute is its one text node, read in place: a data
// file has millions of attributes, and copying each out of the tree first
// costs more than the parse. Anything else (no value at all, a default from a
// document type) goes through the library's own reading.
template <typename Use>
auto withAttribute(xmlNode* node, const char* name, Use use)
    -> decltype(use(static_cast<const char*>(nullptr)))
{
    const auto* attributeName = reinterpret_cast<const xmlChar*>(name);
    const xmlAttr* attribute = xmlHasProp(node, attributeName);
    if (attribute == nullptr)
        return std::nullopt;
    if (attribute->type == XML_ATTRIBUTE_NODE) {
        const xmlNode* text = attribute->children;
        if (text == nullptr)
            return use("");
        if (text->type == XML_TEXT_NODE && text->next == nullptr && text->content != nullptr)
            return use(reinterpret_cast<const char*>(text->content));
    }
    XmlText value(xmlGetProp(node, attributeName));
    if (!value)
        return std::nullopt;
    return use(reinterpret_cast<const char*>(value.get()));
}

} // namespace

std::optional<std::uint32_t> XmlReading::numberAttribute(xmlNode* node, const char* name)
{
    return withAttribute(node, name, [](const char* text) { return parseNumber(text); });
}

std::optional<std::string> XmlReading::textAttribute(xmlNode* node, const char* name)
{
    return withAttribute(node, name, [](const char* text) { return std::optional<std::string>(text); });
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
