#include "net/FtpClient.h"

#include "net/TcpConnector.h"
#include "platform/SocketIo.h"
#include "settings/NumberText.h"
#include "settings/Trim.h"

#include <cstring>
#include <limits>
#include <string_view>

namespace varnel {

namespace {

constexpr std::size_t controlBlockSize = 1024;
constexpr std::size_t uploadBlockSize = 255;
// Downloads are read in large blocks: 255-byte reads cost a system call each and
// make a large file several times slower than other clients.
constexpr std::size_t downloadBlockSize = 64 * 1024;
constexpr std::size_t portTextSize = 256;
constexpr std::size_t replyCodeLength = 3;
constexpr std::size_t replyTextOffset = 4; // after the code and its separator
constexpr std::size_t pasvNumberCount = 6;

std::string textAfterCode(const std::string& line)
{
    return line.size() > replyTextOffset ? line.substr(replyTextOffset) : std::string();
}

bool isEmpty(const char* text)
{
    return text == nullptr || *text == '\0';
}

// Like "%u", modulo 2^32, but only spaces and tabs may lead and no sign is
// taken: a reply's numbers are unsigned and stand on one line.
constexpr NumberRule replyNumber{.blanks = NumberRule::Blanks::SpacesAndTabs,
                                 .past = NumberRule::Past::Wraps,
                                 .largest = std::numeric_limits<std::uint32_t>::max()};

// A byte of a PASV reply: a number that does not fit is a broken reply, not
// one to cut down to some other port.
constexpr NumberRule pasvNumber{.blanks = NumberRule::Blanks::SpacesAndTabs, .largest = 255};

// "h1,h2,h3,h4,p1,p2" as the PASV reply gives it.
bool parsePassiveAddress(std::string_view text, Ipv4Endpoint& endpoint)
{
    std::uint8_t numbers[pasvNumberCount];
    std::size_t position = 0;
    for (std::size_t i = 0; i < pasvNumberCount; ++i) {
        const auto number = scanNumber(text, pasvNumber, position);
        if (!number)
            return false;
        numbers[i] = static_cast<std::uint8_t>(number->value);
        position = number->end;
        if (i + 1 < pasvNumberCount) {
            if (position >= text.size() || text[position] != ',')
                return false;
            ++position;
        }
    }
    std::memcpy(&endpoint.address, numbers, 4); // already in network order
    endpoint.port = static_cast<std::uint16_t>(numbers[4] << 8 | numbers[5]);
    return true;
}

} // namespace

// ---- control connection
// -------------------------------------------------------------------------------------

bool FtpClient::writeControlSocket(const std::string& text)
{
    const TransferStatus status = controlSocket.valid()
                                      ? SocketIo::sendAll(controlSocket.get(), text, timeout, &bounds)
                                      : TransferStatus::Failed;
    if (status == TransferStatus::Failed)
        response = "Write error on socket";
    return status == TransferStatus::Done;
}

bool FtpClient::sendCommand(const char* word, const char* argument)
{
    std::string line = word;
    if (argument) {
        line += ' ';
        line += argument;
    }
    line += "\r\n";
    return writeControlSocket(line);
}

void FtpClient::refuseReply()
{
    response = "Reply from server refused: longer than " + std::to_string(replyLimit) + " bytes";
    controlBuffer.clear();
    replyRefused = true;
}

std::size_t FtpClient::readControlSocket()
{
    if (!controlSocket.valid()) {
        response = "Read error on socket";
        return controlBuffer.size();
    }
    char block[controlBlockSize];
    bool newlineSeen = controlBuffer.find('\n') != std::string::npos;
    InactivityClock clock(timeout, &bounds);
    while (!newlineSeen) {
        const TransferStep got = SocketIo::receiveSome(controlSocket.get(), block, sizeof block, clock);
        if (got.status == TransferStatus::Failed)
            response = "Read error on socket";
        if (got.status != TransferStatus::Done)
            break;
        if (controlBuffer.size() + got.count > replyLimit) {
            refuseReply();
            break;
        }
        controlBuffer.append(block, got.count);
        newlineSeen = std::memchr(block, '\n', got.count) != nullptr;
    }
    return controlBuffer.size();
}

void FtpClient::readControlLine(std::string& line)
{
    line.clear();
    if (controlBuffer.find('\n') == std::string::npos)
        readControlSocket();
    const std::size_t end = controlBuffer.find('\n');
    if (end == std::string::npos)
        return;
    line.assign(controlBuffer, 0, end + 1);
    controlBuffer.erase(0, end + 1);
}

void FtpClient::getControlResponse(std::string& reply)
{
    response.clear();
    reply.clear();
    replyRefused = false;
    std::string line;
    readControlLine(line);
    if (line.empty())
        return;
    reply = trim(line);
    response = textAfterCode(reply);
    if (reply.size() <= replyCodeLength || reply[replyCodeLength] != '-')
        return;
    const std::string header = reply.substr(0, replyCodeLength) + ' ';
    for (;;) {
        readControlLine(line);
        if (line.empty()) {
            if (replyRefused)
                reply.clear(); // a refused reply must not pass for a complete one
            else
                response.clear();
            return;
        }
        std::string next = trim(line);
        if (reply.size() + 1 + next.size() > replyLimit) {
            refuseReply();
            reply.clear();
            return;
        }
        reply += '\n';
        reply += next;
        response = textAfterCode(next);
        if (next.compare(0, header.size(), header) == 0)
            return;
    }
}

bool FtpClient::checkControlResponse(char expected, std::string* replyText)
{
    std::string reply;
    getControlResponse(reply);
    const bool ok = reply.size() > 2 && reply[0] == expected;
    if (replyText)
        *replyText = std::move(reply);
    return ok;
}

bool FtpClient::command(const char* word, const char* argument, char expected)
{
    return sendCommand(word, argument) && checkControlResponse(expected);
}

// ---- session
// --------------------------------------------------------------------------------------------------

bool FtpClient::Connect(const char* host, int port)
{
    // A second Connect replaces the earlier connections instead of leaking them.
    dataSocket.reset();
    listenSocket.reset();
    controlSocket.reset();
    controlBuffer.clear();
    const ConnectFailure failure =
        TcpConnector::open(host, port, timeout, controlSocket, &bounds, &controlPeer);
    if (failure != ConnectFailure::None) {
        response = TcpConnector::failureText(failure, host);
        return false;
    }
    return checkControlResponse('2');
}

bool FtpClient::Login(const char* user, const char* password)
{
    if (isEmpty(user)) {
        response = "User name for login is invalid";
        return false;
    }
    if (!sendCommand("USER", user))
        return false;
    std::string reply;
    getControlResponse(reply);
    if (reply.size() <= 2) {
        response = "Failed to receive response from server for USER command";
        return false;
    }
    if (reply[0] != '3')
        return reply[0] == '2';
    if (isEmpty(password)) {
        response = "Password for login is invalid";
        return false;
    }
    return command("PASS", password, '2');
}

void FtpClient::Quit()
{
    sendCommand("QUIT", nullptr);
    controlSocket.reset();
    controlBuffer.clear();
    listing.clear();
}

// ---- data connections
// ---------------------------------------------------------------------------------------

bool FtpClient::openDataConnection(bool passive)
{
    dataSocket.reset();
    listenSocket.reset();
    return passive ? openPassiveDataConnection() : openActiveDataConnection();
}

bool FtpClient::openPassiveDataConnection()
{
    if (!sendCommand("PASV", nullptr)) {
        response = "Failed to send PASV command";
        return false;
    }
    if (!checkControlResponse('2')) {
        response = "PASV Command failed";
        return false;
    }
    const std::size_t open = response.find('(');
    Ipv4Endpoint server;
    if (open == std::string::npos ||
        !parsePassiveAddress(std::string_view(response).substr(open + 1), server)) {
        response = "Invalid response sent to PASV command - " + response;
        return false;
    }
    // The address in the reply is the server's word only: a server behind NAT
    // names an address nobody can reach, a hostile one a third party. Only its
    // port is taken; the data connection goes where the control one went.
    server.address = controlPeer.address;
    SocketApi& api = SocketApi::current();
    SocketHandle data(api.openTcp());
    if (!data.valid() || !api.setReuseAddress(data.get()) || !api.setLingerOff(data.get()))
        return false;
    api.setNonBlocking(data.get());
    if (!SocketIo::connect(data.get(), server, timeout, &bounds))
        return false;
    dataSocket = std::move(data);
    return true;
}

bool FtpClient::openActiveDataConnection()
{
    SocketApi& api = SocketApi::current();
    Ipv4Endpoint local;
    if (!controlSocket.valid() || !api.localEndpoint(controlSocket.get(), local))
        return false;
    local.port = 0;
    SocketHandle listener(api.openTcp());
    Ipv4Endpoint listening;
    if (!listener.valid() || !api.setReuseAddress(listener.get()) || !api.setLingerOff(listener.get()) ||
        !api.bind(listener.get(), local) || !api.listen(listener.get(), 1) ||
        !api.localEndpoint(listener.get(), listening))
        return false;
    unsigned char address[4];
    std::memcpy(address, &listening.address, 4);
    char text[portTextSize];
    std::snprintf(text, sizeof text, "%d,%d,%d,%d,%d,%d", address[0], address[1], address[2], address[3],
                  listening.port >> 8, listening.port & 0xFF);
    if (!command("PORT", text, '2'))
        return false;
    // A server connects only after the transfer command, so the accept waits until then.
    listenSocket = std::move(listener);
    return true;
}

bool FtpClient::acceptDataConnection()
{
    if (!listenSocket.valid())
        return dataSocket.valid();
    SocketHandle listener = std::move(listenSocket);
    SocketPollEntry entries[2];
    entries[0].socket = controlSocket.get();
    entries[0].wantRead = true;
    entries[1].socket = listener.get();
    entries[1].wantRead = true;
    const InactivityClock clock(timeout, &bounds);
    for (;;) {
        const int remaining = clock.remainingMs();
        const PollOutcome outcome =
            remaining == 0 ? PollOutcome::TimedOut : SocketApi::current().poll(entries, 2, remaining);
        if (outcome == PollOutcome::Interrupted || (outcome == PollOutcome::TimedOut && !clock.expired()))
            continue;
        if (outcome == PollOutcome::Failed) {
            response = "Failed select waiting for server";
            return false;
        }
        if (outcome == PollOutcome::TimedOut) {
            response = "Timed out waiting for server to connect";
            return false;
        }
        break;
    }
    if (entries[1].ready) {
        SocketHandle accepted(SocketApi::current().accept(listener.get()));
        if (!accepted.valid()) {
            response = "Error waiting for server";
            return false;
        }
        SocketApi::current().setNonBlocking(accepted.get());
        dataSocket = std::move(accepted);
        return true;
    }
    std::string ignored;
    getControlResponse(ignored);
    return false;
}

bool FtpClient::startTransfer(const char* word, const char* argument)
{
    if (sendCommand(word, argument) && checkControlResponse('1') && acceptDataConnection())
        return true;
    // Nothing will come over a data connection whose command was refused.
    dataSocket.reset();
    listenSocket.reset();
    return false;
}

bool FtpClient::finishTransfer(bool dataOk)
{
    dataSocket.reset();
    // The server's final reply is read even after a failed transfer, so the next command meets its own reply.
    const bool replyOk = checkControlResponse('2');
    if (!dataOk) {
        response = transferError;
        return false;
    }
    return replyOk;
}

bool FtpClient::readDataConnection(const char* localPath)
{
    File file;
    if (localPath) {
        file.reset(std::fopen(localPath, "wb"));
        if (!file) {
            dataSocket.reset();
            response = std::string("Failed to open local file ") + localPath;
            transferError = response;
            return false;
        }
    } else {
        listing.clear();
    }
    bool dataOk = receiveData(localPath, file.get());
    if (file && std::fclose(file.release()) != 0 && dataOk) {
        transferError = std::string("Write error on local file ") + localPath;
        dataOk = false;
    }
    if (finishTransfer(dataOk))
        return true;
    // A cut copy under the target's name would later pass for the whole file.
    if (localPath)
        std::remove(localPath);
    return false;
}

bool FtpClient::receiveData(const char* localPath, std::FILE* file)
{
    std::unique_ptr<char[]> buffer(new char[downloadBlockSize]);
    char* block = buffer.get();
    std::size_t received = 0;
    InactivityClock clock(timeout, &bounds);
    for (;;) {
        const TransferStep got = SocketIo::receiveSome(dataSocket.get(), block, downloadBlockSize, clock);
        if (got.status == TransferStatus::Closed)
            return true;
        if (got.status != TransferStatus::Done) {
            transferError = got.status != TransferStatus::TimedOut ? "Read error on socket"
                            : clock.cancelled()                    ? "Download cancelled"
                            : clock.pastDeadline() ? "Download took longer than its time limit"
                                                   : "Timed out waiting for data from server";
            return false;
        }
        received += got.count;
        if (file) {
            if (received > downloadLimit) {
                transferError = "Download refused: larger than " + std::to_string(downloadLimit) + " bytes";
                return false;
            }
            if (std::fwrite(block, 1, got.count, file) != got.count) {
                transferError = std::string("Write error on local file ") + localPath;
                return false;
            }
        } else if (received > listingLimit) {
            transferError = "Listing refused: larger than " + std::to_string(listingLimit) + " bytes";
            listing.clear();
            return false;
        } else {
            listing.append(block, got.count);
        }
    }
}

bool FtpClient::sendFileData(std::FILE* file)
{
    char block[uploadBlockSize];
    InactivityClock clock(timeout, &bounds);
    for (;;) {
        const std::size_t count = std::fread(block, 1, sizeof block, file);
        for (std::size_t done = 0; done < count;) {
            const TransferStep sent = SocketIo::sendSome(dataSocket.get(), block + done, count - done, clock);
            if (sent.status == TransferStatus::Done) {
                done += sent.count;
                continue;
            }
            // Going on after a lost block would leave a file with a hole that looks complete.
            transferError = sent.status == TransferStatus::Closed     ? "Socket to server closed early!"
                            : sent.status == TransferStatus::TimedOut ? "Timed out sending data to server"
                                                                      : "Write error on socket";
            return false;
        }
        if (count < sizeof block) {
            if (std::ferror(file)) {
                transferError = "Read error on local file";
                return false;
            }
            return true;
        }
    }
}

// ---- transfers
// ----------------------------------------------------------------------------------------------

bool FtpClient::DownloadRemoteFile(const char* remotePath, const char* localPath, const char* type,
                                   bool passive)
{
    if (!sendCommand("TYPE", type))
        return false;
    std::string ignored;
    getControlResponse(ignored);
    if (!openDataConnection(passive) || !startTransfer("RETR", remotePath))
        return false;
    transferError.clear();
    return readDataConnection(localPath);
}

const std::string& FtpClient::GetRemoteDirectoryListing(bool passive, bool longForm, const char* path)
{
    listing.clear();
    transferError.clear();
    if (!command("TYPE", "A", '2') || !openDataConnection(passive) ||
        !startTransfer(longForm ? "LIST" : "NLST", path) || !readDataConnection(nullptr))
        listing.clear();
    return listing;
}

bool FtpClient::UploadFile(const char* localPath, const char* remotePath, const char* type, bool passive)
{
    if (isEmpty(localPath)) {
        response = "Null or empty local file path provided.";
        return false;
    }
    const bool text = type && std::strcmp(type, "A") == 0;
    File file(std::fopen(localPath, text ? "r" : "rb"));
    if (!file) {
        response = std::string("Failed to open local file ") + localPath;
        return false;
    }
    if (!sendCommand("TYPE", type))
        return false;
    std::string ignored;
    getControlResponse(ignored);
    if (!openDataConnection(passive) || !startTransfer("STOR", remotePath))
        return false;
    transferError.clear();
    const bool dataOk = sendFileData(file.get());
    file.reset();
    return finishTransfer(dataOk);
}

// ---- commands
// -----------------------------------------------------------------------------------------------

bool FtpClient::Site(const char* argument)
{
    return command("SITE", argument, '2');
}

bool FtpClient::GetSystemType(std::string& systemType)
{
    systemType.clear();
    if (!command("SYST", nullptr, '2'))
        return false;
    systemType = response;
    return true;
}

bool FtpClient::MakeRemoteDirectory(const char* directory)
{
    return command("MKD", directory, '2');
}
bool FtpClient::ChangeRemoteDirectory(const char* directory)
{
    return command("CWD", directory, '2');
}
bool FtpClient::ChangeToParentDirectory()
{
    return command("CDUP", nullptr, '2');
}
bool FtpClient::RemoveRemoteDirectory(const char* directory)
{
    return command("RMD", directory, '2');
}
bool FtpClient::DeleteRemoteFile(const char* remotePath)
{
    return command("DELE", remotePath, '2');
}

bool FtpClient::GetRemoteWorkingDirectory(std::string& directory)
{
    directory.clear();
    if (!command("PWD", nullptr, '2'))
        return false;
    const std::size_t open = response.find('"');
    if (open == std::string::npos)
        return false;
    const std::size_t close = response.find('"', open + 1);
    directory = response.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
    return true;
}

bool FtpClient::GetRemoteFileSize(const char* remotePath, const char* type, std::uint32_t& size)
{
    std::string reply;
    if (!command("TYPE", type, '2') || !sendCommand("SIZE", remotePath) || !checkControlResponse('2', &reply))
        return false;
    const auto code = scanNumber(reply, replyNumber);
    const auto value = code ? scanNumber(reply, replyNumber, code->end) : std::nullopt;
    if (!value || value->wrapped)
        return false; // a size beyond 32 bits is refused rather than cut short
    size = static_cast<std::uint32_t>(value->value);
    return true;
}

bool FtpClient::GetRemoteFileTime(const char* remotePath, std::string& time)
{
    time.clear();
    if (!command("MDTM", remotePath, '2'))
        return false;
    time = response;
    return true;
}

bool FtpClient::RenameRemoteFile(const char* oldName, const char* newName)
{
    return command("RNFR", oldName, '3') && command("RNTO", newName, '2');
}

} // namespace varnel
