#pragma once

#include "calc/RuntimePicture.h"
#include "controller/ConfigurationBackup.h"
#include "controller/ConfigurationUpdate.h"
#include "data/BatteryCollections.h"
#include "device/DeviceFactory.h"
#include "settings/CatalogueText.h"
#include "settings/StatusCallback.h"

#include <linkport.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varnel {

class CAnyPort;
class I18N;
class PropertiesFile;
class UpdateAdapter;
class VarnelDevice;

// Owner of all state that is not a window, and of the operations the wizard
// pages call, one at a time, on the dialog's thread.
class VarnelController {
public:
    VarnelController();
    ~VarnelController();
    VarnelController(const VarnelController&) = delete;
    VarnelController& operator=(const VarnelController&) = delete;

    // Reads "varnel.ini" and the message file; a second call after success does nothing.
    bool init(const StatusCallback& showMessage);

    I18N* getMessages() const { return messages.get(); }
    // Null until init has read "varnel.ini".
    const PropertiesFile* getSettings() const { return settings.get(); }
    // The setting's value, or the default when the key is absent.
    std::string setting(const std::string& key, const std::string& defaultValue) const;

    const std::string& getFileVersionNumber() const { return fileVersionNumber; }
    const std::string& getFileVersionDate() const { return fileVersionDate; }
    // SHA-256 of the data file loaded last, as 64 hex digits.
    const std::string& getFileDigest() const { return fileDigest; }
    std::vector<std::unique_ptr<VarnelDevice>>& getDevices() { return devices; }
    const std::vector<std::unique_ptr<VarnelDevice>>& getDevices() const { return devices; }
    // The ports the last scan listed but could not open, each with the
    // library's reason (escaped), e.g. a hidraw node the user may not read.
    const std::vector<std::string>& getPortProblems() const { return portProblems; }
    const ScalarTableMap& getScalarTables() const { return scalarTables; }
    const WattageTableMap& getWattageTables() const { return wattageTables; }
    const BatteryTableMap& getBatteryTables() const { return batteryTables; }
    const BatteryPackList& getBatteryPacks() const { return batteryPacks; }
    // The packs' names as shown (control characters escaped), in file order:
    // pack k is quantity k of a computation.
    std::vector<std::string> packNames() const;
    // "(quantity) name" for every pack whose quantity is above 0, in file order.
    std::vector<std::string> chosenPackLines(const std::vector<std::uint32_t>& batteryPackQuantities) const;
    // The catalogue format under key filled with the data file's version number
    // and date; `missing` says what stands in when the catalogue lacks it.
    std::string fileVersionText(const char* key, Missing missing) const;

    // Replaces the version, tables and packs with a battery data file's; a
    // file that fails leaves those of the last one as they were.
    bool loadDataFile(const std::string& path);
    // Whether the file reads whole as a battery data file; nothing is taken over.
    static bool isDataFile(const std::string& path);

    void clearDevices();

    // Works out the values the unit needs for its internal batteries and the
    // packs attached (one quantity per pack of getBatteryPacks(), in order)
    // and stores them in the device record; nothing reaches the unit here.
    bool computeConfiguration(VarnelDevice& device, const std::vector<std::uint32_t>& batteryPackQuantities,
                              const StatusCallback& callback);
    // The battery table the unit would receive, without touching its record,
    // the log or the screen: page 4 shows it before anything is decided.
    bool planBatteryTable(const VarnelDevice& device, const std::vector<std::uint32_t>& batteryPackQuantities,
                          std::vector<std::uint8_t>& batteryTable,
                          std::int32_t* externalBatteryCount = nullptr) const;
    // The unit's runtimes for two of its battery tables, as the charts draw
    // them; with external batteries beside the second, the runtime estimated with them.
    RuntimePicture runtimePicture(const VarnelDevice& device, const std::vector<std::uint8_t>& before,
                                  const std::vector<std::uint8_t>& after,
                                  std::int64_t externalBatteries = 0) const;
    // Page 4's look ahead: the table held beside the one the chosen packs
    // would give, with the runtime those packs are estimated to give.
    RuntimePicture plannedPicture(const VarnelDevice& device, const std::vector<std::uint8_t>& before,
                                  const std::vector<std::uint32_t>& batteryPackQuantities) const;

