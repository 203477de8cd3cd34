#pragma once

#include <string>

namespace varnel::upssim {

struct SimulatorOptions {
    std::string unitFile;
    std::string directory;   // where the serial links and HID sockets appear
    std::string journalFile; // empty: no journal
    std::string readyFile;   // empty: none
    bool pace2400 = false;   // deliver serial replies at the speed of a 2400-baud line
    bool hidTcp = false;     // HID units also listen on loopback TCP, for clients without Unix sockets
    bool help = false;

    // False with `error` set for a command line that cannot be run.
    bool parse(int argc, const char* const* argv, std::string& error);
    static std::string usage();
};

} // namespace varnel::upssim
