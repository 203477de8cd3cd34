#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace varnel {

// Takes the chunked transfer coding off a response body as its bytes arrive,
// in pieces of any size: chunk sizes, extensions and trailers are consumed,
// only the data goes on. A chunk size that is not hexadecimal, too large, or
// a line that does not end where it must is an error, never data.
class ChunkedDecoder {
public:
    // Receives the decoded data; false stops the decoding (the sink's own failure).
    using Sink = std::function<bool(std::string_view data)>;

    enum class Status { NeedMore, Done, Failed };

    // No size line, extension or trailer line of a real server comes near this.
    static constexpr std::size_t lineLimit = 8 * 1024;
    static constexpr std::size_t trailerLimit = 64 * 1024;

    // `used` is how many of the bytes belonged to the body; after Done the
    // rest belongs to no response of ours.
    Status feed(std::string_view bytes, const Sink& sink, std::size_t& used);
    Status status() const
    {
        return state == State::Done ? Status::Done : failed ? Status::Failed : Status::NeedMore;
    }
    const std::string& error() const { return reason; }

private:
    enum class State { Size, Extension, SizeEnd, Data, DataCr, DataLf, Trailer, TrailerLf, Done };

    Status fail(const char* text);
    void endSizeLine();

    State state = State::Size;
    std::uint64_t remaining = 0;
    std::size_t digits = 0;
    std::size_t lineLength = 0;
    std::size_t trailerBytes = 0;
    bool failed = false;
    std::string reason;
};

} // namespace varnel
