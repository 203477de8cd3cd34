#include "net/FakeFtpServer.h"

namespace varnel::test {

FakeFtpServer::FakeFtpServer(std::string greeting) : greeting(std::move(greeting))
{
    on("PASV", [](const std::string&, FakeFtpServer& server) {
        server.passive = std::make_unique<TestListener>();
        server.reply("227 Entering Passive Mode (" + server.passive->pasvNumbers() + ").\r\n");
    });
    on("TYPE", "200 Type set.\r\n");
}

FakeFtpServer::~FakeFtpServer()
{
    join();
}

void FakeFtpServer::on(const std::string& word, const std::string& reply)
{
    handlers[word] = [reply](const std::string&, FakeFtpServer& server) { server.reply(reply); };
}

void FakeFtpServer::on(const std::string& word, Handler handler)
{
    handlers[word] = std::move(handler);
}

void FakeFtpServer::start()
{
    server = std::make_unique<ScriptedServer>([this](TestPeer& peer) { serve(peer); });
}

std::uint16_t FakeFtpServer::port() const
{
    return server ? server->port() : 0;
}

void FakeFtpServer::join()
{
    if (server)
        server->join();
}

TestPeer FakeFtpServer::acceptData()
{
    return passive ? passive->accept() : TestPeer();
}

void FakeFtpServer::serve(TestPeer& peer)
{
    control = &peer;
    peer.send(greeting);
    for (std::string line = peer.readLine(); !line.empty(); line = peer.readLine()) {
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        received.push_back(line);
        const std::size_t space = line.find(' ');
        const std::string word = line.substr(0, space);
        const std::string argument = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (word == "QUIT")
            break;
        const auto handler = handlers.find(word);
        if (handler != handlers.end())
            handler->second(argument, *this);
        else
            reply("502 Command not implemented.\r\n");
    }
    control = nullptr;
}

} // namespace varnel::test
