#pragma once

#include "data/RowMap.h"

#include <libxml/tree.h>

#include <cstdint>
#include <optional>
#include <string>

namespace varnel {

// Attribute and content reading shared by the battery data classes.
class XmlReading {
public:
    // A decimal number read as "%u" does: leading blanks skipped, an optional
    // sign (a minus wraps), digits up to the first non-digit; nothing if no digit.
    static std::optional<std::uint32_t> parseNumber(const char* text);
    static std::optional<std::uint32_t> numberAttribute(xmlNode* node, const char* name);
    static std::optional<std::string> textAttribute(xmlNode* node, const char* name);
    static std::optional<std::uint32_t> numberContent(xmlNode* node);
    static bool isElementNamed(const xmlNode* node, const char* name);
    // Reads the children named `child` into rows (key attribute to value
    // attribute); stops at the first child whose numbers cannot be read.
    static void readRows(xmlNode* node, const char* child, const char* keyName, const char* valueName,
                         RowMap& rows);
};

} // namespace varnel
