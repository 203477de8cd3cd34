#pragma once

#include "data/BatteryCollections.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <memory>
#include <string>
#include <string_view>

namespace varnel {

// Reads a battery data file into the controller's tables and packs.
class VarnelXmlParser {
public:
    // Parses the file; a file that cannot be parsed is logged and leaves no document.
    explicit VarnelXmlParser(const std::string& path);
    // The same from a document already in memory; `name` stands for the path in the log.
    VarnelXmlParser(std::string_view content, const std::string& name);
    virtual ~VarnelXmlParser() = default;
    VarnelXmlParser(const VarnelXmlParser&) = delete;
    VarnelXmlParser& operator=(const VarnelXmlParser&) = delete;

    bool parse(std::string& versionNumber, std::string& versionDate, ScalarTableMap& scalarTables,
               WattageTableMap& wattageTables, BatteryTableMap& batteryTables, BatteryPackList& batteryPacks);

private:
    struct ResultFree {
        void operator()(xmlXPathObject* result) const { xmlXPathFreeObject(result); }
    };
    using XPathResult = std::unique_ptr<xmlXPathObject, ResultFree>;
    struct DocumentFree {
        void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
    };
    using Document = std::unique_ptr<xmlDoc, DocumentFree>;

    void accept(const xmlParserCtxt* context, Document parsed, const std::string& name);
    XPathResult evaluate(const char* expression) const;
    bool readVersion(std::string& versionNumber, std::string& versionDate);
    // Calls `read` with each element the expression finds; false when it finds nothing.
    template <typename Read> bool forEachElement(const char* expression, Read read) const;
    template <typename Table, typename Map>
    bool readTables(const char* expression, Map& tables, std::uint32_t (Table::*key)() const);
    bool readBatteryPacks(BatteryPackList& batteryPacks);

    Document document;
};

} // namespace varnel
