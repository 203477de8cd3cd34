#include "settings/Log.h"

#include <fstream>
#include <locale>
#include <memory>

namespace varnel {

namespace {
std::unique_ptr<std::ofstream>& logStream()
{
    static std::unique_ptr<std::ofstream> stream;
    return stream;
}
} // namespace

std::ostream& log()
{
    auto& stream = logStream();
    if (!stream) {
        stream = std::make_unique<std::ofstream>();
        // The catalogue later makes the user's locale global; the log keeps plain numbers.
        stream->imbue(std::locale::classic());
        stream->open("varnel.log", std::ios::out | std::ios::trunc);
    }
    return *stream;
}

void restartLog()
{
    logStream().reset();
}

} // namespace varnel
