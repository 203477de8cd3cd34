#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace varnel {

// SHA-256 through OpenSSL, fed in pieces; the digest as 64 lower-case hex digits.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void update(std::string_view bytes);
    // The digest of everything fed; the object is spent afterwards.
    std::string hex();

    // The digest of a file's bytes, or the empty text when it cannot be read.
    static std::string ofFile(const std::string& path);
    // Whether `text` is a digest as settings give one: 64 hex digits, either case.
    static bool isDigest(std::string_view text);

private:
    struct Context;
    std::unique_ptr<Context> context;
    bool failed = false;
};

} // namespace varnel
