#pragma once
// A subcommand that cannot finish: the exit code (port error, no reply) and the message.
#include <string>

struct CliFailure {
    int exitCode;
    std::string message;
};
