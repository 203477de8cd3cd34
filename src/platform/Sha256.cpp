#include "platform/Sha256.h"

#include <openssl/evp.h>

#include <cctype>
#include <fstream>
#include <memory>

namespace varnel {

namespace {
constexpr std::size_t digestHexLength = 64;
constexpr std::size_t fileBlockSize = 64 * 1024;
} // namespace

struct Sha256::Context {
    struct Free {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };
    std::unique_ptr<EVP_MD_CTX, Free> md{EVP_MD_CTX_new()};
};

Sha256::Sha256() : context(std::make_unique<Context>())
{
    failed = !context->md || EVP_DigestInit_ex(context->md.get(), EVP_sha256(), nullptr) != 1;
}

Sha256::~Sha256() = default;

void Sha256::update(std::string_view bytes)
{
    if (!failed && !bytes.empty())
        failed = EVP_DigestUpdate(context->md.get(), bytes.data(), bytes.size()) != 1;
}

std::string Sha256::hex()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (failed || EVP_DigestFinal_ex(context->md.get(), digest, &length) != 1)
        return {};
    failed = true;
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += digits[digest[i] >> 4];
        text += digits[digest[i] & 0x0F];
    }
    return text;
}

std::string Sha256::ofFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    Sha256 sum;
    std::unique_ptr<char[]> block(new char[fileBlockSize]);
    while (in) {
        in.read(block.get(), static_cast<std::streamsize>(fileBlockSize));
        sum.update(std::string_view(block.get(), static_cast<std::size_t>(in.gcount())));
    }
    if (in.bad())
        return {};
    return sum.hex();
}

bool Sha256::isDigest(std::string_view text)
{
    if (text.size() != digestHexLength)
        return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

} // namespace varnel
