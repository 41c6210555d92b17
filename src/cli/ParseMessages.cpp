#include "ParseMessages.h"

#include "ClosestWord.h"
#include "CommandSuggestion.h"

namespace {

bool hasWords(const CLI::Option* opt)
{
    return opt->get_positional() && !opt->get_option_text().empty();
}

// The subcommands chosen, outermost first, and the words that chose them ("audio input").
std::vector<CLI::App*> chosenChain(CLI::App& app, std::string& words)
{
    std::vector<CLI::App*> chain{&app};
    for (auto chosen = app.get_subcommands(); !chosen.empty();
         chosen = chain.back()->get_subcommands()) {
        chain.push_back(chosen.front());
        words += (words.empty() ? "" : " ") + chosen.front()->get_name();
    }
    return chain;
}

// A command's words are missing: they are named, as its help shows them.
std::optional<std::string> missingWords(CLI::App& app, const CLI::ParseError& error)
{
    if (!dynamic_cast<const CLI::RequiredError*>(&error))
        return std::nullopt;
    std::string words;
    const std::vector<CLI::App*> chain = chosenChain(app, words);
    CLI::App* level = chain.back();
    const std::string command = "tavloctl" + (words.empty() ? "" : " " + words);
    for (const CLI::Option* opt : level->get_options()) {
        if (hasWords(opt) && opt->count() == 0)
            return "'" + command + "' needs " + opt->get_option_text() + "; see '" + command +
                   " --help'";
    }
    const auto subs = level->get_subcommands(std::function<bool(CLI::App*)>());
    if (level->get_require_subcommand_min() > 0 && !subs.empty() && level != &app) {
        std::string names;
        for (const CLI::App* sub : subs)
            names += (names.empty() ? "" : ", ") + sub->get_name();
        return "'" + command + "' needs one of " + names;
    }
    return std::nullopt;
}

// An option that no command of the chain takes, named with the closest that one does.
std::optional<std::string> unknownOption(CLI::App& app, const CLI::ParseError& error)
{
    if (!dynamic_cast<const CLI::ExtrasError*>(&error))
        return std::nullopt;
    std::string words;
    const std::vector<CLI::App*> chain = chosenChain(app, words);
    std::string given;
    for (const std::string& argument : app.remaining(true)) {
        if (argument.rfind("--", 0) == 0 && argument.size() > 2) {
            given = argument.substr(0, argument.find('='));
            break;
        }
    }
    if (given.empty())
        return std::nullopt;
    std::vector<std::string> known;
    for (const CLI::App* level : chain) {
        for (const CLI::Option* opt : level->get_options()) {
            for (const std::string& name : opt->get_lnames())
                known.push_back("--" + name);
        }
    }
    const std::string command = "tavloctl" + (words.empty() ? "" : " " + words);
    const std::string message = "unknown option '" + given + "'";
    if (const auto guess = ClosestWord(given, known))
        return message + "; did you mean '" + *guess + "'?";
    return message + "; see '" + command + " --help'";
}

} // namespace

std::string WordsFormatter::make_option_usage(const CLI::Option* opt) const
{
    return hasWords(opt) ? opt->get_option_text() : CLI::Formatter::make_option_usage(opt);
}

std::string WordsFormatter::make_option_name(const CLI::Option* opt, bool positional) const
{
    return hasWords(opt) ? opt->get_option_text()
                         : CLI::Formatter::make_option_name(opt, positional);
}

std::string WordsFormatter::make_option_opts(const CLI::Option* opt) const
{
    return hasWords(opt) ? std::string() : CLI::Formatter::make_option_opts(opt);
}

std::optional<std::string> ParseFailureMessage(CLI::App& app, const CLI::ParseError& error)
{
    if (auto message = UnknownCommandMessage(app, error))
        return message;
    // A value refused by its check already says which option and why.
    if (dynamic_cast<const CLI::ValidationError*>(&error))
        return std::string(error.what());
    if (auto message = missingWords(app, error))
        return message;
    return unknownOption(app, error);
}
