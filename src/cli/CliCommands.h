#pragma once
// tavloctl's subcommands. Each Register* adds one subcommand (or a group) to the parser; its
// callback stores the process's exit code in the context.
#include <CLI/CLI.hpp>
#include <string>

enum ExitCode { ExitOk = 0, ExitFailure = 1, ExitUsage = 2, ExitPortError = 3, ExitNoReply = 4 };

struct CliContext {
    std::string port;     // --port: a name from `tavloctl ports` or a device path
    double timeoutS = -1; // --timeout: how long to wait for the matrix; negative: the default
    double repeatS = 3.6; // --repeat: how often status asks again meanwhile
    std::string tokenFile; // --token-file: the token a server behind the port asks for
    std::string tlsCa;     // --tls-ca: the CA (or certificate) a tls:// server must verify by
    int exitCode = ExitOk;
};

// Bad input found after parsing (a malformed value, a file too large): exit code 2.
struct UsageError {
    std::string message;
};

// A number of seconds from low to high; its refusal says so in words ("must be seconds from 0
// to 86400, not '-1'"), not in the parser's own.
CLI::Validator SecondsValidator(double low, double high);

void RegisterDecodeCommand(CLI::App& app, CliContext& context);
