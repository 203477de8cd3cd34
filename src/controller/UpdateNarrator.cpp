#include "controller/UpdateNarrator.h"

#include "controller/UpdateAdapter.h"
#include "device/VarnelDevice.h"
#include "settings/CatalogueText.h"
#include "settings/Log.h"
#include "settings/ShownText.h"

namespace varnel {

namespace {

// What a save says at each stage; null says nothing.
struct WriteTexts {
    const char* saving;
    const char* saved;
    const char* failed;
    const char* validated;
    const char* notValidated;
};
constexpr WriteTexts updateTexts{"label.savingchanges", "msg.updatecomplete", "msg.updatefailed",
                                 "msg.validated", "msg.notvalidated"};
constexpr WriteTexts restoreTexts{"msg.restoring", nullptr, "msg.restorefailed", "msg.restored",
                                  "msg.restorefailed"};

const WriteTexts& writeTexts(bool restoring)
{
    return restoring ? restoreTexts : updateTexts;
}

} // namespace

// A key the catalogue lacks shows nothing, as on every page of the wizard.
void UpdateNarrator::say(const char* key) const
{
    if (key != nullptr)
        adapter.show(catalogueText(messages, key, Missing::Null), 1);
}

void UpdateNarrator::packsChosen(const std::vector<std::string>& packLines, bool internalOnly) const
{
    adapter.heading(catalogueText(messages, "label.determinebatterypacks", adapter.missingHeading()));
    if (internalOnly)
        return;
    adapter.heading(catalogueText(messages, "label.calculatingbatteryruntime", adapter.missingHeading()));
    for (const std::string& line : packLines)
        adapter.show(line.c_str(), 1);
}

void UpdateNarrator::computing() const
{
    say("msg.begincalculations");
}

void UpdateNarrator::computed(bool succeeded) const
{
    say(succeeded ? "msg.calculationscomplete" : "msg.calculationserror");
}

void UpdateNarrator::unitChanged(const VarnelDevice& device) const
{
    const std::string text =
        catalogueFormat(messages, "msg.unitchanged", {shownText(device.getPortName())}, Missing::Key);
    log() << text << std::endl;
    adapter.show(text.c_str(), 1);
}

void UpdateNarrator::backedUp(const ConfigurationBackup::Written& written, const std::string& folder) const
{
    std::string text;
    if (written.path.empty()) {
        log() << "Could not write the backup into '" << folder << "': " << written.failure << std::endl;
        text = catalogueFormat(messages, "msg.backupfailed", {folder, written.failure}, Missing::Key);
    } else {
        log() << "Backup of the unit's configuration written to " << written.path << std::endl;
        text = catalogueFormat(messages, "msg.backupwritten", {written.path}, Missing::Key);
    }
    adapter.show(text.c_str(), 1);
}

void UpdateNarrator::saving(bool restoring) const
{
    say(writeTexts(restoring).saving);
}

void UpdateNarrator::saved(bool succeeded, bool restoring) const
{
    say(succeeded ? writeTexts(restoring).saved : writeTexts(restoring).failed);
}

void UpdateNarrator::validating() const
{
    say("msg.beginvalidation");
}

void UpdateNarrator::validated(bool succeeded, bool restoring) const
{
    say(succeeded ? writeTexts(restoring).validated : writeTexts(restoring).notValidated);
}

std::string UpdateNarrator::restoreQuestion(const std::string& backupPath) const
{
    return catalogueFormat(messages, "msg.restorequestion", {backupPath}, Missing::Empty);
}

void UpdateNarrator::restoreDeclined(const std::string& backupPath) const
{
    adapter.show(catalogueFormat(messages, "msg.restoredeclined", {backupPath}, Missing::Empty).c_str(), 1);
}

} // namespace varnel
