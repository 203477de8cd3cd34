#include "UpssimRunner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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

} // namespace varnel::test
