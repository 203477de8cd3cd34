#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varnel {

// Where an HTTP download goes: http or https, host, port and request target.
struct HttpUrl {
    bool secure = false;
    std::string host;
    int port = 80;
    std::string target = "/";

    // "http://host[:port]" or "https://host[:port]" followed by the target.
    std::string text() const;

    // The server setting: a host, "host:port", "http://host[:port]" or
    // "https://host[:port]" (a trailing "/" allowed); nothing else.
    static std::optional<HttpUrl> parseServer(std::string_view text);
    // A Location header against the URL it answered: absolute http(s) URLs,
    // "//host/..." and paths, absolute or relative to the answered one.
    static std::optional<HttpUrl> resolve(const HttpUrl& base, std::string_view location);
};

} // namespace varnel
