#pragma once

#include "HidTransport.h"
#include "SimulatorSocket.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace linkhid {

// A simulated unit on a Unix stream socket (loopback TCP on Windows), spoken
// to in the linkhidsim.h format. A peer that breaks the format, goes quiet or hangs up is dropped for
// good: every later request fails at once instead of reading a stale reply.
class SimulatorTransport : public HidTransport {
public:
    // How long one reply may take before the unit counts as gone.
    static constexpr int kReplyTimeoutMs = 3000;

    // Null with `error` set to an errno value (a Winsock code on Windows) when
    // nothing listens there.
    static std::unique_ptr<SimulatorTransport> open(const std::string& path, int& error);
    ~SimulatorTransport() override;
    SimulatorTransport(const SimulatorTransport&) = delete;
    SimulatorTransport& operator=(const SimulatorTransport&) = delete;

    bool readDescriptor(std::vector<uint8_t>& descriptor) override;
    void readNames(std::string& manufacturer, std::string& product) override;
    int getFeature(uint8_t* report, size_t length) override;
    bool setFeature(const uint8_t* report, size_t length) override;

    bool connected() const { return socket.connected(); }

private:
    explicit SimulatorTransport(SimulatorSocket socket);
    // Sends one request and waits for its reply; on success `reply` holds the
    // data after the opcode and status bytes and the result is the status.
    // -1 when the peer is broken.
    int exchange(const std::vector<uint8_t>& request, std::vector<uint8_t>& reply);

    SimulatorSocket socket;
};

} // namespace linkhid
