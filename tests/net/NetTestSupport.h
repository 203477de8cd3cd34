#pragma once

#include "platform/Clock.h"
#include "platform/SystemSocketApi.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace varnel::test {

// One end of a loopback TCP connection on the scripted server's side. Every
// read gives up after a few seconds, so a broken client cannot hang a test.
class TestPeer {
public:
    explicit TestPeer(int fd = -1) : fd(fd) {}
    ~TestPeer();
    TestPeer(TestPeer&& other) noexcept;
    TestPeer& operator=(TestPeer&& other) noexcept;

    static TestPeer connectTo(std::uint16_t port);
    bool valid() const { return fd >= 0; }
    // False once the client has gone (closed or reset its end).
    bool send(const std::string& bytes);
    // A line including its line feed, or what came before the peer closed.
    std::string readLine();
    std::string readBytes(std::size_t count);
    // Everything until the client closes its end.
    std::string readAll();
    // True when the client closed (or reset) its end within the time allowed.
    bool waitForClose(int timeoutMs = 5000);
    void close();
    // Closes with SO_LINGER at zero, so the client gets a reset instead of an orderly end.
    void reset();

private:
    bool fill(int timeoutMs);
    int fd;
    std::string pending;
};

// A listening socket on 127.0.0.1 with a port chosen by the system.
class TestListener {
public:
    TestListener();
    ~TestListener();
    TestListener(const TestListener&) = delete;
    TestListener& operator=(const TestListener&) = delete;

    std::uint16_t port() const { return boundPort; }
    TestPeer accept(int timeoutMs = 5000);
    // "127,0,0,1,p1,p2" as a PASV reply names this listener.
    std::string pasvNumbers() const;

private:
    int fd = -1;
    std::uint16_t boundPort = 0;
};

// A server on a test thread that plays one script against each connection it accepts.
class ScriptedServer {
public:
    using Script = std::function<void(TestPeer&)>;
    explicit ScriptedServer(Script script, int connections = 1);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t port() const { return listener.port(); }
    // Waits for the script to finish.
    void join();

private:
    TestListener listener;
    std::thread worker;
};

// The system's sockets with faults put in on demand; counts opens and closes.
class FaultySocketApi : public SystemSocketApi {
public:
    FaultySocketApi();
    ~FaultySocketApi() override;

    std::size_t maxSendChunk = 0;         // cut every send to this many bytes (0: no limit)
    std::size_t maxReceiveChunk = 0;      // likewise for receives
    int interruptEvery = 0;               // every n-th send, receive and poll fails with EINTR
    int wouldBlockBeforeEachCall = 0;     // would-block answers before every real send or receive
    std::int64_t resetAfterReceived = -1; // receives fail with a reset once this many bytes came in
    bool resetOnlyNewSockets = false;     // count and reset only sockets opened after installing
    bool failOpen = false;
    bool failReuse = false;
    std::vector<Ipv4Endpoint> connectAttempts;
    bool refuseConnectsTo10 = true; // connects to 10.x.x.x fail at once, the network is not ours

    std::atomic<int> opened{0};
    std::atomic<int> closed{0};

    SocketDescriptor openTcp() override;
    bool setReuseAddress(SocketDescriptor socket) override;
    SocketError connect(SocketDescriptor socket, const Ipv4Endpoint& peer) override;
    SocketIoResult send(SocketDescriptor socket, const void* data, std::size_t size) override;
    SocketIoResult receive(SocketDescriptor socket, void* data, std::size_t capacity) override;
    PollOutcome poll(SocketPollEntry* entries, std::size_t count, int timeoutMs) override;
    void close(SocketDescriptor socket) override;

private:
    bool interruptNow();
    int calls = 0;
    int blocksLeft = 0;
    std::int64_t received = 0;
    std::vector<SocketDescriptor> newSockets;
    SocketApi* previous;
};

// The real clock, except that a wait on connections whose scripted peers are
// silent for good (inside TestPeer::waitForClose, with all they sent taken in
// by the client's end) passes at once. A wait for bytes a peer may still send
// runs in real time, so a loaded machine cannot make a limit pass too early.
class SilentPeerClock : public SystemSocketApi {
public:
    SilentPeerClock();
    ~SilentPeerClock() override;

    PollOutcome poll(SocketPollEntry* entries, std::size_t count, int timeoutMs) override;
    // Time on this clock since it was installed, the skipped waits included.
    std::chrono::milliseconds elapsed() const;

private:
    std::chrono::steady_clock::time_point now() const;
    std::chrono::steady_clock::time_point start;
    std::atomic<std::int64_t> skippedMs{0};
    ScopedClockHandler clock;
    SocketApi* previous;
};

// A server program run as a child of the test and always stopped with it.
class ServerProcess {
public:
    ServerProcess(const std::vector<std::string>& argv, const std::filesystem::path& logFile);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    bool running() const { return pid > 0; }
    // Waits until the port takes connections (or the child died).
    bool waitUntilListening(std::uint16_t port, int timeoutMs = 10000);

private:
    pid_t pid = -1;
};

// A loopback port nobody listens on at the moment.
std::uint16_t freeLoopbackPort();

// CPU time of the calling thread, in seconds.
double threadCpuSeconds();

// What HttpClient::parseResponse makes of a body: trimmed lines with CR LF,
// leading blank lines dropped.
std::string expectedBodyLines(const std::string& content);

// The content with every carriage return taken out.
std::string withoutCarriageReturns(std::string content);

} // namespace varnel::test
