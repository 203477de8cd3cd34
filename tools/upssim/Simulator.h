#pragma once

#include "FileDescriptor.h"
#include "HidUnit.h"
#include "HidWire.h"
#include "Journal.h"
#include "PowerDeviceReports.h"
#include "SerialUnit.h"
#include "SimulatorOptions.h"
#include "UnitConfig.h"
#include "UnitState.h"

#include <chrono>
#include <deque>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace varnel::upssim {

// Serves the units: serial units on pseudo-terminals behind stable links,
// HID units on Unix sockets (and loopback TCP if asked), all from one poll
// loop on one thread.
class Simulator {
public:
    explicit Simulator(SimulatorOptions options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Creates every unit's endpoint, prints where they are and writes the
    // ready file. False with `error` set when any of that fails.
    bool start(const std::vector<UnitConfig>& units, std::ostream& out, std::string& error);
    // Serves until SIGTERM, SIGINT or SIGHUP.
    void run();

    // The export lines for a shell.
    std::string environment() const;

    // Route SIGTERM, SIGINT and SIGHUP into the loop; ignore SIGPIPE.
    static bool installSignalHandlers(std::string& error);

private:
    struct Chunk {
        std::vector<uint8_t> bytes;
        std::size_t sent = 0;
        double startMs = 0;
    };
    struct SerialEndpoint {
        std::unique_ptr<UnitState> state;
        std::unique_ptr<SerialUnit> unit;
        linkport::FileDescriptor master;
        linkport::FileDescriptor slave; // held so the line stays up while no one has it open
        std::string link;
        std::string device;
        std::deque<Chunk> out;
        double lastInputMs = 0;
    };
    struct Connection {
        linkport::FileDescriptor fd;
        HidWire wire;
        std::vector<uint8_t> out;
        bool closing = false;
    };
    struct HidEndpoint {
        std::unique_ptr<UnitState> state;
        std::unique_ptr<HidUnit> unit;
        linkport::FileDescriptor listener;
        std::string path;
        linkport::FileDescriptor tcpListener; // with --hid-tcp only
        std::string tcpAddress;               // 127.0.0.1:PORT
        std::vector<std::unique_ptr<Connection>> connections;
    };

    double nowMs() const;
    bool claimPath(const std::string& path, std::string& error);
    bool openSerial(const UnitConfig& config, std::string& error);
    bool openHid(const UnitConfig& config, std::string& error);
    bool listenTcp(HidEndpoint& endpoint, std::string& error);
    bool writeReady(std::string& error);
    void cleanUp();

    void serialInput(SerialEndpoint& endpoint);
    void serialOutput(SerialEndpoint& endpoint);
    int serialTimeout(const SerialEndpoint& endpoint) const;
    void accept(HidEndpoint& endpoint, int listener);
    void connectionInput(HidEndpoint& endpoint, Connection& connection);
    void connectionOutput(Connection& connection);

    SimulatorOptions options;
    std::chrono::steady_clock::time_point started;
    std::ofstream journalFile;
    std::unique_ptr<Journal> journal;
    PowerDeviceReports reports;
    std::string directory;
    std::vector<std::unique_ptr<SerialEndpoint>> serials;
    std::vector<std::unique_ptr<HidEndpoint>> hids;
    std::vector<std::string> created; // paths to remove at the end
    bool readyWritten = false;
};

} // namespace varnel::upssim
