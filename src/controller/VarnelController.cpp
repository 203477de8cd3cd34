#include "controller/VarnelController.h"

#include "calc/BatteryConfiguration.h"
#include "data/VarnelXmlParser.h"
#include "device/VarnelDevice.h"
#include "settings/I18N.h"
#include "settings/Log.h"
#include "settings/PropertiesFile.h"

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
    VarnelXmlParser parser(path);
    return parser.parse(fileVersionNumber, fileVersionDate, scalarTables, wattageTables, batteryTables,
                        batteryPacks);
}

bool VarnelController::computeConfiguration(VarnelDevice& device,
                                            const std::vector<std::uint32_t>& batteryPackQuantities,
                                            const StatusCallback& callback)
{
    const BatteryConfiguration configuration(scalarTables, wattageTables, batteryTables, batteryPacks,
                                             messages.get());
    return configuration.computeConfiguration(device, batteryPackQuantities, callback);
}

} // namespace varnel
