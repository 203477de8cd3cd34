#include "net/HttpClient.h"
#include "support/FuzzInput.h"
#include "support/FuzzSetup.h"
#include "support/FuzzSocketApi.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using namespace varnel;

namespace {

constexpr std::size_t smallLimit = 2048;

bool declaresLength(const std::vector<std::string>& headers)
{
    constexpr std::string_view name = "content-length:";
    return std::any_of(headers.begin(), headers.end(), [&](const std::string& line) {
        return line.size() >= name.size() &&
               std::equal(name.begin(), name.end(), line.begin(), [](char lower, char c) {
                   return std::tolower(static_cast<unsigned char>(c)) == lower;
               });
    });
}

} // namespace

// Input: one option byte (receive size, reset at the end, a small response
// limit), then everything the server sends.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::prepareInput();
    static fuzz::FuzzSocketApi sockets;
    fuzz::FuzzInput input(data, size);
    const std::uint8_t options = input.byte();
    const std::size_t chunk = (options & 0x1F) == 0 ? std::size_t{1} << 20 : (options & 0x1F) * 13u;
    sockets.serve(input.rest(), {}, chunk, (options & 0x20) != 0);

    HttpClient client;
    if ((options & 0x40) != 0)
        client.setResponseLimit(smallLimit);
    if (!client.Connect("127.0.0.1", 80))
        std::abort();
    const bool head = (options & 0x80) != 0;
    const bool ok = head ? client.Head("/data.xml") : client.Get("/data.xml");
    std::vector<std::string> headers;
    std::vector<std::string> body;
    client.parseResponse(headers, body);
    // A reset never passes for a whole response, unless the headers declared
    // where it ends and all of it came before the reset.
    fuzz::require(!(ok && (options & 0x20) != 0) || head || declaresLength(headers));
    // A response to HEAD has no body, whatever follows its headers.
    fuzz::require(!(ok && head) || body.empty());
    // Each line gains at most a CR LF, so a limited response stays near its limit.
    if ((options & 0x40) != 0 && ok) {
        std::size_t total = 0;
        for (const auto& line : headers)
            total += line.size();
        for (const auto& line : body)
            total += line.size();
        fuzz::require(total <= 2 * smallLimit + 2);
    }
    return 0;
}
