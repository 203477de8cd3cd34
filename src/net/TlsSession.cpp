#include "net/TlsSession.h"

#include "platform/SystemTrustStore.h"

#include <algorithm>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <climits>
#include <cstring>

namespace varnel {

namespace {

struct SslFree {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};

// OpenSSL reads and writes through SocketApi: a would-block there is a retry for it.
SocketDescriptor socketOf(BIO* bio)
{
    return static_cast<SocketDescriptor>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

int bioWrite(BIO* bio, const char* data, int size)
{
    BIO_clear_retry_flags(bio);
    const SocketIoResult result =
        SocketApi::current().send(socketOf(bio), data, static_cast<std::size_t>(size < 0 ? 0 : size));
    if (result.count >= 0)
        return static_cast<int>(result.count);
    if (result.error == SocketError::WouldBlock || result.error == SocketError::Interrupted)
        BIO_set_retry_write(bio);
    return -1;
}

int bioRead(BIO* bio, char* data, int size)
{
    BIO_clear_retry_flags(bio);
    const SocketIoResult result =
        SocketApi::current().receive(socketOf(bio), data, static_cast<std::size_t>(size < 0 ? 0 : size));
    if (result.count >= 0)
        return static_cast<int>(result.count);
    if (result.error == SocketError::WouldBlock || result.error == SocketError::Interrupted)
        BIO_set_retry_read(bio);
    return -1;
}

long bioControl(BIO*, int command, long, void*)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

BIO_METHOD* socketApiMethod()
{
    static BIO_METHOD* method = [] {
        BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "varnel socket");
        BIO_meth_set_write(made, bioWrite);
        BIO_meth_set_read(made, bioRead);
        BIO_meth_set_ctrl(made, bioControl);
        return made;
    }();
    return method;
}

// Four plain decimal numbers only: the resolver also takes 127.1, 0x7f000001
// and 010.0.0.1 (octal), which the certificate check would read otherwise.
bool isDottedAddress(const std::string& host)
{
    if (SocketApi::current().parseDottedAddress(host.c_str()) == unresolvedAddress)
        return false;
    int parts = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(host.find('.', start), host.size());
        const std::string part = host.substr(start, end - start);
        if (part.empty() || part.size() > 3 || (part.size() > 1 && part[0] == '0') ||
            part.find_first_not_of("0123456789") != std::string::npos || std::stoi(part) > 255)
            return false;
        ++parts;
        if (end == host.size())
            break;
        start = end + 1;
    }
    return parts == 4;
}

// What a technician can act on first, OpenSSL's own words after it.
std::string verifyText(long result)
{
    const char* kind = "certificate not accepted";
    switch (result) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        kind = "certificate from an unknown issuer";
        break;
    case X509_V_ERR_CERT_HAS_EXPIRED:
        kind = "certificate expired";
        break;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        kind = "certificate not yet valid";
        break;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        kind = "certificate name mismatch";
        break;
    default:
        break;
    }
    return std::string(kind) + " (" + X509_verify_cert_error_string(result) + ")";
}

std::string queuedErrorText()
{
    const unsigned long error = ERR_peek_last_error();
    ERR_clear_error();
    if (error == 0)
        return "protocol error";
    const char* text = ERR_reason_error_string(error);
    return std::string("protocol error (") + (text != nullptr ? text : "unknown") + ")";
}

} // namespace

struct TlsSession::State {
    std::unique_ptr<SSL_CTX, SslFree> context;
    std::unique_ptr<SSL, SslFree> ssl;
};

TlsSession::TlsSession() = default;

TlsSession::~TlsSession() = default;

bool TlsSession::waitFor(int error, InactivityClock& clock)
{
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
        return false;
    // A poll that fails is an error; one that runs out leaves the clock to say so.
    return SocketIo::waitUntilReady(socket, error == SSL_ERROR_WANT_WRITE, clock) || clock.expired();
}

