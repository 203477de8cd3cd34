#include "settings/PropertiesFile.h"
#include "support/FuzzSetup.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace varnel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::prepareInput();
    PropertiesFile file;
    const int stored = file.loadText(std::string_view(reinterpret_cast<const char*>(data), size));
    fuzz::require(stored >= 0 && file.size() <= static_cast<std::size_t>(stored));
    for (const auto& [key, value] : file.all())
        fuzz::require(file.get(key, "\x01") == value);
    return 0;
}
