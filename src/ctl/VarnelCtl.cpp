#include "ctl/VarnelCtl.h"

#include "controller/ConfigurationBackup.h"
#include "controller/UnitRecordJson.h"
#include "controller/UpdateNarrator.h"
#include "controller/VarnelController.h"
#ifdef VARNEL_WITH_CHART
#include "chart/RuntimeChart.h"
#endif
#include "ctl/ConsoleStatus.h"
#include "device/VarnelDevice.h"
#include "platform/Sha256.h"
#include "settings/CatalogueText.h"
#include "settings/JsonText.h"
#include "settings/LicenceNotice.h"
#include "settings/Log.h"
#include "settings/ShownText.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cctype>
#include <cstdio>
#include <iomanip>
#include <sstream>
#include <unistd.h>

namespace varnel {

namespace {

std::string joined(const std::vector<std::uint8_t>& values)
{
    std::ostringstream text;
    for (std::size_t i = 0; i < values.size(); ++i)
        text << (i ? ", " : "") << static_cast<unsigned>(values[i]);
    return text.str();
}

int exitCodeOf(UpdateOutcome outcome)
{
    switch (outcome) {
    case UpdateOutcome::computeFailed:
        return VarnelCtl::computeFailed;
    case UpdateOutcome::unitChanged:
    case UpdateOutcome::backupFailed: // nothing reached the unit, but the save could not go ahead
    case UpdateOutcome::saveFailed:
        return VarnelCtl::saveFailed;
    case UpdateOutcome::notValidated:
        return VarnelCtl::notValidated;
    case UpdateOutcome::computed:
    case UpdateOutcome::validated:
        break;
    }
    return VarnelCtl::success;
}

std::string hex(std::uint32_t value)
{
    std::ostringstream text;
    text << "0x" << std::hex << std::uppercase << std::setw(2) << std::setfill('0') << value;
    return text.str();
}

} // namespace

VarnelCtl::VarnelCtl(std::ostream& out, std::ostream& err) : out(out), err(err) {}

int VarnelCtl::run(int argc, char** argv)
{
    CLI::App app{"Brings the battery configuration of a UPS into line with its external battery packs.",
                 "varnelctl"};
    app.require_subcommand(1);
    app.set_version_flag("--version", VARNEL_VERSION, "Print the version and exit");
    Options options;

    auto* scan = app.add_subcommand("scan", "List the UPS units found on the HID and serial ports");
    auto* packs = app.add_subcommand("packs", "List the battery packs of a data file");
    auto* plan = app.add_subcommand("plan", "Show the values a unit would receive; write nothing");
    auto* apply = app.add_subcommand("apply", "Compute, write into the unit, read back and compare");

    for (CLI::App* command : {scan, packs, plan, apply})
        command->add_flag("--json", options.json, "One JSON document on standard output");
    for (CLI::App* command : {packs, plan, apply})
        command
            ->add_option("--data", options.data,
                         "Battery data file: a path, or 'http' / 'ftp' for the server in varnel.ini")
            ->required();
    for (CLI::App* command : {packs, plan, apply})
        command->add_option("--sha256", options.sha256, "HEX: refuse a data file whose SHA-256 differs")
            ->check([](const std::string& text) {
                return Sha256::isDigest(text) ? std::string() : std::string("64 hexadecimal digits expected");
            });
    for (CLI::App* command : {plan, apply}) {
        command->add_option("--unit", options.unit, "Unit number as 'varnelctl scan' lists it (from 1)")
            ->required()
            ->check(CLI::PositiveNumber);
        auto* pack = command->add_option("--pack", options.packs,
                                         "PACK=QUANTITY: QUANTITY (0-9) packs of pack PACK "
                                         "as 'varnelctl packs' numbers them; repeatable");
        auto* internal = command->add_flag("--internal-only", options.internalOnly,
                                           "The unit has its internal batteries only");
        pack->excludes(internal);
        internal->excludes(pack);
    }
    apply->add_flag("--yes", options.yes, "Confirm writing into the unit");
#ifdef VARNEL_WITH_CHART
    plan->add_option("--plot", options.plot,
                     RuntimeChart::writesSvg()
                         ? "FILE.png or FILE.svg: also draw the battery table before and after into the file"
                         : "FILE.png: also draw the battery table before and after into the file");
#endif

    auto* backup =
        app.add_subcommand("backup", "Keep the configuration a unit holds in backups/; write nothing");
    auto* restore =
        app.add_subcommand("restore", "Write a backup's configuration into a unit, read back and compare");
    for (CLI::App* command : {backup, restore}) {
        command->add_flag("--json", options.json, "One JSON document on standard output");
        command->add_option("--unit", options.unit, "Unit number as 'varnelctl scan' lists it (from 1)")
            ->required()
            ->check(CLI::PositiveNumber);
    }
    restore->add_option("--from", options.from, "The backup file, as 'varnelctl backup' or a save wrote it")
        ->required();
    restore->add_flag("--yes", options.yes, "Confirm writing into the unit");
    restore->add_flag("--force", options.force, "Write a backup taken from another kind of unit");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return success;
    } catch (const CLI::CallForVersion&) {
        out << "varnelctl " << VARNEL_VERSION << '\n' << copyrightNotice << '\n' << licenceNotice << '\n';
        return success;
    } catch (const CLI::CallForAllHelp&) {
        out << app.help("", CLI::AppFormatMode::All);
        return success;
    } catch (const CLI::ParseError& error) {
        err << "varnelctl: " << error.what() << "\nRun 'varnelctl --help' for the commands.\n";
        return badUsage;
    }
    options.command = app.get_subcommands().front()->get_name();
    json = options.json;
    interactive = isatty(STDERR_FILENO) != 0;

