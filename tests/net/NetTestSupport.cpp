#include "net/NetTestSupport.h"

#include "settings/Trim.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/sockios.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace varnel::test {

namespace {

constexpr int peerReadTimeoutMs = 5000;

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Client ports whose scripted peer has gone silent for good.
std::mutex silentMutex;
std::set<std::uint16_t> silentPorts;

std::uint16_t portOf(int fd, bool peer)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    const int failed = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length)
                            : ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return failed != 0 || address.sin_family != AF_INET ? 0 : ntohs(address.sin_port);
}

// Marks the connection silent once the client's end has acknowledged every byte
// sent to it: from then on a client that polls it and finds nothing will never
// find anything.
class SilenceMark {
public:
    explicit SilenceMark(int fd) : fd(fd) {}
    ~SilenceMark()
    {
        if (port != 0) {
            const std::lock_guard<std::mutex> lock(silentMutex);
            silentPorts.erase(port);
        }
    }
    SilenceMark(const SilenceMark&) = delete;
    SilenceMark& operator=(const SilenceMark&) = delete;

    void markOnceDrained()
    {
        int unacknowledged = 0;
        if (port != 0 || ::ioctl(fd, SIOCOUTQ, &unacknowledged) != 0 || unacknowledged != 0)
            return;
        port = portOf(fd, true);
        const std::lock_guard<std::mutex> lock(silentMutex);
        silentPorts.insert(port);
    }

private:
    int fd;
    std::uint16_t port = 0;
};

bool allSilent(const SocketPollEntry* entries, std::size_t count)
{
    const std::lock_guard<std::mutex> lock(silentMutex);
    for (std::size_t i = 0; i < count; ++i)
        if (!entries[i].wantRead || entries[i].wantWrite ||
            silentPorts.count(portOf(static_cast<int>(entries[i].socket), false)) == 0)
            return false;
    return count > 0;
}

} // namespace

// ---- TestPeer
// -----------------------------------------------------------------------------------------------

TestPeer::~TestPeer()
{
    close();
}

TestPeer::TestPeer(TestPeer&& other) noexcept
    : fd(std::exchange(other.fd, -1)), pending(std::move(other.pending))
{
}

TestPeer& TestPeer::operator=(TestPeer&& other) noexcept
{
    if (this != &other) {
        close();
        fd = std::exchange(other.fd, -1);
        pending = std::move(other.pending);
    }
    return *this;
}

TestPeer TestPeer::connectTo(std::uint16_t port)
{
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    if (s >= 0 && ::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(s);
        s = -1;
    }
    return TestPeer(s);
}

bool TestPeer::send(const std::string& bytes)
{
    std::size_t done = 0;
    while (fd >= 0 && done < bytes.size()) {
        const ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        done += static_cast<std::size_t>(sent);
    }
    return fd >= 0;
}

bool TestPeer::fill(int timeoutMs)
{
    if (fd < 0)
        return false;
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, timeoutMs) <= 0)
        return false;
    char block[65536];
    const ssize_t got = ::recv(fd, block, sizeof block, 0);
    if (got <= 0)
        return false;
    pending.append(block, static_cast<std::size_t>(got));
    return true;
}

std::string TestPeer::readLine()
{
    std::size_t end;
    while ((end = pending.find('\n')) == std::string::npos)
        if (!fill(peerReadTimeoutMs))
            return std::exchange(pending, std::string());
    std::string line = pending.substr(0, end + 1);
    pending.erase(0, end + 1);
    return line;
}

std::string TestPeer::readBytes(std::size_t count)
{
    while (pending.size() < count)
        if (!fill(peerReadTimeoutMs))
            break;
    std::string bytes = pending.substr(0, count);
    pending.erase(0, bytes.size());
    return bytes;
}

std::string TestPeer::readAll()
{
    while (fill(peerReadTimeoutMs)) {
    }
    return std::exchange(pending, std::string());
}

