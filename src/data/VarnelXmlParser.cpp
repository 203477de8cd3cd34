#include "data/VarnelXmlParser.h"

#include "data/XmlReading.h"
#include "settings/Log.h"

#include <libxml/parser.h>

#include <climits>
#include <memory>
#include <utility>

namespace varnel {

namespace {

// No network, no DTD loading, no entity substitution; errors stay off the terminal.
// The white space between elements is dropped and short texts kept inside their
// nodes: nothing reads either, and a large file parses a sixth faster.
constexpr int parseOptions =
    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOBLANKS | XML_PARSE_COMPACT;

struct ContextFree {
    void operator()(xmlXPathContext* context) const { xmlXPathFreeContext(context); }
};

struct ParserContextFree {
    void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};
using ParserContext = std::unique_ptr<xmlParserCtxt, ParserContextFree>;

bool declaresEntities(const xmlDtd* subset)
{
    if (subset == nullptr)
        return false;
    if (subset->entities != nullptr || subset->pentities != nullptr)
        return true;
    for (const xmlNode* node = subset->children; node != nullptr; node = node->next)
        if (node->type == XML_ENTITY_DECL)
            return true;
    return false;
}

// Only then may an undeclared entity pass the parse: without an external
// subset the parser itself refuses one as not well formed.
bool namesExternalSubset(const xmlDtd* subset)
{
    return subset != nullptr && (subset->SystemID != nullptr || subset->ExternalID != nullptr);
}

// Depth is bounded by the parser's own nesting limit, so recursion is safe here.
bool holdsEntityReference(const xmlNode* node)
{
    for (; node != nullptr; node = node->next) {
        if (node->type == XML_ENTITY_REF_NODE)
            return true;
        if (node->type != XML_ELEMENT_NODE)
            continue;
        for (const xmlAttr* attribute = node->properties; attribute != nullptr; attribute = attribute->next)
            if (holdsEntityReference(attribute->children))
                return true;
        if (holdsEntityReference(node->children))
            return true;
    }
    return false;
}

// libxml2 is set up once per process and its global state left to the
// process's end: a cleanup after each file would pull it from under any other
// parse still running.
void initialiseLibrary()
{
    static const bool initialised = [] {
        xmlInitParser();
        return true;
    }();
    (void)initialised;
}

} // namespace

VarnelXmlParser::VarnelXmlParser(const std::string& path)
{
    initialiseLibrary();
    ParserContext context(xmlNewParserCtxt());
    if (context)
        accept(context.get(), Document(xmlCtxtReadFile(context.get(), path.c_str(), nullptr, parseOptions)),
               path);
    else
        accept(nullptr, nullptr, path);
}

VarnelXmlParser::VarnelXmlParser(std::string_view content, const std::string& name)
{
    initialiseLibrary();
    ParserContext context(xmlNewParserCtxt());
    Document parsed;
    if (context && content.size() <= static_cast<std::size_t>(INT_MAX))
        parsed.reset(xmlCtxtReadMemory(context.get(), content.data(), static_cast<int>(content.size()),
                                       name.c_str(), nullptr, parseOptions));
    accept(context.get(), std::move(parsed), name);
}

void VarnelXmlParser::accept(const xmlParserCtxt* context, Document parsed, const std::string& name)
{
    // A bare document type line is what some authoring tools write and does no
    // harm while nothing is loaded. Entities are another matter: their expansion
    // (a "billion laughs" file) and external ones (local files) are refused, as
    // is any reference that only a DTD we never load could resolve.
    if (parsed && (context == nullptr || context->hasPErefs || parsed->extSubset != nullptr ||
                   declaresEntities(parsed->intSubset) ||
                   (namesExternalSubset(parsed->intSubset) && holdsEntityReference(parsed->children))))
        parsed.reset();
    document = std::move(parsed);
    if (!document)
        log() << "Failed to parse file " << name << std::endl;
}

VarnelXmlParser::XPathResult VarnelXmlParser::evaluate(const char* expression) const
{
    if (document == nullptr)
        return nullptr;
    std::unique_ptr<xmlXPathContext, ContextFree> context(xmlXPathNewContext(document.get()));
    if (!context)
        return nullptr;
    XPathResult result(xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(expression), context.get()));
    if (!result || result->nodesetval == nullptr || result->nodesetval->nodeNr < 1)
        return nullptr;
    return result;
}

bool VarnelXmlParser::parse(std::string& versionNumber, std::string& versionDate,
                            ScalarTableMap& scalarTables, WattageTableMap& wattageTables,
                            BatteryTableMap& batteryTables, BatteryPackList& batteryPacks)
{
    // The first part that cannot be read ends the parse, named in the log.
    const auto failed = [](const char* part) {
        log() << "An error occured parsing the " << part << std::endl;
        return false;
    };
    if (!readVersion(versionNumber, versionDate))
        return failed("File Version");
    if (!readTables<FWScalarTable>("//ExternalBatteryPack//FWScalarTable", scalarTables,
                                   &FWScalarTable::getIndex))
        return failed("Scalar Tables");
    if (!readTables<BatteryWattageTable>("//ExternalBatteryPack//BatteryWattageTable", wattageTables,
                                         &BatteryWattageTable::getIndex))
        return failed("Wattage Tables");
    if (!readTables<BatteryTable>("//ExternalBatteryPack//BatteryTable", batteryTables,
                                  &BatteryTable::getTypeIndex))
        return failed("Battery Tables");
    if (!readBatteryPacks(batteryPacks))
        return failed("Battery Packs");
    return true;
}

bool VarnelXmlParser::readVersion(std::string& versionNumber, std::string& versionDate)
{
    versionNumber.clear();
    versionDate.clear();
    const auto result = evaluate("//ExternalBatteryPack//Version");
    if (!result)
        return false;
    xmlNode* node = result->nodesetval->nodeTab[0];
    if (node->type != XML_ELEMENT_NODE)
        return false;
    auto number = XmlReading::textAttribute(node, "number");
    if (!number)
        return false;
    versionNumber = std::move(*number);
    auto date = XmlReading::textAttribute(node, "date");
    if (!date)
        return false;
    versionDate = std::move(*date);
    return true;
}

template <typename Read> bool VarnelXmlParser::forEachElement(const char* expression, Read read) const
{
    const auto result = evaluate(expression);
    if (!result)
        return false;
    for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
        xmlNode* node = result->nodesetval->nodeTab[i];
        if (node->type == XML_ELEMENT_NODE)
            read(node);
    }
    return true;
}

template <typename Table, typename Map>
bool VarnelXmlParser::readTables(const char* expression, Map& tables, std::uint32_t (Table::*key)() const)
{
    return forEachElement(expression, [&](xmlNode* node) {
        auto table = std::make_unique<Table>(node);
        if (!table->isValid())
            return;
        const std::uint32_t index = ((*table).*key)();
        tables[index] = std::move(table); // the latest table under a key wins
    });
}

bool VarnelXmlParser::readBatteryPacks(BatteryPackList& batteryPacks)
{
    return forEachElement("//ExternalBatteryPack//BatteryPack", [&](xmlNode* node) {
        auto pack = std::make_unique<BatteryPack>(node);
        if (pack->isValid())
            batteryPacks.push_back(std::move(pack));
    });
}

} // namespace varnel
