#include "data/XmlReading.h"

#include "settings/Log.h"
#include "settings/NumberText.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <string_view>

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

const char* XmlReading::refusal(const char* text, std::uint32_t largest)
{
    if (text == nullptr)
        return nullptr;
    const auto scan = scanNumber(text, numberRules::unsignedConversion);
    if (!scan)
        return nullptr;
    const std::string_view read(text, scan->end);
    if (read.find('-') != std::string_view::npos)
        return "a minus sign";
    if (scan->wrapped)
        return "more than 32 bits";
    if (scan->value > largest)
        return "too large";
    return nullptr;
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

namespace {

// The file's text goes to the log only as printable ASCII.
std::string shown(const char* text)
{
    std::string out;
    for (const char* c = text; *c != '\0' && out.size() < 64; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\') {
            out.push_back(*c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        }
    }
    return out;
}

std::optional<std::uint32_t> checkedNumber(const xmlNode* node, const char* name, const char* text,
                                           bool& refused, std::uint32_t largest)
{
    if (const char* reason = XmlReading::refusal(text, largest)) {
        refused = true;
        log() << "Refused " << (node->name ? reinterpret_cast<const char*>(node->name) : "") << " " << name
              << "=\"" << shown(text) << "\": " << reason;
        if (largest != XmlReading::anyNumber && std::strcmp(reason, "too large") == 0)
            log() << " (at most " << largest << ")";
        log() << std::endl;
        return std::nullopt;
    }
    return XmlReading::parseNumber(text);
}

} // namespace

std::optional<std::uint32_t> XmlReading::numberAttribute(xmlNode* node, const char* name, bool& refused,
                                                         std::uint32_t largest)
{
    return withAttribute(node, name,
                         [&](const char* text) { return checkedNumber(node, name, text, refused, largest); });
}

std::optional<std::string> XmlReading::textAttribute(xmlNode* node, const char* name)
{
    return withAttribute(node, name, [](const char* text) { return std::optional<std::string>(text); });
}

std::optional<std::uint32_t> XmlReading::numberContent(xmlNode* node, bool& refused, std::uint32_t largest)
{
    XmlText content(xmlNodeGetContent(node));
    if (!content)
        return std::nullopt;
    return checkedNumber(node, "content", reinterpret_cast<const char*>(content.get()), refused, largest);
}

bool XmlReading::isElementNamed(const xmlNode* node, const char* name)
{
    return node->type == XML_ELEMENT_NODE && node->name != nullptr &&
           std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

void XmlReading::readRows(xmlNode* node, const char* child, const char* keyName, const char* valueName,
                          RowMap& rows, bool& refused)
{
    for (xmlNode* row = node->children; row != nullptr; row = row->next) {
        if (!isElementNamed(row, child))
            continue;
        const auto key = numberAttribute(row, keyName, refused);
        if (!key)
            return;
        const auto value = numberAttribute(row, valueName, refused);
        if (!value)
            return;
        rows[*key] = *value;
    }
}

} // namespace varnel
