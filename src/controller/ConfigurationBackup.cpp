#include "controller/ConfigurationBackup.h"

#include "controller/UnitLabels.h"
#include "controller/UnitRecordJson.h"

#include "device/VarnelDevice.h"
#include "platform/DurableFile.h"
#include "settings/JsonText.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace varnel {

namespace {

// Two saves within one second get -2, -3, ... after the time stamp's name.
constexpr int maxNamesPerSecond = 100;
constexpr std::size_t maxNamePart = 40;
constexpr std::size_t maxBackupSize = 64 * 1024;

// Names from units and ports may hold anything; a file name keeps letters,
// digits, '-' and '_', and one '_' for each run of anything else. A long name
// keeps its end where that tells units apart (a port's name) and its start
// otherwise.
std::string namePart(const std::string& text, bool keepEnd = false)
{
    std::string part;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80 && (std::isalnum(byte) || c == '-' || c == '_'))
            part += c;
        else if (!part.empty() && part.back() != '_')
            part += '_';
    }
    if (part.size() > maxNamePart)
        part = keepEnd ? part.substr(part.size() - maxNamePart) : part.substr(0, maxNamePart);
    while (!part.empty() && part.back() == '_')
        part.pop_back();
    while (!part.empty() && part.front() == '_')
        part.erase(part.begin());
    return part.empty() ? "unknown" : part;
}

std::string twoDigits(int value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

} // namespace

ConfigurationBackup::Written
ConfigurationBackup::write(const VarnelDevice& device, const ConfigurationValues& held,
                           const ConfigurationValues* planned, const std::string& fileVersion,
                           const std::string& fileDate, const std::string& fileDigest) const
{
    const UtcTime now = utcNow();
    const std::string date = std::to_string(now.year) + twoDigits(now.month) + twoDigits(now.day);
    const std::string time = twoDigits(now.hour) + twoDigits(now.minute) + twoDigits(now.second);
    nlohmann::ordered_json document{{"savedAt", std::to_string(now.year) + "-" + twoDigits(now.month) + "-" +
                                                    twoDigits(now.day) + "T" + twoDigits(now.hour) + ":" +
                                                    twoDigits(now.minute) + ":" + twoDigits(now.second) +
                                                    "Z"},
                                    {"fileVersionNumber", narrowToUtf8(fileVersion)},
                                    {"fileVersionDate", narrowToUtf8(fileDate)},
                                    {"fileSha256", fileDigest}};
    document.update(UnitRecordJson::encode(device, held, UnitRecordJson::backupOrder));
    document["planned"] = planned ? UnitRecordJson::encode(*planned) : nlohmann::ordered_json();
    // One member a line, each value on its line whole, so a table reads as the unit's row of values.
    std::string content = "{\n";
    for (auto member = document.begin(); member != document.end(); ++member)
        content += "  " + nlohmann::ordered_json(member.key()).dump() + ": " +
                   member.value().dump(-1, ' ', true, nlohmann::ordered_json::error_handler_t::replace) +
                   (std::next(member) != document.end() ? ",\n" : "\n");
    content += "}\n";

    Written result;
    if (!createFolder(folder, result.failure, FileAccess::ownerOnly))
        return result;
    const std::string stem = date + "-" + time + "-" + namePart(device.getVendorName()) + "-" +
                             namePart(device.getProductName()) + "-" +
                             namePart(UnitLabels::portLeaf(device.getPortName()), true);
    for (int attempt = 1; attempt <= maxNamesPerSecond; ++attempt) {
        const std::string name = stem + (attempt > 1 ? "-" + std::to_string(attempt) : "") + ".json";
        switch (writeNewFileDurably(folder, name, content, result.failure)) {
        case DurableWrite::written:
            result.failure.clear();
            result.path = folder + "/" + name;
            return result;
        case DurableWrite::nameTaken:
            continue;
        case DurableWrite::failed:
            return result;
        }
    }
    return result;
}

ConfigurationBackup::ReadResult ConfigurationBackup::read(const std::string& path, BackupRecord& record,
                                                          std::string& field)
{
    // Only a plain file: opening a pipe or a terminal named by mistake would wait for ever.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return ReadResult::unreadable;
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open())
        return ReadResult::unreadable;
    // A backup is a few hundred bytes; a device or a huge file named by mistake is not read to its end.
    std::string text(maxBackupSize + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > maxBackupSize)
        return ReadResult::unreadable;
    const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.is_object())
        return ReadResult::unreadable;

    if (!UnitRecordJson::decode(document, record, field))
        return ReadResult::badField;
    return ReadResult::read;
}

const char* ConfigurationBackup::otherKind(const BackupRecord& record, const VarnelDevice& device)
{
    if (record.vendorName != narrowToUtf8(device.getVendorName()))
        return "vendorName";
    if (record.productName != narrowToUtf8(device.getProductName()))
        return "productName";
    if (record.configurationInfo != device.getConfigurationInfo())
        return "configurationInfo";
    if (record.internalBatteryType != device.getInternalBatteryType())
        return "internalBatteryType";
    return nullptr;
}

} // namespace varnel
