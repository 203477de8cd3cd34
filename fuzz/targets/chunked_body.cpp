#include "net/ChunkedDecoder.h"
#include "support/FuzzInput.h"
#include "support/FuzzSetup.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace varnel;

namespace {

struct Outcome {
    ChunkedDecoder::Status status;
    std::string data;
    std::size_t used = 0;
};

// Feeds `body` in pieces of `piece` bytes (0: all at once).
Outcome decode(std::string_view body, std::size_t piece)
{
    ChunkedDecoder decoder;
    Outcome outcome{ChunkedDecoder::Status::NeedMore, {}, 0};
    const ChunkedDecoder::Sink sink = [&](std::string_view data) {
        outcome.data.append(data);
        return true;
    };
    while (outcome.used < body.size() && outcome.status == ChunkedDecoder::Status::NeedMore) {
        const std::size_t count = piece == 0 ? body.size() : std::min(piece, body.size() - outcome.used);
        std::size_t used = 0;
        outcome.status = decoder.feed(body.substr(outcome.used, count), sink, used);
        if (used > count)
            std::abort();
        outcome.used += used;
    }
    return outcome;
}

} // namespace

// Input: one byte for the piece size, then the chunked body. However the
// bytes arrive, the decoder must give the same data and the same verdict.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::prepareInput();
    fuzz::FuzzInput input(data, size);
    const std::size_t piece = input.byte() % 17 + 1;
    const std::string_view body = input.rest();
    const Outcome whole = decode(body, 0);
    const Outcome pieces = decode(body, piece);
    if (whole.status != pieces.status || whole.data != pieces.data || whole.used != pieces.used)
        std::abort();
    // Data never outgrows the body it came from.
    if (whole.data.size() > body.size())
        std::abort();
    return 0;
}