bool TestPeer::waitForClose(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    SilenceMark silence(fd);
    while (fd >= 0 && std::chrono::steady_clock::now() < deadline) {
        silence.markOnceDrained();
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 50) <= 0)
            continue;
        char block[4096];
        const ssize_t got = ::recv(fd, block, sizeof block, 0);
        if (got <= 0)
            return true;
        pending.append(block, static_cast<std::size_t>(got));
    }
    return false;
}

void TestPeer::close()
{
    if (fd >= 0)
        ::close(std::exchange(fd, -1));
}

void TestPeer::reset()
{
    if (fd < 0)
        return;
    const linger abort{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close();
}

// ---- TestListener
// -------------------------------------------------------------------------------------------

TestListener::TestListener() : fd(::socket(AF_INET, SOCK_STREAM, 0))
{
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd, 8) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        boundPort = ntohs(address.sin_port);
}

TestListener::~TestListener()
{
    if (fd >= 0)
        ::close(fd);
}

TestPeer TestListener::accept(int timeoutMs)
{
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, timeoutMs) <= 0)
        return TestPeer();
    return TestPeer(::accept(fd, nullptr, nullptr));
}

std::string TestListener::pasvNumbers() const
{
    return "127,0,0,1," + std::to_string(boundPort >> 8) + "," + std::to_string(boundPort & 0xFF);
}

// ---- ScriptedServer
// -----------------------------------------------------------------------------------------

ScriptedServer::ScriptedServer(Script script, int connections)
    : worker([this, script = std::move(script), connections] {
          for (int i = 0; i < connections; ++i) {
              TestPeer peer = listener.accept();
              if (!peer.valid())
                  return;
              script(peer);
          }
      })
{
}

ScriptedServer::~ScriptedServer()
{
    join();
}

void ScriptedServer::join()
{
    if (worker.joinable())
        worker.join();
}

// ---- FaultySocketApi
// ----------------------------------------------------------------------------------------

FaultySocketApi::FaultySocketApi() : previous(SocketApi::install(this)) {}

FaultySocketApi::~FaultySocketApi()
{
    SocketApi::install(previous);
}

bool FaultySocketApi::interruptNow()
{
    return interruptEvery > 0 && ++calls % interruptEvery == 0;
}

SocketDescriptor FaultySocketApi::openTcp()
{
    if (failOpen)
        return invalidSocket;
    const SocketDescriptor s = SystemSocketApi::openTcp();
    if (s != invalidSocket) {
        ++opened;
        newSockets.push_back(s);
    }
    return s;
}

bool FaultySocketApi::setReuseAddress(SocketDescriptor socket)
{
    return !failReuse && SystemSocketApi::setReuseAddress(socket);
}

SocketError FaultySocketApi::connect(SocketDescriptor socket, const Ipv4Endpoint& peer)
{
    connectAttempts.push_back(peer);
    unsigned char first = 0;
    std::memcpy(&first, &peer.address, 1);
    if (refuseConnectsTo10 && first == 10)
        return SocketError::Other;
    return SystemSocketApi::connect(socket, peer);
}

SocketIoResult FaultySocketApi::send(SocketDescriptor socket, const void* data, std::size_t size)
{
    if (interruptNow())
        return {-1, SocketError::Interrupted};
    if (blocksLeft > 0) {
        --blocksLeft;
        return {-1, SocketError::WouldBlock};
    }
    blocksLeft = wouldBlockBeforeEachCall;
    if (maxSendChunk > 0 && size > maxSendChunk)
        size = maxSendChunk;
    return SystemSocketApi::send(socket, data, size);
}

