#pragma once

#include "settings/CatalogueText.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace varnel {

struct ConfigurationUpdate;

// What a front end lends an update while it runs: where its texts go, how a
// long step runs, and who answers its questions. The update reaches nothing
// else of the front end, and calls it back only to show and to report.
class UpdateAdapter {
public:
    virtual ~UpdateAdapter() = default;

    // A status text, null for none; newLine 1 starts a line. Called from
    // inside a step too, on the step's thread.
    virtual void show(const char* text, std::uint32_t newLine) = 0;
    // A text that opens the account of an update; a terminal shows it as a line.
    virtual void heading(const char* text) { show(text, 1); }
    // What a heading the catalogue lacks reads as (a terminal names the key).
    virtual Missing missingHeading() const { return Missing::Key; }
    // Runs one long step (a computation, a save, a read-back) and returns its
    // result; a terminal runs it in place.
    virtual bool runStep(const std::function<bool()>& step) { return step(); }
    // A yes/no question; nothing where no one is there to answer it.
    virtual std::optional<bool> ask(const std::string& /*question*/) { return std::nullopt; }
    // An update is over, before anything is asked about it; then again after
    // the restore the technician asked for.
    virtual void report(const ConfigurationUpdate& /*update*/, const ConfigurationUpdate* /*restore*/) {}
};

} // namespace varnel
