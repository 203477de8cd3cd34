#include "settings/MessageFormat.h"
#include "support/FuzzInput.h"
#include "support/FuzzSetup.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace varnel;

namespace {

// One argument of the kind the byte asks for; texts are cut from the input.
MessageArg argument(fuzz::FuzzInput& input, std::string& text)
{
    const std::uint8_t kind = input.byte();
    switch (kind % 5) {
    case 0:
        return MessageArg(input.dword());
    case 1:
        return MessageArg(static_cast<std::uint64_t>(input.dword()) << 32 | input.dword());
    case 2:
        return MessageArg(static_cast<int>(input.dword()));
    case 3:
        return MessageArg(
            static_cast<std::int64_t>(static_cast<std::uint64_t>(input.dword()) << 32 | input.dword()));
    default:
        text = std::string(input.bytes(input.word() % 2048));
        return MessageArg(text);
    }
}

} // namespace

// Input: the argument count, the arguments, then the format text (up to the first zero byte).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput input(data, size);
    const unsigned count = input.byte() % 4;
    std::string texts[3];
    std::string format;
    auto run = [&](std::initializer_list<MessageArg> args) {
        format = std::string(input.rest());
        const std::string result = formatMessage(format.c_str(), "fuzz.key", args);
        fuzz::require(result.size() < messageBufferSize);
    };
    switch (count) {
    case 0:
        run({});
        break;
    case 1: {
        const MessageArg a = argument(input, texts[0]);
        run({a});
        break;
    }
    case 2: {
        const MessageArg a = argument(input, texts[0]);
        const MessageArg b = argument(input, texts[1]);
        run({a, b});
        break;
    }
    default: {
        const MessageArg a = argument(input, texts[0]);
        const MessageArg b = argument(input, texts[1]);
        const MessageArg c = argument(input, texts[2]);
        run({a, b, c});
        break;
    }
    }
    fuzz::require(formatMessage(nullptr, "fuzz.key", {}) == "fuzz.key");
    return 0;
}
