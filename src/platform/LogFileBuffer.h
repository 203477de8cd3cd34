#pragma once

#include <streambuf>
#include <string>

namespace varnel {

// The log's file: opened only when it is a plain file of its own (a link in
// its place is refused, never followed, so a planted link cannot empty the
// file it points at), emptied once open, shared for reading while it is
// written. Each flush of the stream reaches the file.
class LogFileBuffer : public std::streambuf {
public:
    LogFileBuffer() = default;
    ~LogFileBuffer() override;
    LogFileBuffer(const LogFileBuffer&) = delete;
    LogFileBuffer& operator=(const LogFileBuffer&) = delete;

    // False, with the reason naming the file, when it is not opened.
    bool open(const std::string& path, std::string& reason);

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    bool writeOut(const char* text, std::size_t count);

    int fd = -1;
    char buffer[1024];
};

} // namespace varnel
