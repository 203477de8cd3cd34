#include "support/UpssimRunner.h"

#include "device/VarnelDevice.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <thread>

namespace varnel::test {

Upssim::Upssim(std::vector<std::string> args)
{
    args.insert(args.begin(), VARNEL_BINARY_DIR "/bin/upssim");
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid = fork();
    if (pid == 0) {
        const int out = ::open("upssim.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(out, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
}

Upssim::~Upssim()
{
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

int Upssim::stop(bool terminate)
{
    if (pid <= 0)
        return -1;
    if (terminate)
        kill(pid, SIGTERM);
    for (int waited = 0; waited < kWaitMs; waited += 10) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

bool waitForFile(const std::filesystem::path& path)
{
    for (int waited = 0; waited < kWaitMs; waited += 10) {
        if (std::filesystem::exists(path))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool exportReadyEnvironment(const std::filesystem::path& readyFile)
{
    std::ifstream in(readyFile);
    std::string line;
    bool any = false;
    while (std::getline(in, line)) {
        const std::string prefix = "export ";
        const std::size_t equals = line.find('=');
        if (line.rfind(prefix, 0) != 0 || equals == std::string::npos)
            continue;
        std::string value = line.substr(equals + 1);
        if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'')
            value = value.substr(1, value.size() - 2);
        setenv(line.substr(prefix.size(), equals - prefix.size()).c_str(), value.c_str(), 1);
        any = true;
    }
    return any;
}

namespace {

// The text of `"name":` up to the next comma or brace, quotes removed.
std::string field(const std::string& line, const std::string& name)
{
    const std::string key = "\"" + name + "\":";
    const std::size_t at = line.find(key);
    if (at == std::string::npos)
        return {};
    std::size_t begin = at + key.size();
    std::size_t end = begin;
    if (begin < line.size() && line[begin] == '"') {
        ++begin;
        end = line.find('"', begin);
    } else {
        end = line.find_first_of(",}", begin);
    }
    return end == std::string::npos ? std::string() : line.substr(begin, end - begin);
}

std::uint32_t number(const std::string& text)
{
    return static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
}

} // namespace

bool isIndexSelection(const JournalWrite& write)
{
    return write.field == "batteryTableIndex" || write.field == "cTableIndex";
}

std::vector<JournalWrite> journalWrites(const std::filesystem::path& journal, const std::string& unit)
{
    std::vector<JournalWrite> found;
    for (const std::string& line : readLines(journal)) {
        if (field(line, "event") != "write" || field(line, "unit") != unit)
            continue;
        JournalWrite write;
        write.unit = unit;
        write.field = field(line, "field");
        const std::string index = field(line, "index");
        write.index = index.empty() ? -1 : static_cast<int>(number(index));
        write.value = number(field(line, "value"));
        write.stored = number(field(line, "stored"));
        found.push_back(write);
    }
    return found;
}

std::size_t journalRequests(const std::filesystem::path& journal, const std::string& unit)
{
    std::size_t count = 0;
    for (const std::string& line : readLines(journal))
        if (field(line, "event") == "request" && field(line, "unit") == unit &&
            field(line, "what") != "info" && field(line, "what") != "descriptor")
            ++count;
    return count;
}

void expectJournalHolds(const std::vector<JournalWrite>& writes, const std::string& unit,
                        const VarnelDevice& device)
{
    std::map<int, std::uint32_t> battery;
    std::map<int, std::uint32_t> cTable;
    std::map<std::string, std::uint32_t> single;
    for (const JournalWrite& write : writes) {
        if (isIndexSelection(write))
            continue;
        EXPECT_EQ(write.stored, write.value) << unit << " " << write.field << " " << write.index;
        if (write.field == "batteryTable")
            battery[write.index] = write.value;
        else if (write.field == "cTable")
            cTable[write.index] = write.value;
        else
            single[write.field] = write.value;
    }
    const auto& expectedBattery = device.getBatteryTableValues();
    ASSERT_EQ(battery.size(), expectedBattery.size()) << unit;
    for (std::size_t i = 0; i < expectedBattery.size(); ++i)
        EXPECT_EQ(battery[static_cast<int>(i)], expectedBattery[i]) << unit << " battery table " << i;
    const auto& expectedC = device.getCTableValues();
    ASSERT_EQ(cTable.size(), expectedC.size()) << unit;
    for (std::size_t i = 0; i < expectedC.size(); ++i)
        EXPECT_EQ(cTable[static_cast<int>(i)], expectedC[i]) << unit << " C table " << i;
    EXPECT_EQ(single["cTableHighB"], device.getCTableHighB()) << unit;
    EXPECT_EQ(single["externalBatteryCount"], static_cast<std::uint32_t>(device.getExternalBatteryCount()))
        << unit;
    EXPECT_EQ(single.size(), 2u) << unit;
}

} // namespace varnel::test
