#include "controller/LocalCopy.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace varnel {

namespace {
constexpr const char* kPartialSuffix = ".part";
} // namespace

LocalCopy::LocalCopy(std::string path) : target(std::move(path)), partial(target + kPartialSuffix) {}

LocalCopy::~LocalCopy()
{
    if (committed)
        return;
    std::error_code ignored;
    std::filesystem::remove(partial, ignored);
}

bool LocalCopy::commit()
{
    // An empty name names no file; the side file would be the hidden ".part".
    if (committed || target.empty())
        return committed;
    std::error_code error;
    // filesystem::rename replaces an existing copy on Windows as well.
    std::filesystem::rename(partial, target, error);
    committed = !error;
    return committed;
}

} // namespace varnel