    // Replaces the device list with the units found on the HID ports, then the serial ports.
    std::vector<std::unique_ptr<VarnelDevice>>& scanForDevices(const StatusCallback& callback);
    // Enumeration callback of the port libraries; the context is the controller.
    static std::int32_t onPortEnumerated(PortDescriptor* port, void* context);
    void discoverOnPort(const PortDescriptor& port);
    // Every port the serial library lists, tried side by side: a silent line
    // costs its time limits once, not once per port. Units, log lines and
    // status texts come out in the library's order, as one port after the other.
    void discoverSerialPorts(CAnyPort& port);
    void reportLibraryFailure(const CAnyPort& port) const;
    // Reads a just-saved unit back into a fresh record and compares what was
    // written, and what the values were computed from.
    bool validateUpdate(VarnelDevice& device, const StatusCallback& callback);
    // Reads the unit on the record's port again: true when it is the unit the
    // record was read from (names, configuration word, internal batteries).
    bool identifyUnit(const VarnelDevice& device);
    // The technician's pauses for units on a transport, from varnel.ini.
    DevicePauses pausesFor(std::uint32_t transport) const;

    // The update both front ends run: compute, and to write, back up, save,
    // wait, read back and compare; where a save or its check failed after a
    // backup, the adapter is asked whether to write the backup's values back.
    // Each step runs through the adapter, its texts go to it, and it hears of
    // the outcome before anything is asked.
    ConfigurationUpdate applyConfiguration(VarnelDevice& device,
                                           const std::vector<std::uint32_t>& batteryPackQuantities,
                                           UpdateMode mode, UpdateAdapter& adapter);
    // The same with a status callback alone (may be null): each step in place, nobody to ask.
    ConfigurationUpdate applyConfiguration(VarnelDevice& device,
                                           const std::vector<std::uint32_t>& batteryPackQuantities,
                                           UpdateMode mode, const StatusCallback& callback);

    // Writes `values` into the unit through the same save, wait, read-back
    // and comparison. With backUpFirst the record, freshly read from the
    // unit, is kept in a backup before; without, the caller knows the unit's
    // present values are not the record's (a save failed half-way).
    ConfigurationUpdate restoreConfiguration(VarnelDevice& device, const ConfigurationValues& values,
                                             bool backUpFirst, UpdateAdapter& adapter);

    // Keeps the record's values in a backup file, `planned` beside them if
    // given; says where, or why not, through the adapter and the log.
    ConfigurationBackup::Written backUp(const VarnelDevice& device, const ConfigurationValues& held,
                                        const ConfigurationValues* planned, UpdateAdapter& adapter);

    // Stand-ins for the steps of an update, for tests that must decide an
    // outcome where no unit answers; an empty member is the real step.
    void setUpdateSteps(UpdateSteps standIns);

private:
    // What trying one port gave: a unit, or nothing, or the reason it would not open.
    struct PortOutcome {
        std::unique_ptr<VarnelDevice> device;
        bool opened = false;
        std::string problem;
    };
    // Opens the port and reads the unit on it, writing the port's log lines;
    // touches nothing of the controller's, so ports can be tried on threads of their own.
    PortOutcome probePort(const PortDescriptor& descriptor, const StatusCallback& callback,
                          const DevicePauses& pauses) const;
    // Keeps what a port gave, in the order of the ports.
    void adoptPort(PortOutcome outcome);
    // A fresh record of the unit on the record's port, read with the settings'
    // pauses and the record's names; null when the port does not open
    // (`opened` false) or no unit answers.
    std::unique_ptr<VarnelDevice> readAgain(const VarnelDevice& device, bool identityOnly, bool& opened);
    // Backup (when asked), save, wait, read back and compare; the record holds update.after.
    void writeConfiguration(VarnelDevice& device, ConfigurationUpdate& update, bool backUpFirst,
                            bool restoring, UpdateAdapter& adapter);
    // After a failed save or check, the offer to write back what the backup kept.
    void offerRestore(VarnelDevice& device, ConfigurationUpdate& update, UpdateAdapter& adapter);

    std::unique_ptr<I18N> messages;
    StatusCallback statusCallback;
    std::unique_ptr<PropertiesFile> settings;
    std::string fileVersionNumber;
    std::string fileVersionDate;
    std::string fileDigest;
    ScalarTableMap scalarTables;
    WattageTableMap wattageTables;
    BatteryTableMap batteryTables;
    BatteryPackList batteryPacks;
    std::vector<std::unique_ptr<VarnelDevice>> devices;
    // What the last validateUpdate read from the unit, if it read it.
    std::optional<ConfigurationValues> lastReadBack;
    std::vector<std::string> portProblems;
    UpdateSteps steps;
};

} // namespace varnel
