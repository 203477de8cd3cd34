#include "net/HttpClient.h"
#include "support/FuzzInput.h"
#include "support/FuzzSetup.h"
#include "support/FuzzSocketApi.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace varnel;

namespace {
constexpr std::size_t smallLimit = 2048;
}

// The download path over a hostile server. Input: one option byte (receive
// size, reset at the end, a small response limit), then everything the
// server sends.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::prepareInput();
    static fuzz::FuzzSocketApi sockets;
    fuzz::FuzzInput input(data, size);
    const std::uint8_t options = input.byte();
    const std::size_t chunk = (options & 0x1F) == 0 ? std::size_t{1} << 20 : (options & 0x1F) * 13u;
    const std::string_view served = input.rest();
    sockets.serve(served, {}, chunk, (options & 0x20) != 0);

    HttpClient client;
    const std::size_t limit = (options & 0x40) != 0 ? smallLimit : HttpClient::defaultResponseLimit;
    client.setResponseLimit(limit);
    if (!client.Connect("127.0.0.1", 80))
        std::abort();
    std::string body;
    HttpResponseHead head;
    const bool ok = client.Fetch(
        "/data.xml",
        [&](std::string_view bytes) {
            body.append(bytes);
            return true;
        },
        head);
    // Nothing beyond the limit is ever handed on, and the body never outgrows what was sent.
    fuzz::require(body.size() <= limit && body.size() <= served.size());
    // A body goes out only for a status of class 2.
    fuzz::require(body.empty() || head.status / 100 == 2);
    (void)ok;
    return 0;
}
