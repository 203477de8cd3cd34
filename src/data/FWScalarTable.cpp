#include "data/FWScalarTable.h"

#include "data/XmlReading.h"

namespace varnel {

FWScalarTable::FWScalarTable(xmlNode* element)
{
    const auto key = XmlReading::numberAttribute(element, "index", refused);
    if (!key)
        return;
    index = *key;
    XmlReading::readRows(element, "FWScalar", "rowIndex", "value", rows, refused);
}

} // namespace varnel
