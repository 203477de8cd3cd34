#include "settings/Log.h"

#include "platform/LogFileBuffer.h"

#include <iostream>
#include <locale>
#include <memory>

namespace varnel {

namespace {

struct LogStream {
    LogFileBuffer file;
    std::ostream stream{nullptr};
};

std::unique_ptr<LogStream>& logStream()
{
    static std::unique_ptr<LogStream> log;
    return log;
}

thread_local std::ostream* redirected = nullptr;

} // namespace

std::ostream& log()
{
    if (redirected)
        return *redirected;
    auto& log = logStream();
    if (!log) {
        log = std::make_unique<LogStream>();
        // The catalogue later makes the user's locale global; the log keeps plain numbers.
        log->stream.imbue(std::locale::classic());
        std::string reason;
        if (log->file.open("varnel.log", reason))
            log->stream.rdbuf(&log->file);
        else
            std::cerr << "varnel: no log is written: " << reason << std::endl;
        if (!log->stream.rdbuf())
            log->stream.setstate(std::ios::badbit);
    }
    return log->stream;
}

std::ostream* redirectLog(std::ostream* stream)
{
    std::ostream* previous = redirected;
    redirected = stream;
    return previous;
}

void restartLog()
{
    logStream().reset();
}

} // namespace varnel
