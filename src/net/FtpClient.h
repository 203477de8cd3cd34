#pragma once

#include "platform/InactivityClock.h"
#include "platform/SocketHandle.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace varnel {

// A small FTP client over IPv4 (RFC 959 plus SIZE and MDTM). Results are
// booleans; the reason is the last reply's text or the client's own text.
class FtpClient {
public:
    static constexpr std::uint32_t defaultTimeoutSeconds = 15;
    // Far above any listing a server of data files gives; a larger one is refused.
    static constexpr std::size_t defaultListingLimit = std::size_t{64} << 20;
    // As for HTTP: far above any data file; a server that never stops sending is cut off here.
    static constexpr std::size_t defaultDownloadLimit = std::size_t{256} << 20;
    // No real reply, however many lines, comes near this.
    static constexpr std::size_t replyLimit = std::size_t{1} << 20;

    FtpClient() = default;
    ~FtpClient() = default;
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    bool Connect(const char* host, int port);
    bool Login(const char* user, const char* password);
    bool DownloadRemoteFile(const char* remotePath, const char* localPath, const char* type, bool passive);
    void Quit();
    // The raw listing bytes; empty when the listing failed.
    const std::string& GetRemoteDirectoryListing(bool passive, bool longForm, const char* path);
    bool UploadFile(const char* localPath, const char* remotePath, const char* type, bool passive);
    bool Site(const char* argument);
    bool GetSystemType(std::string& systemType);
    bool MakeRemoteDirectory(const char* directory);
    bool ChangeRemoteDirectory(const char* directory);
    bool ChangeToParentDirectory();
    bool RemoveRemoteDirectory(const char* directory);
    bool GetRemoteWorkingDirectory(std::string& directory);
    bool GetRemoteFileSize(const char* remotePath, const char* type, std::uint32_t& size);
    bool GetRemoteFileTime(const char* remotePath, std::string& time);
    bool RenameRemoteFile(const char* oldName, const char* newName);
    bool DeleteRemoteFile(const char* remotePath);

    const std::string& lastResponse() const { return response; }
    const std::string& lastTransferError() const { return transferError; }
    std::uint32_t timeoutSeconds() const { return timeout; }
    void setTimeout(std::uint32_t seconds) { timeout = seconds; }
    void setListingLimit(std::size_t bytes) { listingLimit = bytes; }
    void setDownloadLimit(std::size_t bytes) { downloadLimit = bytes; }
    // Applies to every wait from the next call on.
    void setBounds(const TransferBounds& value) { bounds = value; }

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    using File = std::unique_ptr<std::FILE, FileCloser>;

    bool command(const char* word, const char* argument, char expected);
    bool sendCommand(const char* word, const char* argument);
    bool checkControlResponse(char expected, std::string* replyText = nullptr);
    void getControlResponse(std::string& reply);
    void readControlLine(std::string& line);
    bool writeControlSocket(const std::string& text);
    std::size_t readControlSocket();
    bool openDataConnection(bool passive);
    bool openPassiveDataConnection();
    bool openActiveDataConnection();
    bool acceptDataConnection();
    bool startTransfer(const char* word, const char* argument);
    bool readDataConnection(const char* localPath);
    bool receiveData(const char* localPath, std::FILE* file);
    bool sendFileData(std::FILE* file);
    bool finishTransfer(bool dataOk);
    void refuseReply();

    SocketHandle controlSocket;
    Ipv4Endpoint controlPeer;
    SocketHandle dataSocket;
    // Active mode: the socket the server connects back to, until it has.
    SocketHandle listenSocket;
    std::uint32_t timeout = defaultTimeoutSeconds;
    std::string response; // lastResponse
    std::string transferError;
    std::string controlBuffer;
    std::string listing;
    std::size_t listingLimit = defaultListingLimit;
    std::size_t downloadLimit = defaultDownloadLimit;
    bool replyRefused = false;
    TransferBounds bounds;
};

} // namespace varnel
