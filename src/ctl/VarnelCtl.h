#pragma once

#include "controller/ConfigurationUpdate.h"
#include "ctl/PackSelection.h"
#include "download/DataFileDownload.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace varnel {

class ConsoleStatus;
class VarnelController;
class VarnelDevice;

// The wizard's job from a terminal: the same controller, files and steps, one
// command per run. Results go to the output stream, status texts to the
// error stream.
class VarnelCtl {
public:
    enum ExitCode {
        success = 0,
        badUsage = 1,
        startFailed = 2,
        noUnit = 3,
        computeFailed = 4,
        saveFailed = 5,
        notValidated = 6,
    };

    VarnelCtl(std::ostream& out, std::ostream& err);
    int run(int argc, char** argv);
    // Where '--data http' and '--data ftp' connect; only tests change it.
    void setServerPorts(DataFileDownload::Ports ports) { serverPorts = ports; }

private:
    struct Options {
        std::string command;
        bool json = false;
        bool yes = false;
        bool internalOnly = false;
        std::string data;
        std::string sha256; // the digest --data must have; empty: the settings' pin for a download
        unsigned unit = 0;
        std::vector<std::string> packs;
        std::string plot; // the SVG file of 'plan --plot'
        std::string from;
        bool force = false;
    };

    int execute(const Options& options);
    int scan(VarnelController& controller, ConsoleStatus& status);
    int packs(VarnelController& controller);
    int update(VarnelController& controller, ConsoleStatus& status, const Options& options);
    int backup(VarnelController& controller, ConsoleStatus& status, const Options& options);
    int restore(VarnelController& controller, ConsoleStatus& status, const Options& options);
    // The unit the options name from a fresh scan, or null with `code` set once the failure is reported.
    VarnelDevice* scannedUnit(VarnelController& controller, ConsoleStatus& status, unsigned number,
                              int& code);

    // The data file named on the command line, downloaded first for 'http' and
    // 'ftp'; on failure the reason is left for the error line.
    bool readDataFile(VarnelController& controller, ConsoleStatus& status, const std::string& source,
                      const std::string& pin, std::string& reason);
    // The units of a scan; reports and returns false when there are none.
    bool findUnits(VarnelController& controller, ConsoleStatus& status);

    int fail(int code, const std::string& reason);
    void say(ConsoleStatus& status, const VarnelController& controller, const char* key);

    static nlohmann::ordered_json unitJson(const VarnelDevice& device, unsigned number);
    // The runtime chart of a plan into a PNG or SVG file (after may be empty,
    // with it the runtime estimated with externalBatteries); reports and
    // returns false when it cannot.
    bool writePlot(const VarnelController& controller, ConsoleStatus& status, const VarnelDevice& device,
                   const std::vector<std::uint8_t>& before, const std::vector<std::uint8_t>& after,
                   std::int32_t externalBatteries, const std::string& path);
    void printPlan(const VarnelDevice& device, unsigned number, const ConfigurationValues& current,
                   const ConfigurationValues& planned);

    std::ostream& out;
    std::ostream& err;
    bool json = false;
    bool interactive = false;
    DataFileDownload::Ports serverPorts;
};

} // namespace varnel
