#include "SimulatorTransport.h"

#include "linkhidsim.h"

#include <chrono>
#include <cstring>
#include <utility>

namespace linkhid {

namespace {

constexpr size_t kLengthBytes = 4;
constexpr size_t kReplyHeaderBytes = 2; // opcode, status

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
    SimulatorSocket socket;
    if (!socket.open(path, error))
        return nullptr;
    return std::unique_ptr<SimulatorTransport>(new SimulatorTransport(std::move(socket)));
}

SimulatorTransport::SimulatorTransport(SimulatorSocket socket) : socket(std::move(socket)) {}

SimulatorTransport::~SimulatorTransport() = default;

int SimulatorTransport::exchange(const std::vector<uint8_t>& request, std::vector<uint8_t>& reply)
{
    reply.clear();
    if (!socket.connected() || request.empty() || request.size() > LINKHIDSIM_MAX_PAYLOAD)
        return -1;
    uint8_t header[kLengthBytes];
    const uint32_t length = static_cast<uint32_t>(request.size());
    for (size_t i = 0; i < kLengthBytes; ++i)
        header[i] = static_cast<uint8_t>(length >> (8 * i));
    if (!socket.sendAll(header, sizeof header) || !socket.sendAll(request.data(), request.size())) {
        socket.close();
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
    if (!socket.receiveAll(header, sizeof header, deadline)) {
        socket.close();
        return -1;
    }
    uint32_t replyLength = 0;
    for (size_t i = 0; i < kLengthBytes; ++i)
        replyLength |= static_cast<uint32_t>(header[i]) << (8 * i);
    if (replyLength < kReplyHeaderBytes || replyLength > LINKHIDSIM_MAX_PAYLOAD) {
        socket.close();
        return -1;
    }
    std::vector<uint8_t> payload(replyLength);
    if (!socket.receiveAll(payload.data(), payload.size(), deadline) || payload[0] != request[0]) {
        socket.close();
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
