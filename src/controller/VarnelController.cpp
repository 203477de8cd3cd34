#include "controller/VarnelController.h"

#include "calc/BatteryConfiguration.h"
#include "controller/UpdateAdapter.h"
#include "controller/UpdateNarrator.h"
#include "data/BatteryPack.h"
#include "data/VarnelXmlParser.h"
#include "device/CAnyPort.h"
#include "device/DeviceFactory.h"
#include "device/VarnelDevice.h"
#include "platform/Sha256.h"
#include "platform/Sleep.h"
#include "settings/CatalogueText.h"
#include "settings/DeferredOutput.h"
#include "settings/I18N.h"
#include "settings/Log.h"
#include "settings/PropertiesFile.h"
#include "settings/ShownText.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <sstream>
#include <system_error>
#include <thread>

namespace varnel {

namespace {
constexpr const char* settingsFileName = "varnel.ini";
// The catalogue is not there yet when these are shown, so they stay English.
constexpr const char* settingsFailedText =
    "There was an error parsing the internal configuration file.\nPlease contact technical support.";
constexpr const char* settingsCorruptText =
    "The application's configuration file has become corrupted.\nPlease contact technical support.";
constexpr const char* messagesFailedText =
    "The application's message file is missing or cannot be read.\nPlease contact technical support.";

void show(const StatusCallback& callback, const char* text)
{
    if (callback)
        callback(text, 1);
}

// What one battery data file holds, read whole before anyone takes it over.
struct DataFileContents {
    std::string number;
    std::string date;
    ScalarTableMap scalars;
    WattageTableMap wattages;
    BatteryTableMap types;
    BatteryPackList packs;