bool TlsSession::start(SocketDescriptor connected, const std::string& host, InactivityClock& clock)
{
    socket = connected;
    ERR_clear_error();
    state = std::make_unique<State>();
    state->context.reset(SSL_CTX_new(TLS_client_method()));
    SSL_CTX* context = state->context.get();
    if (context == nullptr || SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) != 1) {
        reason = "TLS cannot be set up";
        return false;
    }
    // The environment's SSL_CERT_FILE/SSL_CERT_DIR, else the system's bundle.
    SSL_CTX_set_default_verify_paths(context);
    addSystemTrustRoots(SSL_CTX_get_cert_store(context));
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    // Whole records and more per receive, instead of a header and then its record: half the system calls.
    SSL_CTX_set_read_ahead(context, 1);
    SSL_CTX_set_default_read_buffer_len(context, 64 * 1024);
    state->ssl.reset(SSL_new(context));
    SSL* ssl = state->ssl.get();
    BIO* bio = ssl != nullptr ? BIO_new(socketApiMethod()) : nullptr;
    if (bio == nullptr) {
        reason = "TLS cannot be set up";
        return false;
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(socket)));
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl, bio, bio);
    X509_VERIFY_PARAM* check = SSL_get0_param(ssl);
    // Without a name or address to check, any trusted certificate would pass:
    // an address OpenSSL cannot read (127.1, 0x7f000001) is refused instead.
    bool checkable = false;
    if (isDottedAddress(host)) {
        checkable = X509_VERIFY_PARAM_set1_ip_asc(check, host.c_str()) == 1;
    } else {
        // SNI for the name-based hosting nearly every server does.
        SSL_set_tlsext_host_name(ssl, host.c_str());
        X509_VERIFY_PARAM_set_hostflags(check, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        checkable = SSL_set1_host(ssl, host.c_str()) == 1;
    }
    if (!checkable) {
        reason = "the server's name or address cannot be checked against its certificate: " + host;
        ERR_clear_error();
        return false;
    }
    for (;;) {
        const int result = SSL_connect(ssl);
        if (result == 1)
            return true;
        const int error = SSL_get_error(ssl, result);
        if (waitFor(error, clock) && !clock.expired())
            continue;
        const long verified = SSL_get_verify_result(ssl);
        if (verified != X509_V_OK)
            reason = verifyText(verified);
        else if (clock.expired())
            reason = clock.cancelled() ? "cancelled" : "timed out";
        else if (error == SSL_ERROR_SYSCALL && ERR_peek_last_error() == 0)
            reason = "the server closed the connection";
        else
            reason = queuedErrorText();
        ERR_clear_error();
        return false;
    }
}

template <typename Call> TransferStep TlsSession::transfer(InactivityClock& clock, Call call)
{
    SSL* ssl = state ? state->ssl.get() : nullptr;
    if (ssl == nullptr)
        return {TransferStatus::Failed, 0};
    while (!clock.expired()) {
        ERR_clear_error();
        std::size_t moved = 0;
        const int result = call(ssl, moved);
        if (result == 1) {
            clock.renew();
            return {TransferStatus::Done, moved};
        }
        const int error = SSL_get_error(ssl, result);
        if (error == SSL_ERROR_ZERO_RETURN)
            return {TransferStatus::Closed, 0};
        if (!waitFor(error, clock)) {
            // A connection dropped without TLS's closing message may have lost bytes: an error, not an end.
            reason = queuedErrorText();
            return {TransferStatus::Failed, 0};
        }
    }
    return {TransferStatus::TimedOut, 0};
}

TransferStep TlsSession::send(const char* data, std::size_t size, InactivityClock& clock)
{
    return transfer(clock,
                    [&](SSL* ssl, std::size_t& moved) { return SSL_write_ex(ssl, data, size, &moved); });
}

TransferStep TlsSession::receive(char* data, std::size_t capacity, InactivityClock& clock)
{
    return transfer(clock,
                    [&](SSL* ssl, std::size_t& moved) { return SSL_read_ex(ssl, data, capacity, &moved); });
}

} // namespace varnel
