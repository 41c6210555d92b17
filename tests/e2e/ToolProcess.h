#pragma once
// Runs a program as its own process with extra environment variables, collecting its
// standard output and error; for long-running ones, line-by-line reading and interrupting.
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

struct ToolResult {
    int exitCode = -1; // -1 when it did not end in time (it is killed then)
    std::string out;
    std::string err;
    double elapsedMs = 0;
};

class ToolProcess
{
public:
    using Env = std::map<std::string, std::string>;

    ToolProcess(const std::string& program, const std::vector<std::string>& args,
                const Env& env = {});
    ~ToolProcess(); // kills it if it still runs

    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    // The next whole line of standard output, without its line feed; empty on time-out.
    std::string readLine(int timeoutMs);
    void interrupt(); // SIGINT
    // Waits for the end, reading both streams meanwhile.
    ToolResult wait(int timeoutMs);

    static ToolResult run(const std::string& program, const std::vector<std::string>& args,
                          const Env& env = {}, int timeoutMs = 20000);

private:
    bool pump(int timeoutMs); // reads what is there; false when both streams are closed

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string outBuffer_;
    size_t outRead_ = 0; // bytes of outBuffer_ already handed out by readLine
    std::string errBuffer_;
    double startedMs_ = 0;
};
