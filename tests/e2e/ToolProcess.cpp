#include "ToolProcess.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

std::vector<std::string> environmentWith(const ToolProcess::Env& extra)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!extra.count(entry.substr(0, entry.find('='))))
            env.push_back(entry);
    }
    for (const auto& [name, value] : extra)
        env.push_back(name + "=" + value);
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> list;
    for (auto& s : strings)
        list.push_back(s.data());
    list.push_back(nullptr);
    return list;
}

} // namespace

ToolProcess::ToolProcess(const std::string& program, const std::vector<std::string>& args,
                         const Env& env)
{
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> envp = environmentWith(env);
    auto argPointers = pointers(argv);
    auto envPointers = pointers(envp);
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
        return;
    startedMs_ = nowMs();
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        ::execve(program.c_str(), argPointers.data(), envPointers.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    out_ = outPipe[0];
    err_ = errPipe[0];
}

ToolProcess::~ToolProcess()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    for (int fd : {out_, err_}) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool ToolProcess::pump(int timeoutMs)
{
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (out_ < 0 && err_ < 0)
        return false;
    if (::poll(fds, 2, timeoutMs) <= 0)
        return true;
    int* fdsOwned[2] = {&out_, &err_};
    std::string* buffers[2] = {&outBuffer_, &errBuffer_};
    for (int i = 0; i < 2; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char chunk[4096];
        const ssize_t n = ::read(*fdsOwned[i], chunk, sizeof chunk);
        if (n > 0) {
            buffers[i]->append(chunk, static_cast<size_t>(n));
            continue;
        }
        ::close(*fdsOwned[i]);
        *fdsOwned[i] = -1;
    }
    return out_ >= 0 || err_ >= 0;
}

std::string ToolProcess::readLine(int timeoutMs)
{
    const double deadline = nowMs() + timeoutMs;
    for (;;) {
        const size_t end = outBuffer_.find('\n', outRead_);
        if (end != std::string::npos) {
            std::string line = outBuffer_.substr(outRead_, end - outRead_);
            outRead_ = end + 1;
            return line;
        }
        const double left = deadline - nowMs();
        if (left <= 0 || !pump(static_cast<int>(left)))
            return {};
    }
}

void ToolProcess::interrupt()
{
    if (pid_ > 0)
        ::kill(pid_, SIGINT);
}

ToolResult ToolProcess::wait(int timeoutMs)
{
    ToolResult result;
    const double deadline = nowMs() + timeoutMs;
    while (nowMs() < deadline && pump(static_cast<int>(deadline - nowMs()))) {
    }
    int status = 0;
    pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == 0 && nowMs() >= deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        status = -1;
    } else if (done == 0) {
        ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    result.exitCode = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = outBuffer_;
    result.err = errBuffer_;
    result.elapsedMs = nowMs() - startedMs_;
    return result;
}

ToolResult ToolProcess::run(const std::string& program, const std::vector<std::string>& args,
                            const Env& env, int timeoutMs)
{
    ToolProcess process(program, args, env);
    return process.wait(timeoutMs);
}
