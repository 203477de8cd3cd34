#include "download/LocalCopy.h"

#include "platform/UniqueFile.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace varnel {

namespace {
// Says what a side file left by a crash was.
constexpr const char* kPartialInfix = ".part-";
} // namespace

LocalCopy::LocalCopy(std::string path) : target(std::move(path))
{
    // An empty name names no file; the side file would be a hidden one in the current folder.
    if (!target.empty())
        partial = createUniqueFile(target + kPartialInfix);
}

LocalCopy::~LocalCopy()
{
    if (committed || partial.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove(partial, ignored);
}

bool LocalCopy::commit()
{
    if (committed || partial.empty())
        return committed;
    std::error_code error;
    // filesystem::rename replaces an existing copy on Windows as well.
    std::filesystem::rename(partial, target, error);
    committed = !error;
    return committed;
}

} // namespace varnel
