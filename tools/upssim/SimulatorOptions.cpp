#include "SimulatorOptions.h"

#include <cstring>

namespace varnel::upssim {

const char* SimulatorOptions::usage()
{
    return "usage: upssim --dir DIR [--pace-2400] [--journal FILE] [--ready FILE] UNITFILE\n"
           "  --dir DIR       directory for the serial links (DIR/NAME) and HID sockets (DIR/NAME.sock)\n"
           "  --pace-2400     deliver serial replies at the speed of a 2400-baud line\n"
           "  --journal FILE  one JSON object a line for every request and every value written\n"
           "  --ready FILE    written (with the environment to export) once every unit listens\n"
           "\n"
           "Faults, set per unit in the unit file:\n"
           "  fault = MODE    what the unit does once the fault sets in:\n"
           "                    none, silent (answers nothing), reject (refuses every request),\n"
           "                    badkind (a reply of the wrong kind), truncate (replies cut short),\n"
           "                    ignorewrites (acknowledges writes, keeps its values),\n"
           "                    wrongvalue (stores each written value plus one),\n"
           "                    random (random bytes of random length instead of each reply;\n"
           "                    nothing asked for is done)\n"
           "  fault.after = N requests answered normally before the fault sets in (default 0)\n"
           "  fault.seed = N  seed of the random replies (default 1): the same seed, the same bytes\n";
}

bool SimulatorOptions::parse(int argc, const char* const* argv, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                error = std::string(arg) + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            help = true;
            return true;
        }
        if (std::strcmp(arg, "--pace-2400") == 0) {
            pace2400 = true;
        } else if (std::strcmp(arg, "--dir") == 0) {
            if (!value(directory))
                return false;
        } else if (std::strcmp(arg, "--journal") == 0) {
            if (!value(journalFile))
                return false;
        } else if (std::strcmp(arg, "--ready") == 0) {
            if (!value(readyFile))
                return false;
        } else if (arg[0] == '-') {
            error = std::string("unknown option ") + arg;
            return false;
        } else if (unitFile.empty()) {
            unitFile = arg;
        } else {
            error = "only one unit file";
            return false;
        }
    }
    if (unitFile.empty()) {
        error = "no unit file given";
        return false;
    }
    if (directory.empty()) {
        error = "no --dir given";
        return false;
    }
    // The environment lists are colon-separated.
    if (directory.find(':') != std::string::npos) {
        error = "the --dir path must not contain ':'";
        return false;
    }
    return true;
}

} // namespace varnel::upssim
