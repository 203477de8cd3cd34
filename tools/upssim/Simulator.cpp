#include "Simulator.h"

#include "FramedUnit.h"
#include "TextUnit.h"

#include "linkhidsim.h"
#include "serialline.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace varnel::upssim {

namespace {

// A byte on the units' line with its start and stop bits (no parity bit).
constexpr double kPacedByteMs =
    (1.0 + SERIAL_LINE_DATA_BITS + SERIAL_LINE_STOP_BITS) * 1000.0 / SERIAL_LINE_BAUD;
// A request left unfinished this long is dropped, as a unit's receive timer would.
constexpr double kPartialRequestMs = 1000.0;
constexpr int kMaxConnections = 16;
constexpr std::size_t kReadChunk = 4096;
// What a Windows linkhid takes as its LINKHID_SIMULATORS: host:port entries, ';' between them.
const char* const kTcpListEnv = "LINKHID_SIMULATORS_TCP";

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] ssize_t ignored = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

std::string shellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool setNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

std::string errnoText(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

} // namespace

bool Simulator::installSignalHandlers(std::string& error)
{
    if (signalPipe[0] < 0 && pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = errnoText("cannot create the signal pipe");
        return false;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return true;
}

Simulator::Simulator(SimulatorOptions options)
    : options(std::move(options)), started(std::chrono::steady_clock::now())
{
}

Simulator::~Simulator()
{
    cleanUp();
}

double Simulator::nowMs() const
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
}

bool Simulator::claimPath(const std::string& path, std::string& error)
{
    if (std::find(created.begin(), created.end(), path) != created.end()) {
        error = "two units would share " + path + "; rename one";
        return false;
    }
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0) {
        // Left behind by a run that was killed: ours to replace. Anything else is not.
        if (!S_ISLNK(info.st_mode) && !S_ISSOCK(info.st_mode)) {
            error = path + " exists and is neither a link nor a socket; not replacing it";
            return false;
        }
        if (unlink(path.c_str()) != 0) {
            error = errnoText("cannot remove the stale " + path);
            return false;
        }
    }
    return true;
}

