#include "SimulatorOptions.h"

#include <CLI/CLI.hpp>

namespace varnel::upssim {

namespace {

const char* const kFaults =
    "Faults, set per unit in the unit file:\n"
    "  fault = MODE    what the unit does once the fault sets in:\n"
    "                    none, silent (answers nothing), reject (refuses every request),\n"
    "                    badkind (a reply of the wrong kind), truncate (replies cut short),\n"
    "                    ignorewrites (acknowledges writes, keeps its values),\n"
    "                    wrongvalue (stores each written value plus one),\n"
    "                    random (random bytes of random length instead of each reply;\n"
    "                    nothing asked for is done),\n"
    "                    flipbit (the lowest bit of each value read flipped, a framed\n"
    "                    checksum left as it was), othercommand (framed replies naming\n"
    "                    another command), badlength (text replies whose length digits\n"
    "                    claim one byte more), swapped (another unit from then on:\n"
    "                    another internal battery type and product name)\n"
    "  fault.count = N requests the fault lasts, then the unit answers again (default 0: for good)\n"
    "  fault.after = N requests answered normally before the fault sets in (default 0)\n"
    "  fault.seed = N  seed of the random replies (default 1): the same seed, the same bytes\n";

const char* const kAbout = "Simulated UPS units on ptys and HID sockets.";

// CLI11 takes "--journal ''" as a value; an empty path would silently mean no journal.
CLI::Validator notEmpty()
{
    return {
        [](const std::string& value) { return value.empty() ? std::string("needs a value") : std::string(); },
        "", ""};
}

void describe(CLI::App& app, SimulatorOptions& options)
{
    app.add_option("--dir", options.directory,
                   "directory for the serial links (DIR/NAME) and HID sockets (DIR/NAME.sock)")
        ->type_name("DIR")
        ->required()
        ->check(notEmpty())
        // The environment lists are colon-separated.
        ->check(CLI::Validator(
            [](const std::string& dir) {
                return dir.find(':') == std::string::npos ? std::string()
                                                          : std::string("the path must not contain ':'");
            },
            "", ""));
    app.add_flag("--pace-2400", options.pace2400, "deliver serial replies at the speed of a 2400-baud line");
    app.add_flag("--hid-tcp", options.hidTcp,
                 "HID units also listen on an ephemeral 127.0.0.1 port, for a Windows linkhid under Wine "
                 "(exported as LINKHID_SIMULATORS_TCP)");
    app.add_option("--journal", options.journalFile,
                   "one JSON object a line for every request and every value written")
        ->type_name("FILE")
        ->check(notEmpty());
    app.add_option("--ready", options.readyFile,
                   "written (with the environment to export) once every unit listens")
        ->type_name("FILE")
        ->check(notEmpty());
    app.add_option("UNITFILE", options.unitFile, "the units to simulate (see sample-units.ini)")
        ->type_name("")
        ->required();
    app.footer(kFaults);
}

} // namespace

std::string SimulatorOptions::usage()
{
    CLI::App app{kAbout, "upssim"};
    SimulatorOptions ignored;
    describe(app, ignored);
    return app.help();
}

bool SimulatorOptions::parse(int argc, const char* const* argv, std::string& error)
{
    CLI::App app{kAbout, "upssim"};
    describe(app, *this);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        help = true;
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return false;
    }
    return true;
}

} // namespace varnel::upssim
