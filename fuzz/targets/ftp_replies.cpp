#include "net/FtpClient.h"
#include "support/FuzzInput.h"
#include "support/FuzzSetup.h"
#include "support/FuzzSocketApi.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace varnel;

// Input: one option byte (receive size, reset at the end, passive or active),
// a 16-bit length of the control stream, the control stream, then what the
// data connections carry.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::prepareInput();
    static fuzz::FuzzSocketApi sockets;
    fuzz::FuzzInput input(data, size);
    const std::uint8_t options = input.byte();
    const std::size_t controlLength = input.word();
    const std::string_view control = input.bytes(controlLength);
    const std::size_t chunk = (options & 0x1F) == 0 ? std::size_t{1} << 20 : (options & 0x1F) * 7u;
    sockets.serve(control, input.rest(), chunk, (options & 0x20) != 0);
    const bool passive = (options & 0x40) == 0;

    FtpClient client;
    client.setListingLimit(4096);
    if (!client.Connect("127.0.0.1", 21))
        return 0;
    client.Login("anonymous", "fuzz@");
    std::string directory;
    if (client.GetRemoteWorkingDirectory(directory))
        fuzz::require(directory.size() <= client.lastResponse().size());
    std::uint32_t fileSize = 0;
    client.GetRemoteFileSize("data.xml", "I", fileSize);
    std::string system;
    client.GetSystemType(system);
    const std::string& listing = client.GetRemoteDirectoryListing(passive, (options & 0x80) != 0, nullptr);
    fuzz::require(listing.size() <= 4096);
    fuzz::require(listing.empty() || (options & 0x20) == 0);
    const bool downloaded = client.DownloadRemoteFile("data.xml", "fuzz-download.xml", "I", passive);
    // A connection reset before its end never passes for a whole file or listing.
    fuzz::require(!(downloaded && (options & 0x20) != 0));
    client.Quit();
    return 0;
}