bool Simulator::openSerial(const UnitConfig& config, std::string& error)
{
    auto endpoint = std::make_unique<SerialEndpoint>();
    endpoint->state = std::make_unique<UnitState>(config, journal.get());
    if (config.protocol == UnitProtocol::Framed)
        endpoint->unit = std::make_unique<FramedUnit>(*endpoint->state, journal.get());
    else
        endpoint->unit = std::make_unique<TextUnit>(*endpoint->state, journal.get());

    endpoint->master = linkport::FileDescriptor(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!endpoint->master.valid() || grantpt(endpoint->master.get()) != 0 ||
        unlockpt(endpoint->master.get()) != 0 || !setNonBlocking(endpoint->master.get())) {
        error = errnoText("cannot create a pseudo-terminal for unit '" + config.name + "'");
        return false;
    }
    const char* device = ptsname(endpoint->master.get());
    if (!device) {
        error = errnoText("no pseudo-terminal name for unit '" + config.name + "'");
        return false;
    }
    endpoint->device = device;
    endpoint->slave = linkport::FileDescriptor(::open(device, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    termios tio{};
    if (!endpoint->slave.valid() || tcgetattr(endpoint->slave.get(), &tio) != 0) {
        error = errnoText("cannot open " + endpoint->device);
        return false;
    }
    // A line in cooked mode would echo the unit's replies back to it as requests.
    cfmakeraw(&tio);
    tcsetattr(endpoint->slave.get(), TCSANOW, &tio);

    endpoint->link = directory + "/" + config.name;
    if (!claimPath(endpoint->link, error))
        return false;
    if (symlink(device, endpoint->link.c_str()) != 0) {
        error = errnoText("cannot create the link " + endpoint->link);
        return false;
    }
    created.push_back(endpoint->link);
    serials.push_back(std::move(endpoint));
    return true;
}

bool Simulator::openHid(const UnitConfig& config, std::string& error)
{
    auto endpoint = std::make_unique<HidEndpoint>();
    endpoint->state = std::make_unique<UnitState>(config, journal.get());
    endpoint->unit = std::make_unique<HidUnit>(*endpoint->state, journal.get(), reports);
    endpoint->path = directory + "/" + config.name + ".sock";
    sockaddr_un address{};
    if (endpoint->path.size() >= sizeof address.sun_path) {
        error = "socket path " + endpoint->path + " is too long; choose a shorter --dir";
        return false;
    }
    if (!claimPath(endpoint->path, error))
        return false;
    endpoint->listener =
        linkport::FileDescriptor(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, endpoint->path.c_str(), endpoint->path.size() + 1);
    if (!endpoint->listener.valid() ||
        bind(endpoint->listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = errnoText("cannot bind " + endpoint->path);
        return false;
    }
    created.push_back(endpoint->path);
    if (listen(endpoint->listener.get(), kMaxConnections) != 0) {
        error = errnoText("cannot listen on " + endpoint->path);
        return false;
    }
    if (options.hidTcp && !listenTcp(*endpoint, error))
        return false;
    hids.push_back(std::move(endpoint));
    return true;
}

// An ephemeral port, so parallel runs never collide; loopback only, as the units accept anyone.
bool Simulator::listenTcp(HidEndpoint& endpoint, std::string& error)
{
    const std::string unit = "unit '" + endpoint.state->name() + "'";
    endpoint.tcpListener =
        linkport::FileDescriptor(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    if (!endpoint.tcpListener.valid() ||
        bind(endpoint.tcpListener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(endpoint.tcpListener.get(), kMaxConnections) != 0 ||
        getsockname(endpoint.tcpListener.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        error = errnoText("cannot listen on loopback TCP for " + unit);
        return false;
    }
    endpoint.tcpAddress = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    return true;
}

std::string Simulator::environment() const
{
    std::string serialList;
    for (const auto& endpoint : serials)
        serialList += (serialList.empty() ? "" : ":") + endpoint->link;
    std::string hidList;
    for (const auto& endpoint : hids)
        hidList += (hidList.empty() ? "" : ":") + endpoint->path;
    std::string lines = "export LINKSERIAL_PORTS=" + shellQuote(serialList) + "\n" + "export " +
                        LINKHIDSIM_ENV + "=" + shellQuote(hidList) + "\n";
    if (options.hidTcp) {
        std::string tcpList;
        for (const auto& endpoint : hids)
            tcpList += (tcpList.empty() ? "" : ";") + endpoint->tcpAddress;
        lines += std::string("export ") + kTcpListEnv + "=" + shellQuote(tcpList) + "\n";
    }
    return lines;
}

bool Simulator::writeReady(std::string& error)
{
    if (options.readyFile.empty())
        return true;
    // Written whole under another name and renamed, so a watcher never reads half of it.
    const std::string temporary = options.readyFile + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << "# upssim pid " << getpid() << "\n" << environment();
        if (!out.flush()) {
            error = "cannot write " + temporary;
            return false;
        }
    }
    if (std::rename(temporary.c_str(), options.readyFile.c_str()) != 0) {
        error = errnoText("cannot write " + options.readyFile);
        std::remove(temporary.c_str());
        return false;
    }
    readyWritten = true;
    return true;
}

bool Simulator::start(const std::vector<UnitConfig>& units, std::ostream& out, std::string& error)
{
    std::error_code failure;
    std::filesystem::create_directories(options.directory, failure);
    const std::filesystem::path absolute = std::filesystem::canonical(options.directory, failure);
    if (failure) {
        error = "cannot use the directory " + options.directory + ": " + failure.message();
        return false;
    }
    directory = absolute.string();
    if (directory.find(':') != std::string::npos) {
        error = "the directory " + directory + " contains ':', which the environment lists cannot carry";
        return false;
    }
    if (!options.journalFile.empty()) {
        journalFile.open(options.journalFile, std::ios::trunc);
        if (!journalFile) {
            error = "cannot write the journal " + options.journalFile;
            return false;
        }
        journal = std::make_unique<Journal>(journalFile, [this] { return nowMs(); });
    }
    for (const UnitConfig& unit : units) {
        const bool ok = unit.protocol == UnitProtocol::Hid ? openHid(unit, error) : openSerial(unit, error);
        if (!ok)
            return false;
    }
    for (const auto& endpoint : serials)
        out << "# unit '" << endpoint->state->name() << "' ("
            << protocolName(endpoint->state->values().protocol) << ") at " << endpoint->link << " -> "
            << endpoint->device << "\n";
    for (const auto& endpoint : hids)
        out << "# unit '" << endpoint->state->name() << "' (hid) at " << endpoint->path
            << (endpoint->tcpAddress.empty() ? "" : " and " + endpoint->tcpAddress) << "\n";
    out << environment() << std::flush;
    return writeReady(error);
}

void Simulator::cleanUp()
{
    for (const std::string& path : created)
        unlink(path.c_str());
    created.clear();
    if (readyWritten)
        std::remove(options.readyFile.c_str());
    readyWritten = false;
}

void Simulator::serialInput(SerialEndpoint& endpoint)
{
    uint8_t buffer[kReadChunk];
    for (;;) {
        const ssize_t n = ::read(endpoint.master.get(), buffer, sizeof buffer);
        if (n <= 0)
            break;
        const double now = nowMs();
        endpoint.lastInputMs = now;
        for (SerialAnswer& answer : endpoint.unit->receive(buffer, std::size_t(n))) {
            if (answer.reply.empty())
                continue;
            Chunk chunk;
            chunk.bytes = std::move(answer.reply);
            chunk.startMs = now;
            if (options.pace2400) {
                // The request took its time on the line, and so does the reply.
                chunk.startMs = now + double(answer.requestSize) * kPacedByteMs;
                if (!endpoint.out.empty()) {
                    const Chunk& last = endpoint.out.back();
                    chunk.startMs =
                        std::max(chunk.startMs, last.startMs + double(last.bytes.size()) * kPacedByteMs);
                }
            }
            endpoint.out.push_back(std::move(chunk));
        }
    }
}

void Simulator::serialOutput(SerialEndpoint& endpoint)
{
    const double now = nowMs();
    while (!endpoint.out.empty()) {
        Chunk& chunk = endpoint.out.front();
        std::size_t due = chunk.bytes.size();
        if (options.pace2400) {
            if (now < chunk.startMs)
                return;
            due = std::min(chunk.bytes.size(), std::size_t((now - chunk.startMs) / kPacedByteMs) + 1);
        }
        if (due > chunk.sent) {
            const ssize_t n =
                ::write(endpoint.master.get(), chunk.bytes.data() + chunk.sent, due - chunk.sent);
            if (n < 0 && errno == EAGAIN) {
                // Nobody is reading the line: like a UART, the unit does not wait for a listener.
                endpoint.out.clear();
                return;
            }
            if (n <= 0)
                return;
            chunk.sent += std::size_t(n);
        }
        if (chunk.sent < chunk.bytes.size())
            return;
        endpoint.out.pop_front();
    }
}

// Milliseconds until this line next needs attention, -1 for never.
int Simulator::serialTimeout(const SerialEndpoint& endpoint) const
{
    const double now = nowMs();
    double wait = -1;
    auto consider = [&](double at) {
        const double ms = std::max(0.0, at - now);
        wait = wait < 0 ? ms : std::min(wait, ms);
    };
    if (!endpoint.out.empty() && options.pace2400) {
        const Chunk& chunk = endpoint.out.front();
        consider(chunk.startMs + double(chunk.sent) * kPacedByteMs);
    }
    if (endpoint.unit->hasPartial())
        consider(endpoint.lastInputMs + kPartialRequestMs);
    return wait < 0 ? -1 : int(std::ceil(wait));
}

void Simulator::accept(HidEndpoint& endpoint, int listener)
{
    for (;;) {
        linkport::FileDescriptor fd(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!fd.valid())
            return;
        if (endpoint.connections.size() >= std::size_t(kMaxConnections))
            continue; // closed at once: the client sees the refusal
        auto connection = std::make_unique<Connection>();
        connection->fd = std::move(fd);
        endpoint.connections.push_back(std::move(connection));
    }
}

void Simulator::connectionInput(HidEndpoint& endpoint, Connection& connection)
{
    uint8_t buffer[kReadChunk];
    const ssize_t n = ::read(connection.fd.get(), buffer, sizeof buffer);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        connection.closing = true;
        connection.out.clear();
        return;
    }
    if (n < 0)
        return;
    if (!connection.wire.feed(buffer, std::size_t(n))) {
        connection.closing = true;
        return;
    }
    std::vector<uint8_t> request;
    std::vector<uint8_t> reply;
    while (connection.wire.next(request)) {
        const HidUnit::Outcome outcome = endpoint.unit->handle(request, reply);
        if (outcome == HidUnit::Outcome::Close) {
            connection.closing = true;
            return;
        }
        if (outcome == HidUnit::Outcome::Reply) {
            const std::vector<uint8_t> encoded = HidWire::encode(reply);
            connection.out.insert(connection.out.end(), encoded.begin(), encoded.end());
        }
    }
    connectionOutput(connection);
}

void Simulator::connectionOutput(Connection& connection)
{
    while (!connection.out.empty()) {
        const ssize_t n =
            ::send(connection.fd.get(), connection.out.data(), connection.out.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                connection.out.clear();
                connection.closing = true;
            }
            return;
        }
        connection.out.erase(connection.out.begin(), connection.out.begin() + n);
    }
}

void Simulator::run()
{
    for (;;) {
        std::vector<pollfd> fds;
        fds.push_back({signalPipe[0], POLLIN, 0});
        int timeout = -1;
        for (auto& endpoint : serials) {
            if (endpoint->unit->hasPartial() && nowMs() - endpoint->lastInputMs >= kPartialRequestMs)
                endpoint->unit->discardPartial();
            serialOutput(*endpoint);
            const int events = POLLIN | (endpoint->out.empty() || options.pace2400 ? 0 : POLLOUT);
            fds.push_back({endpoint->master.get(), static_cast<short>(events), 0});
            const int wait = serialTimeout(*endpoint);
            if (wait >= 0)
                timeout = timeout < 0 ? wait : std::min(timeout, wait);
        }
        for (auto& endpoint : hids) {
            auto& list = endpoint->connections;
            list.erase(std::remove_if(list.begin(), list.end(),
                                      [](const auto& c) { return c->closing && c->out.empty(); }),
                       list.end());
            fds.push_back({endpoint->listener.get(), POLLIN, 0});
            if (endpoint->tcpListener.valid())
                fds.push_back({endpoint->tcpListener.get(), POLLIN, 0});
            for (auto& connection : list) {
                const int events =
                    (connection->closing ? 0 : POLLIN) | (connection->out.empty() ? 0 : POLLOUT);
                fds.push_back({connection->fd.get(), static_cast<short>(events), 0});
            }
        }
        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
            return;
        if (fds[0].revents & POLLIN)
            return;
        std::size_t at = 1;
        for (auto& endpoint : serials) {
            const pollfd& p = fds[at++];
            if (p.revents & POLLIN)
                serialInput(*endpoint);
        }
        for (auto& endpoint : hids) {
            if (fds[at++].revents & POLLIN)
                accept(*endpoint, endpoint->listener.get());
            if (endpoint->tcpListener.valid() && (fds[at++].revents & POLLIN))
                accept(*endpoint, endpoint->tcpListener.get());
            for (auto& connection : endpoint->connections) {
                if (at >= fds.size() || fds[at].fd != connection->fd.get())
                    break; // accepted just now: polled next round
                const short revents = fds[at++].revents;
                if (revents & POLLOUT)
                    connectionOutput(*connection);
                if (revents & (POLLIN | POLLHUP | POLLERR))
                    connectionInput(*endpoint, *connection);
            }
        }
    }
}

} // namespace varnel::upssim
