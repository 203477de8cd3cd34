#pragma once

#include "platform/InactivityClock.h"
#include "platform/SocketIo.h"

#include <memory>
#include <string>

namespace varnel {

// TLS over a connected non-blocking socket, through OpenSSL. Its bytes go
// through SocketApi like every other socket call, so the clients' tests put
// the same faults in its way. The peer is always verified: TLS 1.2 or newer,
// the chain against the system's trust store (SSL_CERT_FILE and SSL_CERT_DIR
// as OpenSSL reads them), and the host name; there is no way to turn that off.
class TlsSession {
public:
    TlsSession();
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Handshakes with `host` (a name or a dotted address) over `socket`; false
    // with the reason in failure().
    bool start(SocketDescriptor socket, const std::string& host, InactivityClock& clock);
    TransferStep send(const char* data, std::size_t size, InactivityClock& clock);
    TransferStep receive(char* data, std::size_t capacity, InactivityClock& clock);
    const std::string& failure() const { return reason; }

private:
    struct State;
    template <typename Call> TransferStep transfer(InactivityClock& clock, Call call);
    bool waitFor(int error, InactivityClock& clock);

    std::unique_ptr<State> state;
    SocketDescriptor socket = invalidSocket;
    std::string reason;
};

} // namespace varnel
