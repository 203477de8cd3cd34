#include "net/HttpUrl.h"

#include <cctype>
#include <charconv>

namespace varnel {

namespace {

constexpr int plainPort = 80;
constexpr int securePort = 443;

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

// A host name or dotted address: letters, digits, '-', '.', '_'; no user part, no IPv6.
bool validHost(std::string_view host)
{
    if (host.empty() || host.size() > 253)
        return false;
    for (char c : host)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '_')
            return false;
    return true;
}

// "host[:port]" into the URL; the port, when given, 1 to 65535.
bool readAuthority(std::string_view authority, HttpUrl& url)
{
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos) {
        const std::string_view digits = authority.substr(colon + 1);
        int port = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || port < 1 ||
            port > 65535)
            return false;
        url.port = port;
        authority = authority.substr(0, colon);
    }
    if (!validHost(authority))
        return false;
    url.host = std::string(authority);
    return true;
}

// A target sent as it stands must not carry what would end the request line.
bool validTarget(std::string_view target)
{
    for (char c : target)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F)
            return false;
    return true;
}

// scheme://authority/target
std::optional<HttpUrl> parseAbsolute(std::string_view text)
{
    HttpUrl url;
    if (startsWithNoCase(text, "https://")) {
        url.secure = true;
        url.port = securePort;
        text.remove_prefix(8);
    } else if (startsWithNoCase(text, "http://")) {
        text.remove_prefix(7);
    } else {
        return std::nullopt;
    }
    const std::size_t slash = text.find_first_of("/?#");
    if (!readAuthority(text.substr(0, slash), url))
        return std::nullopt;
    if (slash != std::string_view::npos) {
        url.target = std::string(text.substr(slash));
        if (url.target[0] != '/')
            url.target.insert(0, "/");
    }
    // A fragment is the client's own; it is never sent.
    url.target = url.target.substr(0, url.target.find('#'));
    if (!validTarget(url.target))
        return std::nullopt;
    return url;
}

} // namespace

std::string HttpUrl::text() const
{
    std::string all = secure ? "https://" : "http://";
    all += host;
    if (port != (secure ? securePort : plainPort))
        all += ":" + std::to_string(port);
    return all + target;
}

std::optional<HttpUrl> HttpUrl::parseServer(std::string_view text)
{
    if (text.find("://") != std::string_view::npos) {
        auto url = parseAbsolute(text);
        // The server names a server; the path has settings of its own.
        if (!url || (url->target != "/"))
            return std::nullopt;
        return url;
    }
    HttpUrl url;
    if (!readAuthority(text, url))
        return std::nullopt;
    return url;
}

std::optional<HttpUrl> HttpUrl::resolve(const HttpUrl& base, std::string_view location)
{
    if (location.empty())
        return std::nullopt;
    if (location.find("://") != std::string_view::npos)
        return parseAbsolute(location);
    if (location.size() >= 2 && location[0] == '/' && location[1] == '/')
        return parseAbsolute(std::string(base.secure ? "https:" : "http:") + std::string(location));
    HttpUrl url = base;
    std::string target(location.substr(0, location.find('#')));
    if (target[0] != '/') {
        // Relative to the folder of the target answered, its query left off.
        const std::string path = base.target.substr(0, base.target.find('?'));
        target = path.substr(0, path.rfind('/') + 1) + target;
    }
    if (!validTarget(target))
        return std::nullopt;
    url.target = target;
    return url;
}

} // namespace varnel