    const bool update = options.command == "plan" || options.command == "apply";
    if (update && options.packs.empty() && !options.internalOnly)
        return fail(badUsage, "say which packs are attached (--pack PACK=QUANTITY) or --internal-only");
    if (options.command == "apply" && !options.yes)
        return fail(badUsage, "apply writes into the unit; add --yes to confirm (or use plan to look first)");
    if (options.command == "restore" && !options.yes)
        return fail(badUsage, "restore writes into the unit; add --yes to confirm");
    return execute(options);
}

int VarnelCtl::fail(int code, const std::string& reason)
{
    err << "varnelctl: " << shownText(reason) << std::endl;
    if (json) {
        const nlohmann::ordered_json doc{{"exitCode", code}, {"error", narrowToUtf8(reason)}};
        out << toAsciiJson(doc) << std::endl;
    }
    return code;
}

void VarnelCtl::say(ConsoleStatus& status, const VarnelController& controller, const char* key)
{
    status.show(catalogueText(controller.getMessages(), key, Missing::Key), 1);
}

int VarnelCtl::execute(const Options& options)
{
    VarnelController controller;
    ConsoleStatus status(err, interactive);
    status.show("Loading Application...", 1);
    if (!controller.init(status.callback())) {
        status.finish();
        return fail(startFailed,
                    "start-up failed: run varnelctl in the folder holding varnel.ini and its message file");
    }
    if (options.command == "scan")
        return scan(controller, status);
    if (options.command == "backup")
        return backup(controller, status, options);
    if (options.command == "restore")
        return restore(controller, status, options);
    std::string reason;
    if (!readDataFile(controller, status, options.data, options.sha256, reason)) {
        status.finish();
        return fail(startFailed, reason);
    }
    if (options.command == "packs") {
        status.finish();
        return packs(controller);
    }
    return update(controller, status, options);
}

bool VarnelCtl::readDataFile(VarnelController& controller, ConsoleStatus& status, const std::string& source,
                             const std::string& pin, std::string& reason)
{
    std::string path = source;
    if (source == "http" || source == "ftp") {
        DataFileDownload download(controller.getSettings(), controller.getMessages(), status.callback());
        download.setPorts(serverPorts);
        download.setPin(pin);
        download.setContentCheck(&VarnelController::isDataFile);
        path = source == "http" ? download.downloadByHttp() : download.downloadByFtp();
        if (path.empty()) {
            say(status, controller, "msg.ctl.unabletocontinue");
            reason = "the battery data file could not be downloaded (the reason is above and in varnel.log)";
            return false;
        }
    }
    say(status, controller, "label.parsingfile");
    if (!controller.loadDataFile(path)) {
        say(status, controller, "msg.ctl.parsefailed");
        reason = "the battery data file '" + path + "' could not be read (details in varnel.log)";
        return false;
    }
    std::string expected = pin;
    for (char& c : expected)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!expected.empty() && controller.getFileDigest() != expected) {
        reason = "the battery data file '" + path + "' has SHA-256 " + controller.getFileDigest() + ", not " +
                 expected;
        log() << "Data file refused: " << reason << std::endl;
        return false;
    }
    status.show(controller.fileVersionText("msg.ctl.fileparsed", Missing::Key).c_str(), 1);
    status.show(("SHA-256 " + controller.getFileDigest()).c_str(), 1);
    return true;
}