    bool read(const std::string& path)
    {
        VarnelXmlParser parser(path);
        return parser.parse(number, date, scalars, wattages, types, packs);
    }
};

struct PauseSetting {
    const char* key;
    const char* defaultValue;
};

// Pauses after reads and writes, by the transport of the device's port.
constexpr PauseSetting serialReadPause{"serial.post.read.sleep", "250"};
constexpr PauseSetting serialWritePause{"serial.post.write.sleep", "750"};
constexpr PauseSetting hidReadPause{"hid.post.read.sleep", "1000"};
constexpr PauseSetting hidWritePause{"hid.post.write.sleep", "2500"};
// A HID unit's rest between the reads before a save and its first write, and
// every unit's between a save and the read-back that checks it.
constexpr PauseSetting hidBeforeSavePause{"hid.pre.save.sleep", "3000"};
constexpr PauseSetting validationPause{"validation.settle.sleep", "6000"};

// A stream, not NumberText: past 32 bits it fails, and it takes the user's locale's digit grouping.
// Digits up to the first non-digit after leading white space ("300ms" is 300);
// anything else keeps the class default. The trailing zero keeps the stream
// short of its end so that a bare number still leaves it good.
bool convertPause(const std::string& text, std::uint32_t& milliseconds)
{
    std::size_t first = 0;
    while (first < text.size() && std::isspace(static_cast<unsigned char>(text[first])))
        ++first;
    // The stream would wrap "-1" into a pause of weeks.
    if (first < text.size() && text[first] == '-')
        return false;
    std::istringstream in(text + std::string(1, '\0'));
    std::uint32_t value = 0;
    in >> value;
    if (!in.good())
        return false;
    milliseconds = value;
    return true;
}
} // namespace

VarnelController::VarnelController() = default;

VarnelController::~VarnelController()
{
    messages.reset();
    settings.reset();
    clearDevices();
}

bool VarnelController::init(const StatusCallback& showMessage)
{
    if (settings && messages)
        return true;

    log() << "Parsing internal configuration file " << settingsFileName << std::endl;
    settings = std::make_unique<PropertiesFile>(settingsFileName);
    if (settings->size() == 0) {
        show(showMessage, settingsFailedText);
        return false;
    }

    log() << "Parsing I18N information" << std::endl;
    messages = std::make_unique<I18N>();
    const std::string localeName = setting("locale.name", "");
    const std::string stringFile = setting("locale.strings", "");
    if (localeName.empty() || stringFile.empty()) {
        show(showMessage, settingsCorruptText);
        return false;
    }
    if (!messages->load(localeName, stringFile)) {
        show(showMessage, messagesFailedText);
        return false;
    }

    log() << "Varnel Started" << std::endl;
    return true;
}

std::string VarnelController::setting(const std::string& key, const std::string& defaultValue) const
{
    if (!settings)
        return defaultValue;
    return settings->get(key, defaultValue);
}

void VarnelController::clearDevices()
{
    while (!devices.empty())
        devices.erase(devices.begin());
}

bool VarnelController::loadDataFile(const std::string& path)
{
    // Read into fresh collections and taken over only whole: a second file
    // replaces the first (packs of two families never mix), and a file that
    // fails half-way leaves the wizard with the one it had.
    DataFileContents contents;
    // The digest of the very bytes parsed, so a technician can hold it against the publisher's.
    std::string digest = Sha256::ofFile(path);
    const bool parsed = contents.read(path);
    log() << "Data file " << path << (parsed ? " loaded" : " not usable") << ", SHA-256 "
          << (digest.empty() ? "unknown (unreadable)" : digest) << std::endl;
    if (!parsed)
        return false;
    fileVersionNumber = std::move(contents.number);
    fileVersionDate = std::move(contents.date);
    scalarTables = std::move(contents.scalars);
    wattageTables = std::move(contents.wattages);
    batteryTables = std::move(contents.types);
    batteryPacks = std::move(contents.packs);
    fileDigest = std::move(digest);
    return true;
}

bool VarnelController::isDataFile(const std::string& path)
{
    DataFileContents contents;
    return contents.read(path);
}

bool VarnelController::computeConfiguration(VarnelDevice& device,
                                            const std::vector<std::uint32_t>& batteryPackQuantities,
                                            const StatusCallback& callback)
{
    const BatteryConfiguration configuration(scalarTables, wattageTables, batteryTables, batteryPacks,
                                             messages.get());
    return configuration.computeConfiguration(device, batteryPackQuantities, callback);
}

bool VarnelController::planBatteryTable(const VarnelDevice& device,
                                        const std::vector<std::uint32_t>& batteryPackQuantities,
                                        std::vector<std::uint8_t>& batteryTable,
                                        std::int32_t* externalBatteryCount) const
{
    const BatteryConfiguration configuration(scalarTables, wattageTables, batteryTables, batteryPacks,
                                             messages.get());
    return configuration.planBatteryTable(device, batteryPackQuantities, batteryTable, externalBatteryCount);
}

RuntimePicture VarnelController::runtimePicture(const VarnelDevice& device,
                                                const std::vector<std::uint8_t>& before,
                                                const std::vector<std::uint8_t>& after,
                                                std::int64_t externalBatteries) const
{
    RuntimePicture picture(scalarTables, wattageTables, device, before, after);
    picture.estimateWith(device.getInternalBatteryCount(), externalBatteries);
    return picture;
}

RuntimePicture VarnelController::plannedPicture(const VarnelDevice& device,
                                                const std::vector<std::uint8_t>& before,
                                                const std::vector<std::uint32_t>& batteryPackQuantities) const
{
    std::vector<std::uint8_t> planned;
    std::int32_t external = 0;
    if (!planBatteryTable(device, batteryPackQuantities, planned, &external))
        planned.clear();
    return runtimePicture(device, before, planned, external);
}

std::vector<std::string> VarnelController::packNames() const
{
    std::vector<std::string> names;
    for (const auto& pack : batteryPacks)
        names.push_back(shownText(pack->getName()));
    return names;
}

std::vector<std::string>
VarnelController::chosenPackLines(const std::vector<std::uint32_t>& batteryPackQuantities) const
{
    std::vector<std::string> lines;
    for (std::size_t pack = 0; pack < batteryPackQuantities.size() && pack < batteryPacks.size(); ++pack)
        if (batteryPackQuantities[pack] > 0)
            lines.push_back("(" + std::to_string(batteryPackQuantities[pack]) + ") " +
                            shownText(batteryPacks[pack]->getName()));
    return lines;
}

std::string VarnelController::fileVersionText(const char* key, Missing missing) const
{
    return catalogueFormat(messages.get(), key, {shownText(fileVersionNumber), shownText(fileVersionDate)},
                           missing);
}

std::vector<std::unique_ptr<VarnelDevice>>& VarnelController::scanForDevices(const StatusCallback& callback)
{
    clearDevices();
    portProblems.clear();
    statusCallback = callback;
    CAnyPort port;
    show(statusCallback, catalogueText(messages.get(), "label.scanusb", Missing::Key));
    port.setTransport(PORT_TRANSPORT_HID);
    port.enumerate(&VarnelController::onPortEnumerated, this);
    reportLibraryFailure(port);
    show(statusCallback, catalogueText(messages.get(), "label.scanserial", Missing::Key));
    discoverSerialPorts(port);
    return devices;
}

void VarnelController::reportLibraryFailure(const CAnyPort& port) const
{
    // Without its library a transport's units would look absent; the reason says where it was looked for.
    if (port.isLoaded() || port.libraryFailure().empty())
        return;
    log() << "Could not load the port library: " << port.libraryFailure() << std::endl;
    show(statusCallback,
         catalogueFormat(messages.get(), "msg.portlibrarymissing", {port.libraryFailure()}, Missing::Key)
             .c_str());
}

std::int32_t VarnelController::onPortEnumerated(PortDescriptor* port, void* context)
{
    if (port && context)
        static_cast<VarnelController*>(context)->discoverOnPort(*port);
    return 1;
}

void VarnelController::discoverOnPort(const PortDescriptor& descriptor)
{
    adoptPort(probePort(descriptor, statusCallback, pausesFor(descriptor.transport)));
}

VarnelController::PortOutcome VarnelController::probePort(const PortDescriptor& descriptor,
                                                          const StatusCallback& callback,
                                                          const DevicePauses& pauses) const
{
    PortOutcome outcome;
    const std::string name = shownText(descriptor.portName ? descriptor.portName : "");
    log() << "Checking port '" << name << "'" << std::endl;

    // The library takes a mutable record; it gets a copy of its own.
    PortDescriptor opened = descriptor;
    CAnyPort port;
    port.setTransport(descriptor.transport);
    if (!port.open(&opened)) {
        log() << "Could not open port '" << name << "'" << std::endl;
        const std::string reason = shownText(port.openFailureReason() ? port.openFailureReason() : "");
        if (!reason.empty())
            log() << reason << std::endl;
        outcome.problem = "'" + name + "'" + (reason.empty() ? "" : ": " + reason);
        return outcome;
    }
    outcome.opened = true;

    // The unit is read with the technician's pauses from the first request on:
    // a slow unit read at the protocol's own pace may answer with stale values.
    outcome.device = createDevice(port, descriptor, callback, messages.get(), pauses);
    if (!outcome.device) {
        log() << "Device on port '" << name << "' does not support external battery packs" << std::endl;
        return outcome;
    }
    outcome.device->dumpToLog("Device Discovered:");
    return outcome;
}

void VarnelController::adoptPort(PortOutcome outcome)
{
    if (!outcome.opened)
        portProblems.push_back(std::move(outcome.problem));
    if (!outcome.device)
        return;
    devices.push_back(std::move(outcome.device));
    if (statusCallback)
        show(statusCallback, catalogueText(messages.get(), "label.devicediscovered", Missing::Key));
}

namespace {

// Serial lines tried at once; a machine lists a few dozen at most.
constexpr std::size_t mostProbesAtOnce = 16;

// A port as the library listed it, with names of its own: the library's
// record is valid only during its callback.
struct ListedPort {
    PortDescriptor descriptor{};
    std::string portName;
    std::optional<std::string> vendorName;
    std::optional<std::string> productName;
    DevicePauses pauses;

