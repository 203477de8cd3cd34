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
    // Why a number that was read cannot be used: a minus sign, more than 32
    // bits, or more than `largest`; null when it can (or when there is no number).
    static const char* refusal(const char* text, std::uint32_t largest);

    // A number attribute read as parseNumber does. A number that is there but
    // does not fit is refused rather than cut: a log line names the element,
    // the attribute and the value, `refused` is set and nothing is returned.
    static std::optional<std::uint32_t> numberAttribute(xmlNode* node, const char* name, bool& refused,
                                                        std::uint32_t largest = anyNumber);
    static std::optional<std::string> textAttribute(xmlNode* node, const char* name);
    static std::optional<std::uint32_t> numberContent(xmlNode* node, bool& refused,
                                                      std::uint32_t largest = anyNumber);
    static bool isElementNamed(const xmlNode* node, const char* name);
    // Reads the children named `child` into rows (key attribute to value
    // attribute); stops at the first child whose numbers cannot be read.
    static void readRows(xmlNode* node, const char* child, const char* keyName, const char* valueName,
                         RowMap& rows, bool& refused);

    static constexpr std::uint32_t anyNumber = 4294967295u;
    // What one byte of the unit holds: a C table entry, the high B index, a battery type.
    static constexpr std::uint32_t largestByte = 255;
};

} // namespace varnel