bool VarnelCtl::findUnits(VarnelController& controller, ConsoleStatus& status)
{
    say(status, controller, "label.discoverdevices");
    const auto& devices = controller.scanForDevices(status.callback());
    if (devices.empty()) {
        say(status, controller, "msg.ctl.nodevices");
        status.finish();
        return false;
    }
    say(status, controller,
        devices.size() == 1 ? "label.discoveredonedevice" : "msg.ctl.discoveredmultipledevices");
    status.finish();
    return true;
}

int VarnelCtl::scan(VarnelController& controller, ConsoleStatus& status)
{
    if (!findUnits(controller, status)) {
        // A unit the user may not open looks like no unit at all: say which port and what to do.
        for (const std::string& problem : controller.getPortProblems())
            err << "varnelctl: could not open port " << problem << std::endl;
        return fail(noUnit, "no UPS that supports external battery packs was found");
    }
    const auto& devices = controller.getDevices();
    if (json) {
        nlohmann::ordered_json units = nlohmann::ordered_json::array();
        for (std::size_t i = 0; i < devices.size(); ++i)
            units.push_back(unitJson(*devices[i], static_cast<unsigned>(i + 1)));
        out << toAsciiJson({{"units", units}}) << std::endl;
        return success;
    }
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const VarnelDevice& d = *devices[i];
        out << (i + 1) << "  '" << shownText(d.getPortName()) << "'  " << shownText(d.getVendorName())
            << " : " << shownText(d.getProductName()) << "  internal "
            << static_cast<unsigned>(d.getInternalBatteryCount()) << " of type "
            << static_cast<unsigned>(d.getInternalBatteryType()) << "  external "
            << d.getExternalBatteryCount() << "  configuration " << hex(d.getConfigurationInfo()) << "\n";
    }
    return success;
}

int VarnelCtl::packs(VarnelController& controller)
{
    const auto& list = controller.getBatteryPacks();
    if (json) {
        nlohmann::ordered_json packs = nlohmann::ordered_json::array();
        for (std::size_t i = 0; i < list.size(); ++i)
            packs.push_back({{"number", i + 1},
                             {"name", narrowToUtf8(list[i]->getName())},
                             {"partNumber", narrowToUtf8(list[i]->getPartNumber())},
                             {"batteryTypeIndex", list[i]->getBatteryTypeIndex()},
                             {"numberOfBatteries", list[i]->getNumberOfBatteries()}});
        const nlohmann::ordered_json doc{
            {"fileVersionNumber", narrowToUtf8(controller.getFileVersionNumber())},
            {"fileVersionDate", narrowToUtf8(controller.getFileVersionDate())},
            {"fileSha256", controller.getFileDigest()},
            {"packs", packs}};
        out << toAsciiJson(doc) << std::endl;
        return success;
    }
    for (std::size_t i = 0; i < list.size(); ++i)
        out << (i + 1) << "  " << shownText(list[i]->getName()) << "  ("
            << shownText(list[i]->getPartNumber()) << ")  type " << list[i]->getBatteryTypeIndex() << ", "
            << list[i]->getNumberOfBatteries() << " batteries\n";
    if (list.empty())
        out << "The data file describes no battery pack.\n";
    return success;
}

