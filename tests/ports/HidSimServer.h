#pragma once

#include "linkhidsim.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace varnel::test {

// A simulated HID unit on a Unix socket, the server side of linkhidsim.h,
// with the faults a real peer can show. Serves any number of connections.
class HidSimServer {
public:
    enum class Fault {
        None,
        HangUp,      // closes the connection at a report request
        HugeLength,  // answers a report request with an impossible length
        WrongOpcode, // answers a report request as if it were another
        ShortReport, // answers GET_FEATURE with only the id and one data byte
        Reject,      // refuses SET_FEATURE
        Silent,      // never answers a report request
    };

    HidSimServer(std::string path, std::vector<uint8_t> descriptor, std::string manufacturer = "Varnel Power",
                 std::string product = "VP-1500 UPS")
        : path(std::move(path)), descriptor(std::move(descriptor)), manufacturer(std::move(manufacturer)),
          product(std::move(product))
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
        for (int fd : clients)
            close(fd);
        close(listener);
        close(wake[0]);
        close(wake[1]);
        unlink(path.c_str());
    }

    bool listening() const { return worker.joinable(); }

    void setReport(uint8_t id, std::vector<uint8_t> data)
    {
        std::lock_guard<std::mutex> guard(mutex);
        reports[id] = std::move(data);
    }
    std::vector<uint8_t> report(uint8_t id)
    {
        std::lock_guard<std::mutex> guard(mutex);
        return reports[id];
    }
    void setFault(Fault fault)
    {
        std::lock_guard<std::mutex> guard(mutex);
        this->fault = fault;
    }
    int connections() const { return accepted; }
    int setRequests() const { return sets; }

private:
    void run()
    {
        while (!stopping) {
            std::vector<pollfd> fds{{wake[0], POLLIN, 0}, {listener, POLLIN, 0}};
            for (int fd : clients)
                fds.push_back({fd, POLLIN, 0});
            if (poll(fds.data(), fds.size(), -1) < 0)
                return;
            if (fds[0].revents)
                return;
            if (fds[1].revents & POLLIN) {
                int fd = accept(listener, nullptr, nullptr);
                if (fd >= 0) {
                    clients.push_back(fd);
                    ++accepted;
                }
            }
            for (size_t i = 2; i < fds.size(); ++i) {
                if (!fds[i].revents)
                    continue;
                if (!serve(fds[i].fd)) {
                    close(fds[i].fd);
                    std::erase(clients, fds[i].fd);
                }
            }
        }
    }

    static bool receive(int fd, void* data, size_t size)
    {
        return size == 0 || recv(fd, data, size, MSG_WAITALL) == static_cast<ssize_t>(size);
    }

    static bool reply(int fd, const std::vector<uint8_t>& payload, uint32_t length)
    {
        uint8_t header[4] = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                             static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24)};
        return send(fd, header, 4, MSG_NOSIGNAL) == 4 &&
               send(fd, payload.data(), payload.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(payload.size());
    }

    bool serve(int fd)
    {
        uint8_t header[4];
        if (!receive(fd, header, 4))
            return false;
        const uint32_t length = header[0] | header[1] << 8 | header[2] << 16 | uint32_t{header[3]} << 24;
        if (length < 1 || length > LINKHIDSIM_MAX_PAYLOAD)
            return false;
        std::vector<uint8_t> request(length);
        if (!receive(fd, request.data(), length))
            return false;

        std::lock_guard<std::mutex> guard(mutex);
        const uint8_t op = request[0];
        std::vector<uint8_t> answer{op, LINKHIDSIM_OK};
        const bool reportRequest = op == LINKHIDSIM_OP_GET_FEATURE || op == LINKHIDSIM_OP_SET_FEATURE;
        if (reportRequest && fault == Fault::HangUp)
            return false;
        if (reportRequest && fault == Fault::Silent)
            return true;
        if (reportRequest && fault == Fault::HugeLength)
            return reply(fd, answer, 0x7FFFFFFF);
        if (reportRequest && fault == Fault::WrongOpcode)
            answer[0] = LINKHIDSIM_OP_INFO;

        if (op == LINKHIDSIM_OP_INFO) {
            answer.insert(answer.end(), {0x34, 0x12, 0x78, 0x56});
            answer.insert(answer.end(), manufacturer.begin(), manufacturer.end());
            answer.push_back(0);
            answer.insert(answer.end(), product.begin(), product.end());
            answer.push_back(0);
        } else if (op == LINKHIDSIM_OP_DESCRIPTOR) {
            answer.insert(answer.end(), descriptor.begin(), descriptor.end());
        } else if (op == LINKHIDSIM_OP_GET_FEATURE && length == 4) {
            auto it = reports.find(request[1]);
            const size_t wanted = request[2] | request[3] << 8;
            if (it == reports.end() || wanted == 0) {
                answer[1] = LINKHIDSIM_ERR_NO_REPORT;
            } else {
                size_t bytes = std::min(it->second.size(), wanted - 1);
                if (fault == Fault::ShortReport)
                    bytes = std::min<size_t>(bytes, 1);
                answer.push_back(request[1]);
                answer.insert(answer.end(), it->second.begin(), it->second.begin() + bytes);
            }
        } else if (op == LINKHIDSIM_OP_SET_FEATURE && length >= 2) {
            ++sets;
            auto it = reports.find(request[1]);
            if (it == reports.end()) {
                answer[1] = LINKHIDSIM_ERR_NO_REPORT;
            } else if (fault == Fault::Reject || request.size() - 2 != it->second.size()) {
                answer[1] = LINKHIDSIM_ERR_REJECTED;
            } else {
                it->second.assign(request.begin() + 2, request.end());
            }
        } else {
            return false;
        }
        return reply(fd, answer, static_cast<uint32_t>(answer.size()));
    }

    std::string path;
    std::vector<uint8_t> descriptor;
    std::string manufacturer;
    std::string product;
    std::map<uint8_t, std::vector<uint8_t>> reports;
    Fault fault = Fault::None;
    std::mutex mutex;
    int listener = -1;
    int wake[2] = {-1, -1};
    std::vector<int> clients;
    std::atomic<bool> stopping{false};
    std::atomic<int> accepted{0};
    std::atomic<int> sets{0};
    std::thread worker;
};

} // namespace varnel::test
