#include "net/ChunkedDecoder.h"

#include <algorithm>

namespace varnel {

namespace {

// 15 hex digits keep every size below 2^60: no overflow, and far above any limit.
constexpr std::size_t maxSizeDigits = 15;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

ChunkedDecoder::Status ChunkedDecoder::fail(const char* text)
{
    failed = true;
    reason = text;
    return Status::Failed;
}

void ChunkedDecoder::endSizeLine()
{
    state = remaining == 0 ? State::Trailer : State::Data;
    lineLength = 0;
}

ChunkedDecoder::Status ChunkedDecoder::feed(std::string_view bytes, const Sink& sink, std::size_t& used)
{
    used = 0;
    if (failed)
        return Status::Failed;
    while (used < bytes.size() && state != State::Done) {
        if (state == State::Data) {
            const std::size_t take =
                static_cast<std::size_t>(std::min<std::uint64_t>(remaining, bytes.size() - used));
            if (!sink(bytes.substr(used, take)))
                return fail("stopped by the receiver");
            used += take;
            remaining -= take;
            if (remaining == 0)
                state = State::DataCr;
            continue;
        }
        const char c = bytes[used++];
        switch (state) {
        case State::Size: {
            const int value = hexValue(c);
            if (value >= 0) {
                if (++digits > maxSizeDigits)
                    return fail("chunk size too large");
                remaining = remaining * 16 + static_cast<unsigned>(value);
                break;
            }
            if (digits == 0)
                return fail("chunk size is not a hexadecimal number");
            if (c == ';' || c == ' ' || c == '\t') {
                state = State::Extension;
                lineLength = digits;
            } else if (c == '\r')
                state = State::SizeEnd;
            else if (c == '\n')
                endSizeLine();
            else
                return fail("chunk size is not a hexadecimal number");
            break;
        }
        case State::Extension:
            if (++lineLength > lineLimit)
                return fail("chunk size line too long");
            if (c == '\r')
                state = State::SizeEnd;
            else if (c == '\n')
                endSizeLine();
            break;
        case State::SizeEnd:
            if (c != '\n')
                return fail("chunk size line not ended by CR LF");
            endSizeLine();
            break;
        case State::DataCr:
            if (c == '\n') {
                state = State::Size; // a bare LF after the data, as some servers send
            } else if (c == '\r') {
                state = State::DataLf;
            } else {
                return fail("chunk data longer than its size");
            }
            digits = 0;
            break;
        case State::DataLf:
            if (c != '\n')
                return fail("chunk data longer than its size");
            state = State::Size;
            break;
        case State::Trailer:
            // Trailer fields say nothing the download needs; they are read past, bounded.
            if (++trailerBytes > trailerLimit)
                return fail("trailer too long");
            if (c == '\n') {
                state = lineLength == 0 ? State::Done : State::Trailer;
                lineLength = 0;
            } else if (c == '\r') {
                state = State::TrailerLf;
            } else {
                ++lineLength;
            }
            break;
        case State::TrailerLf:
            if (++trailerBytes > trailerLimit)
                return fail("trailer too long");
            if (c != '\n')
                return fail("trailer line not ended by CR LF");
            state = lineLength == 0 ? State::Done : State::Trailer;
            lineLength = 0;
            break;
        case State::Data:
        case State::Done:
            break;
        }
    }
    return status();
}

} // namespace varnel
