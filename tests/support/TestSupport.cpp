#include "support/TestSupport.h"

#include "settings/Log.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace varnel::test {

TempDir::TempDir() : previous(std::filesystem::current_path())
{
    std::string pattern = (std::filesystem::temp_directory_path() / "varnel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary directory");
    dir = pattern;
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
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

SleepRecorder::SleepRecorder() : guard([this](std::uint32_t ms) { recorded.push_back(ms); }) {}

std::filesystem::path distFile(const std::string& name)
{
    return std::filesystem::path(VARNEL_SOURCE_DIR) / "dist" / name;
}

} // namespace varnel::test
