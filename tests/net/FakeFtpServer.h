#pragma once

#include "net/NetTestSupport.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace varnel::test {

// A scripted FTP server on a test thread: fixed replies or handlers per command
// word, a passive listener on demand, and a record of every command line.
class FakeFtpServer {
public:
    using Handler = std::function<void(const std::string& argument, FakeFtpServer& server)>;

    explicit FakeFtpServer(std::string greeting = "220 ready\r\n");
    ~FakeFtpServer();

    void on(const std::string& word, const std::string& reply);
    void on(const std::string& word, Handler handler);
    void start();
    std::uint16_t port() const;
    // Waits until the client has closed the control connection.
    void join();
    // The command lines received (without CR LF); read after join.
    const std::vector<std::string>& commands() const { return received; }

    // For handlers.
    void reply(const std::string& text) { control->send(text); }
    TestPeer acceptData();
    TestPeer& controlPeer() { return *control; }

private:
    void serve(TestPeer& peer);

    std::string greeting;
    std::map<std::string, Handler> handlers;
    std::vector<std::string> received;
    std::unique_ptr<TestListener> passive;
    TestPeer* control = nullptr;
    std::unique_ptr<ScriptedServer> server;
};

} // namespace varnel::test