int VarnelCtl::update(VarnelController& controller, ConsoleStatus& status, const Options& options)
{
    const std::size_t packCount = controller.getBatteryPacks().size();
    PackSelection selection;
    for (const std::string& pack : options.packs) {
        std::string reason;
        if (!selection.add(pack, packCount, reason)) {
            status.finish();
            return fail(badUsage, reason);
        }
    }

    if (!findUnits(controller, status))
        return fail(noUnit, "no UPS that supports external battery packs was found");
    auto& devices = controller.getDevices();
    if (options.unit < 1 || options.unit > devices.size())
        return fail(noUnit, "there is no unit " + std::to_string(options.unit) + ": the scan found " +
                                std::to_string(devices.size()));
    VarnelDevice& device = *devices[options.unit - 1];

    const std::vector<std::uint32_t> quantities = selection.quantities(packCount);
    UpdateNarrator(controller.getMessages(), status)
        .packsChosen(controller.chosenPackLines(quantities), options.internalOnly);
    const bool apply = options.command == "apply";
    const ConfigurationUpdate update = controller.applyConfiguration(
        device, quantities, apply ? UpdateMode::write : UpdateMode::computeOnly, status);
    status.finish();
    // Without a new table the chart still shows what the unit holds. It is drawn
    // before the results, so that their exit code counts a chart not written.
    const std::vector<std::uint8_t> none;
    const bool plotted = options.plot.empty() ||
                         writePlot(controller, status, device, update.before.batteryTableValues,
                                   update.computed() ? update.after.batteryTableValues : none,
                                   update.computed() ? update.after.externalBatteryCount : 0, options.plot);
    if (!update.computed())
        return fail(computeFailed, "the new battery configuration could not be calculated");
    const int code = plotted ? exitCodeOf(update.outcome) : badUsage;

    if (json) {
        nlohmann::ordered_json doc{{"units", nlohmann::ordered_json::array({unitJson(device, options.unit)})},
                                   {"current", UnitRecordJson::encode(update.before)},
                                   {"planned", UnitRecordJson::encode(update.after)},
                                   {"fileSha256", controller.getFileDigest()}};
        if (apply) {
            doc["saved"] = update.saved();
            doc["validated"] = update.validated();
            doc["backup"] = update.backupPath.empty()
                                ? nlohmann::ordered_json()
                                : nlohmann::ordered_json(narrowToUtf8(update.backupPath));
        }
        doc["exitCode"] = code;
        out << toAsciiJson(doc) << std::endl;
    } else {
        printPlan(device, options.unit, update.before, update.after);
        if (apply)
            out << (update.validated() ? "Saved and validated.\n"
                    : update.saved()   ? "Saved, but the unit does not hold the values.\n"
                                       : "Not saved.\n");
    }
    if (code == saveFailed && update.outcome != UpdateOutcome::unitChanged)
        err << "varnelctl: the unit did not take the new configuration (details in varnel.log)" << std::endl;
    if (code == notValidated)
        err << "varnelctl: the values read back differ from those written (details in varnel.log)"
            << std::endl;
    return code;
}

bool VarnelCtl::writePlot(const VarnelController& controller, [[maybe_unused]] ConsoleStatus& status,
                          [[maybe_unused]] const VarnelDevice& device,
                          [[maybe_unused]] const std::vector<std::uint8_t>& before,
                          [[maybe_unused]] const std::vector<std::uint8_t>& after,
                          [[maybe_unused]] std::int32_t externalBatteries, const std::string& path)
{
#ifdef VARNEL_WITH_CHART
    const RuntimePicture picture = controller.runtimePicture(device, before, after, externalBatteries);
    if (RuntimeChart::writeFile(picture, controller.getMessages(), path)) {
        if (!picture.isScaled())
            say(status, controller, "msg.chart.unscaled");
        status.show(
            catalogueFormat(controller.getMessages(), "msg.ctl.plotwritten", {path}, Missing::Key).c_str(),
            1);
        status.finish();
        return true;
    }
#endif
    err << "varnelctl: "
        << catalogueFormat(controller.getMessages(), "msg.ctl.plotfailed", {path}, Missing::Key) << std::endl;
    return false;
}

VarnelDevice* VarnelCtl::scannedUnit(VarnelController& controller, ConsoleStatus& status, unsigned number,
                                     int& code)
{
    if (!findUnits(controller, status)) {
        code = fail(noUnit, "no UPS that supports external battery packs was found");
        return nullptr;
    }
    auto& devices = controller.getDevices();
    if (number < 1 || number > devices.size()) {
        code = fail(noUnit, "there is no unit " + std::to_string(number) + ": the scan found " +
                                std::to_string(devices.size()));
        return nullptr;
    }
    return devices[number - 1].get();
}