SocketIoResult FaultySocketApi::receive(SocketDescriptor socket, void* data, std::size_t capacity)
{
    if (interruptNow())
        return {-1, SocketError::Interrupted};
    if (blocksLeft > 0) {
        --blocksLeft;
        return {-1, SocketError::WouldBlock};
    }
    blocksLeft = wouldBlockBeforeEachCall;
    if (resetOnlyNewSockets && std::find(newSockets.begin(), newSockets.end(), socket) == newSockets.end())
        return SystemSocketApi::receive(socket, data, capacity);
    if (resetAfterReceived >= 0 && received >= resetAfterReceived)
        return {-1, SocketError::Reset};
    if (maxReceiveChunk > 0 && capacity > maxReceiveChunk)
        capacity = maxReceiveChunk;
    if (resetAfterReceived >= 0 && capacity > static_cast<std::size_t>(resetAfterReceived - received))
        capacity = static_cast<std::size_t>(resetAfterReceived - received);
    const SocketIoResult result = SystemSocketApi::receive(socket, data, capacity);
    if (result.count > 0)
        received += result.count;
    return result;
}

PollOutcome FaultySocketApi::poll(SocketPollEntry* entries, std::size_t count, int timeoutMs)
{
    if (interruptNow())
        return PollOutcome::Interrupted;
    return SystemSocketApi::poll(entries, count, timeoutMs);
}

// ---- SilentPeerClock
// ---------------------------------------------------------------------------------------

SilentPeerClock::SilentPeerClock()
    : start(std::chrono::steady_clock::now()), clock([this] { return now(); }),
      previous(SocketApi::install(this))
{
}

SilentPeerClock::~SilentPeerClock()
{
    SocketApi::install(previous);
}

std::chrono::steady_clock::time_point SilentPeerClock::now() const
{
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(skippedMs.load());
}

std::chrono::milliseconds SilentPeerClock::elapsed() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(now() - start);
}

PollOutcome SilentPeerClock::poll(SocketPollEntry* entries, std::size_t count, int timeoutMs)
{
    constexpr int sliceMs = 10;
    for (;;) {
        // Silence is read before the look at the sockets: a peer marked silent
        // has nothing left in flight, so an empty look then is final.
        const bool silent = allSilent(entries, count);
        const PollOutcome outcome = SystemSocketApi::poll(entries, count, 0);
        if (outcome != PollOutcome::TimedOut || timeoutMs <= 0)
            return outcome;
        if (silent) {
            skippedMs += timeoutMs;
            return PollOutcome::TimedOut;
        }
        const int slice = std::min(timeoutMs, sliceMs);
        const PollOutcome waited = SystemSocketApi::poll(entries, count, slice);
        if (waited != PollOutcome::TimedOut)
            return waited;
        timeoutMs -= slice;
    }
}

void FaultySocketApi::close(SocketDescriptor socket)
{
    ++closed;
    SystemSocketApi::close(socket);
}

// ---- ServerProcess
// ------------------------------------------------------------------------------------------

ServerProcess::ServerProcess(const std::vector<std::string>& argv, const std::filesystem::path& logFile)
{
    if (argv.empty() || access(argv[0].c_str(), X_OK) != 0)
        return;
    std::vector<char*> args;
    for (const auto& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid = fork();
    if (pid == 0) {
        const int log = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (log >= 0) {
            dup2(log, 1);
            dup2(log, 2);
        }
        setpgid(0, 0);
        execv(args[0], args.data());
        _exit(127);
    }
}

ServerProcess::~ServerProcess()
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        usleep(20000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

bool ServerProcess::waitUntilListening(std::uint16_t port, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (pid > 0 && std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return false;
        }
        if (TestPeer::connectTo(port).valid())
            return true;
        usleep(20000);
    }
    return false;
}

// ---- helpers
// ------------------------------------------------------------------------------------------------

std::uint16_t freeLoopbackPort()
{
    TestListener probe;
    return probe.port();
}

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::string expectedBodyLines(const std::string& content)
{
    std::istringstream in(content);
    std::string result;
    for (std::string line; std::getline(in, line);) {
        const std::string trimmed = trim(line);
        if (!trimmed.empty())
            result += trimmed + "\r\n";
        else if (!result.empty())
            result += "\r\n";
    }
    return result;
}

std::string withoutCarriageReturns(std::string content)
{
    std::erase(content, '\r');
    return content;
}

} // namespace varnel::test
