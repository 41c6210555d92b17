#pragma once
// What tavloctl says when its command line does not parse, in words a user knows rather than
// the parser's own ("ARGS is required", "ARGS TEXT ... REQUIRED"): a missing argument names
// the words the command takes, a mistyped option is named with the one it could have meant.
#include <CLI/CLI.hpp>
#include <optional>
#include <string>

// Help and usage lines that show a positional by its words ("INPUT OUTPUT...|all"), taken from
// its option text, where one is set.
class WordsFormatter : public CLI::Formatter {
public:
    std::string make_option_usage(const CLI::Option* opt) const override;
    std::string make_option_name(const CLI::Option* opt, bool positional) const override;
    std::string make_option_opts(const CLI::Option* opt) const override;
};

// The message for a failed parse, when there is a better one than the parser's.
std::optional<std::string> ParseFailureMessage(CLI::App& app, const CLI::ParseError& error);