int VarnelCtl::backup(VarnelController& controller, ConsoleStatus& status, const Options& options)
{
    int code = success;
    const VarnelDevice* device = scannedUnit(controller, status, options.unit, code);
    if (device == nullptr)
        return code;
    const ConfigurationBackup::Written written =
        controller.backUp(*device, ConfigurationValues::of(*device), nullptr, status);
    status.finish();
    if (written.path.empty())
        return fail(saveFailed,
                    catalogueFormat(controller.getMessages(), "msg.backupfailed",
                                    {ConfigurationBackup().getFolder(), written.failure}, Missing::Key));
    if (json) {
        const nlohmann::ordered_json doc{
            {"units", nlohmann::ordered_json::array({unitJson(*device, options.unit)})},
            {"backup", narrowToUtf8(written.path)},
            {"exitCode", success}};
        out << toAsciiJson(doc) << std::endl;
    } else {
        out << written.path << "\n";
    }
    return success;
}

int VarnelCtl::restore(VarnelController& controller, ConsoleStatus& status, const Options& options)
{
    // The file is checked whole before any unit is asked anything.
    BackupRecord record;
    std::string field;
    switch (ConfigurationBackup::read(options.from, record, field)) {
    case ConfigurationBackup::ReadResult::read:
        break;
    case ConfigurationBackup::ReadResult::unreadable:
        status.finish();
        return fail(startFailed, catalogueFormat(controller.getMessages(), "msg.ctl.backupunreadable",
                                                 {options.from}, Missing::Key));
    case ConfigurationBackup::ReadResult::badField:
        status.finish();
        return fail(startFailed, catalogueFormat(controller.getMessages(), "msg.ctl.backupbadfield",
                                                 {options.from, field}, Missing::Key));
    }

    int code = success;
    VarnelDevice* device = scannedUnit(controller, status, options.unit, code);
    if (device == nullptr)
        return code;
    if (const char* differs = ConfigurationBackup::otherKind(record, *device); differs && !options.force) {
        status.finish();
        return fail(noUnit, catalogueFormat(controller.getMessages(), "msg.ctl.backupotherunit",
                                            {options.from, differs}, Missing::Key));
    }
    const ConfigurationUpdate update = controller.restoreConfiguration(*device, record.values, true, status);
    status.finish();
    code = exitCodeOf(update.outcome);
    if (json) {
        const nlohmann::ordered_json doc{
            {"units", nlohmann::ordered_json::array({unitJson(*device, options.unit)})},
            {"current", UnitRecordJson::encode(update.before)},
            {"planned", UnitRecordJson::encode(update.after)},
            {"backup", update.backupPath.empty() ? nlohmann::ordered_json()
                                                 : nlohmann::ordered_json(narrowToUtf8(update.backupPath))},
            {"saved", update.saved()},
            {"validated", update.validated()},
            {"exitCode", code}};
        out << toAsciiJson(doc) << std::endl;
    } else {
        printPlan(*device, options.unit, update.before, update.after);
        out << (update.validated() ? "Saved and validated.\n"
                : update.saved()   ? "Saved, but the unit does not hold the values.\n"
                                   : "Not saved.\n");
    }
    return code;
}

nlohmann::ordered_json VarnelCtl::unitJson(const VarnelDevice& device, unsigned number)
{
    nlohmann::ordered_json unit{{"number", number}};
    unit.update(
        UnitRecordJson::encode(device, ConfigurationValues::of(device), UnitRecordJson::listingOrder));
    return unit;
}

void VarnelCtl::printPlan(const VarnelDevice& device, unsigned number, const ConfigurationValues& current,
                          const ConfigurationValues& planned)
{
    out << "Unit " << number << " on '" << shownText(device.getPortName())
        << "': " << shownText(device.getVendorName()) << " : " << shownText(device.getProductName()) << "\n"
        << "                      current  ->  new\n"
        << "external batteries    " << current.externalBatteryCount << "  ->  "
        << planned.externalBatteryCount << "\n"
        << "battery table         " << joined(current.batteryTableValues) << "\n"
        << "                  ->  " << joined(planned.batteryTableValues) << "\n"
        << "C table               " << joined(current.cTableValues) << "\n"
        << "                  ->  " << joined(planned.cTableValues) << "\n"
        << "C-table high B index  " << static_cast<unsigned>(current.cTableHighB) << "  ->  "
        << static_cast<unsigned>(planned.cTableHighB) << "\n";
}

} // namespace varnel
