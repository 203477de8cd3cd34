#include "support/TestSupport.h"

#include "settings/Log.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace varnel::test {

TempDir::TempDir() : previous(std::filesystem::current_path())
{
    // create_directory reports whether the folder is new, so a name another
    // run took is passed over.
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
        const auto candidate =
            std::filesystem::temp_directory_path() / ("varnel-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate))
            dir = candidate;
    }
    if (dir.empty())
        throw std::runtime_error("cannot create a temporary directory");
    std::filesystem::current_path(dir);
    restartLog(); // each test is a run of its own, with its own varnel.log
}

TempDir::~TempDir()
{
    restartLog();
    std::filesystem::current_path(previous);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

void writeFile(const std::filesystem::path& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::vector<std::string> readLines(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
#ifdef _WIN32
        // Text files end their lines with CR LF here.
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
#endif
        lines.push_back(line);
    }
    return lines;
}

SleepRecorder::SleepRecorder()
    : guard([this](std::uint32_t ms) {
          const std::lock_guard<std::mutex> lock(mutex);
          recorded.push_back(ms);
      })
{
}

std::filesystem::path distFile(const std::string& name)
{
    return std::filesystem::path(VARNEL_SOURCE_DIR) / "dist" / name;
}

} // namespace varnel::test
