#include "SimulatorTransport.h"

#include "linkhidsim.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

namespace linkhid {

namespace {

constexpr size_t kLengthBytes = 4;
constexpr size_t kReplyHeaderBytes = 2; // opcode, status

int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Takes text up to its zero byte, or to the end of the data if it has none.
std::string takeText(const std::vector<uint8_t>& data, size_t& pos)
{
    std::string text;
    while (pos < data.size() && data[pos] != 0)
        text.push_back(static_cast<char>(data[pos++]));
    if (pos < data.size())
        ++pos;
    return text;
}

} // namespace

std::unique_ptr<SimulatorTransport> SimulatorTransport::open(const std::string& path, int& error)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        error = ENAMETOOLONG;
        return nullptr;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    linkport::FileDescriptor fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        error = errno;
        return nullptr;
    }
    if (connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = errno;
        return nullptr;
    }
    error = 0;
    return std::unique_ptr<SimulatorTransport>(new SimulatorTransport(std::move(fd)));
}

SimulatorTransport::SimulatorTransport(linkport::FileDescriptor fd) : fd(std::move(fd)) {}

SimulatorTransport::~SimulatorTransport() = default;

void SimulatorTransport::drop()
{
    fd.reset();
}

bool SimulatorTransport::sendAll(const uint8_t* data, size_t size)
{
    while (size > 0) {
        ssize_t sent = send(fd.get(), data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool SimulatorTransport::receiveAll(uint8_t* data, size_t size, int64_t deadline)
{
    while (size > 0) {
        const int64_t left = deadline - nowMs();
        if (left <= 0)
            return false;
        pollfd pfd{fd.get(), POLLIN, 0};
        int ready = poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        ssize_t got = recv(fd.get(), data, size, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

int SimulatorTransport::exchange(const std::vector<uint8_t>& request, std::vector<uint8_t>& reply)
{
    reply.clear();
    if (!fd.valid() || request.empty() || request.size() > LINKHIDSIM_MAX_PAYLOAD)
        return -1;
    uint8_t header[kLengthBytes];
    const uint32_t length = static_cast<uint32_t>(request.size());
    for (size_t i = 0; i < kLengthBytes; ++i)
        header[i] = static_cast<uint8_t>(length >> (8 * i));
    if (!sendAll(header, sizeof header) || !sendAll(request.data(), request.size())) {
        drop();
        return -1;
    }
    const int64_t deadline = nowMs() + kReplyTimeoutMs;
    if (!receiveAll(header, sizeof header, deadline)) {
        drop();
        return -1;
    }
    uint32_t replyLength = 0;
    for (size_t i = 0; i < kLengthBytes; ++i)
        replyLength |= static_cast<uint32_t>(header[i]) << (8 * i);
    if (replyLength < kReplyHeaderBytes || replyLength > LINKHIDSIM_MAX_PAYLOAD) {
        drop();
        return -1;
    }
    std::vector<uint8_t> payload(replyLength);
    if (!receiveAll(payload.data(), payload.size(), deadline) || payload[0] != request[0]) {
        drop();
        return -1;
    }
    reply.assign(payload.begin() + kReplyHeaderBytes, payload.end());
    return payload[1];
}

bool SimulatorTransport::readDescriptor(std::vector<uint8_t>& descriptor)
{
    std::vector<uint8_t> reply;
    if (exchange({LINKHIDSIM_OP_DESCRIPTOR}, reply) != LINKHIDSIM_OK)
        return false;
    descriptor = std::move(reply);
    return true;
}

void SimulatorTransport::readNames(std::string& manufacturer, std::string& product)
{
    manufacturer.clear();
    product.clear();
    std::vector<uint8_t> reply;
    constexpr size_t kIdBytes = 4; // vendor and product id, not needed here
    if (exchange({LINKHIDSIM_OP_INFO}, reply) != LINKHIDSIM_OK || reply.size() < kIdBytes)
        return;
    size_t pos = kIdBytes;
    manufacturer = takeText(reply, pos);
    product = takeText(reply, pos);
}

int SimulatorTransport::getFeature(uint8_t* report, size_t length)
{
    if (!report || length == 0 || length > 0xFFFF)
        return -1;
    std::vector<uint8_t> reply;
    const std::vector<uint8_t> request = {LINKHIDSIM_OP_GET_FEATURE, report[0], static_cast<uint8_t>(length),
                                          static_cast<uint8_t>(length >> 8)};
    if (exchange(request, reply) != LINKHIDSIM_OK)
        return -1;
    // Another report's data, or more than asked for, is not an answer to this request.
    if (reply.empty() || reply[0] != report[0] || reply.size() > length)
        return -1;
    std::memcpy(report, reply.data(), reply.size());
    return static_cast<int>(reply.size());
}

bool SimulatorTransport::setFeature(const uint8_t* report, size_t length)
{
    if (!report || length == 0 || length + 1 > LINKHIDSIM_MAX_PAYLOAD)
        return false;
    std::vector<uint8_t> request;
    request.reserve(length + 1);
    request.push_back(LINKHIDSIM_OP_SET_FEATURE);
    request.insert(request.end(), report, report + length);
    std::vector<uint8_t> reply;
    return exchange(request, reply) == LINKHIDSIM_OK;
}

} // namespace linkhid
