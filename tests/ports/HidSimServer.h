#pragma once

#include "HidUnit.h"
#include "HidWire.h"
#include "PowerDeviceReports.h"
#include "UnitState.h"
#include "linkhidsim.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace varnel::test {

// A HID unit on a Unix socket, the server side of linkhidsim.h, with the
// faults of the connection itself; everything it lets through is answered by
// the unit behind it. Serves any number of connections.
class HidSimServer {
public:
    using Outcome = upssim::HidUnit::Outcome;
    using Unit = std::function<Outcome(const std::vector<uint8_t>& request, std::vector<uint8_t>& reply)>;

    enum class Fault {
        None,
        HangUp,      // closes the connection at a report request
        HugeLength,  // answers a report request with an impossible length
        WrongOpcode, // answers a report request as if it were another
    };

    HidSimServer(std::string path, Unit unit) : path(std::move(path)), unit(std::move(unit))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, this->path.c_str(), sizeof address.sun_path - 1);
        listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        unlink(this->path.c_str());
        if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener, 8) != 0 || pipe(wake) != 0)
            return;
        worker = std::thread([this] { run(); });
    }

    ~HidSimServer()
    {
        stopping = true;
        if (worker.joinable()) {
            [[maybe_unused]] ssize_t ignored = write(wake[1], "x", 1);
            worker.join();
        }
        for (const Client& client : clients)
            close(client.fd);
        close(listener);
        close(wake[0]);
        close(wake[1]);
        unlink(path.c_str());
    }

    bool listening() const { return worker.joinable(); }

    void setFault(Fault fault)
    {
        std::lock_guard<std::mutex> guard(mutex);
        this->fault = fault;
    }
    // Runs `f` between requests, so the unit is the test's to read or change.
    template <class F> auto locked(F f)
    {
        std::lock_guard<std::mutex> guard(mutex);
        return f();
    }
    int setRequests() const { return sets; }

private:
    struct Client {
        int fd;
        upssim::HidWire wire;
    };

    void run()
    {
        while (!stopping) {
            std::vector<pollfd> fds{{wake[0], POLLIN, 0}, {listener, POLLIN, 0}};
            for (const Client& client : clients)
                fds.push_back({client.fd, POLLIN, 0});
            if (poll(fds.data(), fds.size(), -1) < 0 || fds[0].revents)
                return;
            std::vector<int> gone;
            for (size_t i = 2; i < fds.size(); ++i) {
                if (fds[i].revents && !serve(clients[i - 2])) {
                    close(fds[i].fd);
                    gone.push_back(fds[i].fd);
                }
            }
            std::erase_if(clients, [&](const Client& c) {
                return std::find(gone.begin(), gone.end(), c.fd) != gone.end();
            });
            if (fds[1].revents & POLLIN) {
                int fd = accept(listener, nullptr, nullptr);
                if (fd >= 0)
                    clients.push_back({fd, {}});
            }
        }
    }

    static bool sendAll(int fd, const std::vector<uint8_t>& bytes)
    {
        return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }

    // False when the connection is to be closed.
    bool serve(Client& client)
    {
        uint8_t buffer[4096];
        const ssize_t got = recv(client.fd, buffer, sizeof buffer, 0);
        if (got <= 0 || !client.wire.feed(buffer, static_cast<size_t>(got)))
            return false;
        std::vector<uint8_t> request;
        std::vector<uint8_t> reply;
        while (client.wire.next(request)) {
            std::lock_guard<std::mutex> guard(mutex);
            const uint8_t op = request[0];
            const bool reportRequest = op == LINKHIDSIM_OP_GET_FEATURE || op == LINKHIDSIM_OP_SET_FEATURE;
            sets += op == LINKHIDSIM_OP_SET_FEATURE;
            if (reportRequest && fault == Fault::HangUp)
                return false;
            if (reportRequest && fault == Fault::HugeLength)
                return sendAll(client.fd, {0xFF, 0xFF, 0xFF, 0x7F, op, LINKHIDSIM_OK});
            const Outcome outcome = unit(request, reply);
            if (outcome == Outcome::Close)
                return false;
            if (outcome == Outcome::NoReply)
                continue;
            if (reportRequest && fault == Fault::WrongOpcode)
                reply[0] = LINKHIDSIM_OP_INFO;
            if (!sendAll(client.fd, upssim::HidWire::encode(reply)))
                return false;
        }
        return true;
    }

    std::string path;
    Unit unit;
    Fault fault = Fault::None;
    std::mutex mutex;
    int listener = -1;
    int wake[2] = {-1, -1};
    std::vector<Client> clients;
    std::atomic<bool> stopping{false};
    std::atomic<int> sets{0};
    std::thread worker;
};

// A UPS as upssim answers it, on its own socket.
struct SimulatedUps {
    upssim::UnitState state;
    upssim::HidUnit unit;
    HidSimServer server;

    SimulatedUps(std::string path, const upssim::UnitConfig& config)
        : state(config, nullptr), unit(state, nullptr, reports()),
          server(std::move(path),
                 [this](const auto& request, auto& reply) { return unit.handle(request, reply); })
    {
    }
    upssim::UnitConfig values()
    {
        return server.locked([this] { return state.values(); });
    }
    void setFault(upssim::FaultMode mode)
    {
        server.locked([&] { state.setFault(mode); });
    }

private:
    static const upssim::PowerDeviceReports& reports()
    {
        static const upssim::PowerDeviceReports layout;
        return layout;
    }
};

// A HID device of any layout, its feature reports kept as plain bytes: for
// the descriptors upssim's UPS does not have.
struct RawHidDevice {
    std::vector<uint8_t> descriptor;
    std::map<uint8_t, std::vector<uint8_t>> reports = {};
    std::string manufacturer = "Varnel Power";
    std::string product = "VP-1500 UPS";

    HidSimServer::Outcome operator()(const std::vector<uint8_t>& request, std::vector<uint8_t>& reply)
    {
        const uint8_t op = request[0];
        reply = {op, LINKHIDSIM_OK};
        auto report = request.size() > 1 ? reports.find(request[1]) : reports.end();
        if (op == LINKHIDSIM_OP_INFO) {
            reply.insert(reply.end(), {0x34, 0x12, 0x78, 0x56});
            reply.insert(reply.end(), manufacturer.begin(), manufacturer.end());
            reply.push_back(0);
            reply.insert(reply.end(), product.begin(), product.end());
            reply.push_back(0);
        } else if (op == LINKHIDSIM_OP_DESCRIPTOR) {
            reply.insert(reply.end(), descriptor.begin(), descriptor.end());
        } else if (op == LINKHIDSIM_OP_GET_FEATURE && request.size() == 4 && report != reports.end() &&
                   (request[2] | request[3]) != 0) {
            const size_t wanted = request[2] | request[3] << 8;
            reply.push_back(request[1]);
            reply.insert(reply.end(), report->second.begin(),
                         report->second.begin() + std::min(report->second.size(), wanted - 1));
        } else if (op == LINKHIDSIM_OP_SET_FEATURE && report != reports.end() &&
                   request.size() - 2 == report->second.size()) {
            report->second.assign(request.begin() + 2, request.end());
        } else if (op == LINKHIDSIM_OP_GET_FEATURE || op == LINKHIDSIM_OP_SET_FEATURE) {
            reply[1] = LINKHIDSIM_ERR_REJECTED;
        } else {
            return HidSimServer::Outcome::Close;
        }
        return HidSimServer::Outcome::Reply;
    }
};

} // namespace varnel::test
