#pragma once
// A mistyped subcommand, named back with the closest one it could have meant.
#include <CLI/CLI.hpp>
#include <optional>
#include <string>

// After a failed parse: when the word in a subcommand's place is no subcommand at that level,
// the message that names it ("unknown command 'stauts'; did you mean 'status'?").
std::optional<std::string> UnknownCommandMessage(CLI::App& app, const CLI::ParseError& error);
