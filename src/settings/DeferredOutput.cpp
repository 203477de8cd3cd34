#include "settings/DeferredOutput.h"

#include "settings/Log.h"

#include <locale>
#include <utility>

namespace varnel {

DeferredOutput::DeferredOutput()
{
    // As the log itself: plain numbers whatever the user's locale.
    lines.imbue(std::locale::classic());
}

DeferredOutput::Capture::Capture(DeferredOutput& output)
    : output(output), previous(redirectLog(&output.lines))
{
}

DeferredOutput::Capture::~Capture()
{
    redirectLog(previous);
    output.takeLines();
}

void DeferredOutput::takeLines()
{
    std::string text = lines.str();
    lines.str({});
    lines.clear();
    if (!text.empty())
        entries.push_back({true, true, std::move(text), 0});
}

StatusCallback DeferredOutput::callback()
{
    return [this](const char* text, std::uint32_t newLine) {
        takeLines();
        entries.push_back({false, text != nullptr, text ? text : "", newLine});
    };
}

void DeferredOutput::replay(const StatusCallback& show)
{
    takeLines();
    for (const Entry& entry : entries) {
        if (entry.isLog)
            log() << entry.text << std::flush;
        else if (show)
            show(entry.hasText ? entry.text.c_str() : nullptr, entry.newLine);
    }
    entries.clear();
}

} // namespace varnel