    PortDescriptor described() const
    {
        PortDescriptor copy = descriptor;
        copy.portName = descriptor.portName ? portName.c_str() : nullptr;
        copy.vendorName = vendorName ? vendorName->c_str() : nullptr;
        copy.productName = productName ? productName->c_str() : nullptr;
        return copy;
    }
};

std::int32_t listPort(PortDescriptor* port, void* context)
{
    if (!port || !context)
        return 1;
    ListedPort listed;
    listed.descriptor = *port;
    if (port->portName)
        listed.portName = port->portName;
    if (port->vendorName)
        listed.vendorName = port->vendorName;
    if (port->productName)
        listed.productName = port->productName;
    static_cast<std::vector<ListedPort>*>(context)->push_back(std::move(listed));
    return 1;
}

// What one port's thread leaves for the scan's own.
struct Probe {
    DeferredOutput output;
    bool done = false;
};

class JoinAll {
public:
    explicit JoinAll(std::vector<std::thread>& threads) : threads(threads) {}
    ~JoinAll()
    {
        for (std::thread& thread : threads)
            thread.join();
    }
    JoinAll(const JoinAll&) = delete;
    JoinAll& operator=(const JoinAll&) = delete;

private:
    std::vector<std::thread>& threads;
};

} // namespace

void VarnelController::discoverSerialPorts(CAnyPort& port)
{
    std::vector<ListedPort> listed;
    port.setTransport(PORT_TRANSPORT_SERIAL);
    port.enumerate(&listPort, &listed);
    reportLibraryFailure(port);
    if (listed.empty())
        return;
    for (ListedPort& entry : listed)
        entry.pauses = pausesFor(entry.descriptor.transport);
    // Held for the whole walk, so the library is not loaded afresh each time
    // the ports open at that moment happen all to be closed.
    port.loadLibrary(PORT_TRANSPORT_SERIAL);

    std::vector<Probe> probes(listed.size());
    std::vector<PortOutcome> outcomes(listed.size());
    const bool showing = static_cast<bool>(statusCallback);
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t next = 0;
    // Each thread logs and shows nothing itself: its port's lines and texts
    // wait in the port's probe, for this thread to write out in order.
    auto work = [&] {
        for (;;) {
            std::size_t at = 0;
            {
                const std::lock_guard<std::mutex> guard(mutex);
                if (next == listed.size())
                    return;
                at = next++;
            }
            Probe& probe = probes[at];
            {
                const DeferredOutput::Capture capture(probe.output);
                outcomes[at] =
                    probePort(listed[at].described(), showing ? probe.output.callback() : StatusCallback{},
                              listed[at].pauses);
            }
            {
                const std::lock_guard<std::mutex> guard(mutex);
                probe.done = true;
            }
            finished.notify_all();
        }
    };

    std::vector<std::thread> threads;
    {
        const JoinAll joinAll(threads);
        const std::size_t wanted = std::min(listed.size(), mostProbesAtOnce);
        for (std::size_t i = 0; i < wanted; ++i) {
            try {
                threads.emplace_back(work);
            } catch (const std::system_error&) {
                // Out of threads: the ones running, or this one, do the rest.
                break;
            }
        }
        if (threads.empty())
            work();
        for (std::size_t at = 0; at < listed.size(); ++at) {
            {
                std::unique_lock<std::mutex> lock(mutex);
                finished.wait(lock, [&] { return probes[at].done; });
            }
            probes[at].output.replay(statusCallback);
            adoptPort(std::move(outcomes[at]));
        }
    }
    port.unloadLibrary();
}

DevicePauses VarnelController::pausesFor(std::uint32_t transport) const
{
    const bool serial = transport == PORT_TRANSPORT_SERIAL;
    DevicePauses pauses;
    auto take = [this](const PauseSetting& pause, std::optional<std::uint32_t>& into) {
        std::uint32_t delay = 0;
        if (convertPause(setting(pause.key, pause.defaultValue), delay))
            into = delay;
    };
    take(serial ? serialReadPause : hidReadPause, pauses.read);
    take(serial ? serialWritePause : hidWritePause, pauses.write);
    if (!serial)
        take(hidBeforeSavePause, pauses.beforeSave);
    return pauses;
}

std::unique_ptr<VarnelDevice> VarnelController::readAgain(const VarnelDevice& device, bool identityOnly,
                                                          bool& opened)
{
    opened = false;
    const PortDescriptor* saved = device.getPortInfo();
    if (!saved)
        return nullptr;
    CAnyPort port;
    // The names are handed over as a scan's port gives them: a unit that
    // reports its own (every serial one) is still asked.
    PortDescriptor descriptor = *saved;
    descriptor.vendorName = device.getVendorName().c_str();
    descriptor.vendorNameLength = static_cast<std::int32_t>(device.getVendorName().size());
    descriptor.productName = device.getProductName().c_str();
    descriptor.productNameLength = static_cast<std::int32_t>(device.getProductName().size());
    port.setTransport(descriptor.transport);
    if (!port.open(&descriptor))
        return nullptr;
    opened = true;
    std::unique_ptr<VarnelDevice> read =
        createDevice(port, descriptor, nullptr, nullptr, pausesFor(descriptor.transport), identityOnly);
    // The unit is let go as soon as it has been read.
    port.close();
    return read;
}

namespace {
// What a record's values were computed from, and what names the unit gave.
bool sameUnit(const VarnelDevice& a, const VarnelDevice& b)
{
    return a.getConfigurationInfo() == b.getConfigurationInfo() &&
           a.getInternalBatteryCount() == b.getInternalBatteryCount() &&
           a.getInternalBatteryType() == b.getInternalBatteryType() &&
           a.getVendorName() == b.getVendorName() && a.getProductName() == b.getProductName();
}
} // namespace

bool VarnelController::identifyUnit(const VarnelDevice& device)
{
    bool opened = false;
    const std::unique_ptr<VarnelDevice> now = readAgain(device, true, opened);
    if (now && sameUnit(device, *now))
        return true;
    if (now)
        now->dumpToLog("Device Read Before Saving");
    return false;
}

bool VarnelController::validateUpdate(VarnelDevice& device, const StatusCallback& callback)
{
    log() << "Validating the device update" << std::endl;
    lastReadBack.reset();
    std::uint32_t settle = 6000;
    convertPause(setting(validationPause.key, validationPause.defaultValue), settle);
    sleepMs(settle);

    bool opened = false;
    std::unique_ptr<VarnelDevice> readBack = readAgain(device, false, opened);
    if (!opened) {
        show(callback, catalogueText(messages.get(), "msg.validatefailed.open", Missing::Key));
        return false;
    }
    if (!readBack) {
        show(callback, catalogueText(messages.get(), "msg.validatefailed.nodevice", Missing::Key));
        return false;
    }
    lastReadBack = ConfigurationValues::of(*readBack);
    readBack->dumpToLog("Device Read for Validation");

    auto differs = [&](const char* key) {
        show(callback, catalogueText(messages.get(), key, Missing::Key));
        log() << catalogueText(messages.get(), key, Missing::Key) << std::endl;
        return false;
    };
    const auto& savedTable = device.getBatteryTableValues();
    const auto& readTable = readBack->getBatteryTableValues();
    if (savedTable.size() != readTable.size()) {
        const char* message =
            catalogueText(messages.get(), "msg.validatefailed.batterytablesize", Missing::Key);
        show(callback, message);
        log() << message << " " << savedTable.size() << " != " << readTable.size() << std::endl;
        return false;
    }
    const auto& savedC = device.getCTableValues();
    const auto& readC = readBack->getCTableValues();
    if (savedC.size() != readC.size())
        return differs("msg.validatefailed.ctablesize");
    if (device.getCTableHighB() != readBack->getCTableHighB())
        return differs("msg.validatefailed.ctablehighb");
    if (device.getExternalBatteryCount() != readBack->getExternalBatteryCount())
        return differs("msg.validatefailed.externalbatterycount");
    // The tables were computed for this unit's batteries and configuration word.
    if (!sameUnit(device, *readBack))
        return differs("msg.validatefailed.unit");

    auto differsAt = [&](const char* key, std::size_t position) {
        const std::string buf =
            catalogueFormat(messages.get(), key, {static_cast<std::uint32_t>(position)}, Missing::Key);
        show(callback, buf.c_str());
        log() << buf << std::endl;
        return false;
    };
    for (std::size_t p = 0; p < savedTable.size(); ++p)
        if (savedTable[p] != readTable[p])
            return differsAt("msg.validatefailed.batteryvalue", p);
    for (std::size_t p = 0; p < savedC.size(); ++p)
        if (savedC[p] != readC[p])
            return differsAt("msg.validatefailed.ctablevalue", p);
    return true;
}

namespace {
StatusCallback callbackOf(UpdateAdapter& adapter)
{
    return [&adapter](const char* text, std::uint32_t newLine) { adapter.show(text, newLine); };
}

class CallbackOnly : public UpdateAdapter {
public:
    explicit CallbackOnly(const StatusCallback& callback) : callback(callback) {}
    void show(const char* text, std::uint32_t newLine) override
    {
        if (callback)
            callback(text, newLine);
    }

private:
    const StatusCallback& callback;
};
} // namespace

void VarnelController::setUpdateSteps(UpdateSteps standIns)
{
    steps = std::move(standIns);
}

ConfigurationUpdate
VarnelController::applyConfiguration(VarnelDevice& device,
                                     const std::vector<std::uint32_t>& batteryPackQuantities, UpdateMode mode,
                                     UpdateAdapter& adapter)
{
    const UpdateNarrator narrator(messages.get(), adapter);
    const StatusCallback callback = callbackOf(adapter);
    ConfigurationUpdate update;
    update.before = ConfigurationValues::of(device);
    narrator.computing();
    const bool computed = adapter.runStep([&] {
        return steps.compute ? steps.compute(device, batteryPackQuantities, callback)
                             : computeConfiguration(device, batteryPackQuantities, callback);
    });
    update.after = ConfigurationValues::of(device);
    narrator.computed(computed);
    if (!computed)
        update.outcome = UpdateOutcome::computeFailed;
    else if (mode == UpdateMode::computeOnly)
        update.outcome = UpdateOutcome::computed;
    else
        writeConfiguration(device, update, true, false, adapter);
    adapter.report(update, nullptr);
    offerRestore(device, update, adapter);
    return update;
}

ConfigurationUpdate
VarnelController::applyConfiguration(VarnelDevice& device,
                                     const std::vector<std::uint32_t>& batteryPackQuantities, UpdateMode mode,
                                     const StatusCallback& callback)
{
    CallbackOnly adapter(callback);
    return applyConfiguration(device, batteryPackQuantities, mode, adapter);
}

void VarnelController::offerRestore(VarnelDevice& device, ConfigurationUpdate& update, UpdateAdapter& adapter)
{
    const bool failed =
        update.outcome == UpdateOutcome::saveFailed || update.outcome == UpdateOutcome::notValidated;
    if (!failed || update.backupPath.empty())
        return;
    const UpdateNarrator narrator(messages.get(), adapter);
    const std::optional<bool> agreed = adapter.ask(narrator.restoreQuestion(update.backupPath));
    if (!agreed)
        return;
    if (!*agreed) {
        narrator.restoreDeclined(update.backupPath);
        return;
    }
    // The record holds the new values, the unit some of them at most, so a
    // fresh backup would keep neither; the one just made holds what goes back.
    const ConfigurationUpdate restore = restoreConfiguration(device, update.before, false, adapter);
    update.restored = restore.outcome;
    adapter.report(update, &restore);
}

ConfigurationUpdate VarnelController::restoreConfiguration(VarnelDevice& device,
                                                           const ConfigurationValues& values,
                                                           bool backUpFirst, UpdateAdapter& adapter)
{
    ConfigurationUpdate update;
    update.before = ConfigurationValues::of(device);
    values.applyTo(device);
    update.after = values;
    writeConfiguration(device, update, backUpFirst, true, adapter);
    return update;
}

ConfigurationBackup::Written VarnelController::backUp(const VarnelDevice& device,
                                                      const ConfigurationValues& held,
                                                      const ConfigurationValues* planned,
                                                      UpdateAdapter& adapter)
{
    const ConfigurationBackup::Written written =
        ConfigurationBackup().write(device, held, planned, fileVersionNumber, fileVersionDate, fileDigest);
    UpdateNarrator(messages.get(), adapter).backedUp(written, ConfigurationBackup().getFolder());
    return written;
}

void VarnelController::writeConfiguration(VarnelDevice& device, ConfigurationUpdate& update, bool backUpFirst,
                                          bool restoring, UpdateAdapter& adapter)
{
    const UpdateNarrator narrator(messages.get(), adapter);
    const StatusCallback callback = callbackOf(adapter);

    // Nothing is written to a unit other than the one the values were worked out for.
    if (!adapter.runStep([&] { return steps.identify ? steps.identify(device) : identifyUnit(device); })) {
        narrator.unitChanged(device);
        update.outcome = UpdateOutcome::unitChanged;
        return;
    }

    // Not one byte reaches the unit before its present values are safe on the disk.
    if (backUpFirst) {
        ConfigurationBackup::Written written;
        // The texts are shown once the step is over, on the caller's thread.
        adapter.runStep([&] {
            written = ConfigurationBackup().write(device, update.before, &update.after, fileVersionNumber,
                                                  fileVersionDate, fileDigest);
            return !written.path.empty();
        });
        narrator.backedUp(written, ConfigurationBackup().getFolder());
        if (written.path.empty()) {
            update.outcome = UpdateOutcome::backupFailed;
            return;
        }
        update.backupPath = written.path;
    }

    narrator.saving(restoring);
    const bool saved = adapter.runStep([&] { return steps.save ? steps.save(device) : device.save(); });
    narrator.saved(saved, restoring);
    if (!saved) {
        update.outcome = UpdateOutcome::saveFailed;
        return;
    }
    const char* title = catalogueText(messages.get(), "label.savingchanges", Missing::Null);
    device.dumpToLog(title ? title : "");
    narrator.validating();
    lastReadBack.reset();
    const bool validated = adapter.runStep(
        [&] { return steps.validate ? steps.validate(device, callback) : validateUpdate(device, callback); });
    narrator.validated(validated, restoring);
    update.readBack = lastReadBack;
    update.outcome = validated ? UpdateOutcome::validated : UpdateOutcome::notValidated;
}

} // namespace varnel
