#pragma once

#include "controller/ConfigurationUpdate.h"

#include <cstdint>
#include <string>

namespace varnel {

class VarnelDevice;

// A unit's configuration as read from it, with what identifies the kind of
// unit it came from: the content of a backup file.
struct BackupRecord {
    std::string portName;
    std::string vendorName;
    std::string productName;
    std::uint32_t configurationInfo = 0;
    std::uint32_t internalBatteryCount = 0;
    std::uint32_t internalBatteryType = 0;
    ConfigurationValues values;
};

// One JSON file per save in a folder of the run directory, holding the
// values a unit had before the save, so a save that fails half-way can be
// undone. Names are "YYYYMMDD-HHMMSS-<vendor>-<product>-<port>.json" (UTC),
// the port by the last element of its path; the file holds the whole of it.
class ConfigurationBackup {
public:
    explicit ConfigurationBackup(std::string folder = "backups") : folder(std::move(folder)) {}

    struct Written {
        std::string path;    // empty when nothing was written
        std::string failure; // the system's reason then
    };

    // The device record's identity with `held` as its values; `planned`, if
    // given, are the values about to be written. `fileDigest` is the SHA-256
    // of the data file the planned values came from.
    Written write(const VarnelDevice& device, const ConfigurationValues& held,
                  const ConfigurationValues* planned, const std::string& fileVersion,
                  const std::string& fileDate, const std::string& fileDigest = {}) const;

    enum class ReadResult { read, unreadable, badField };
    // A backup file read back strictly; on badField `field` names the first
    // one missing, of the wrong length or out of range.
    static ReadResult read(const std::string& path, BackupRecord& record, std::string& field);

    // The first field telling the unit's kind in which the backup differs
    // from the unit, or null when it was taken from the same kind.
    static const char* otherKind(const BackupRecord& record, const VarnelDevice& device);

    const std::string& getFolder() const { return folder; }

private:
    std::string folder;
};

} // namespace varnel
