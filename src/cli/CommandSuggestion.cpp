#include "CommandSuggestion.h"

#include "ClosestWord.h"

#include <algorithm>
#include <vector>

namespace {

constexpr size_t kListedChoices = 5;

// The chosen subcommand deepest in the chain, and the words that chose it ("audio ").
CLI::App* deepestChosen(CLI::App& app, std::string& words)
{
    CLI::App* level = &app;
    for (auto chosen = level->get_subcommands(); !chosen.empty();
         chosen = level->get_subcommands()) {
        level = chosen.front();
        words += level->get_name() + " ";
    }
    return level;
}

std::string firstWord(const std::vector<std::string>& arguments)
{
    const auto word = std::find_if(arguments.begin(), arguments.end(),
                                   [](const std::string& a) { return a.rfind('-', 0) != 0; });
    return word == arguments.end() ? std::string() : *word;
}

// The known name closest to the word, when it is close enough to be a slip of the fingers.
std::optional<std::string> closest(const std::string& word, CLI::App& level)
{
    std::vector<std::string> names;
    for (CLI::App* sub : level.get_subcommands(std::function<bool(CLI::App*)>()))
        names.push_back(sub->get_name());
    return ClosestWord(word, names);
}

} // namespace

std::optional<std::string> UnknownCommandMessage(CLI::App& app, const CLI::ParseError& error)
{
    if (!dynamic_cast<const CLI::RequiredError*>(&error) &&
        !dynamic_cast<const CLI::ExtrasError*>(&error))
        return std::nullopt;
    std::string chain;
    CLI::App* level = deepestChosen(app, chain);
    if (level->get_subcommands(std::function<bool(CLI::App*)>()).empty())
        return std::nullopt;
    const std::string word = firstWord(app.remaining(true));
    if (word.empty())
        return std::nullopt;
    const std::string message = "unknown command '" + chain + word + "'";
    if (const auto guess = closest(word, *level))
        return message + "; did you mean '" + chain + *guess + "'?";
    // A group's few commands are named at once; the long list at the top is in the help.
    const auto choices = level->get_subcommands(std::function<bool(CLI::App*)>());
    if (choices.size() > kListedChoices)
        return message + "; see 'tavloctl " + chain + "--help'";
    std::string names;
    for (const CLI::App* choice : choices)
        names += (names.empty() ? "" : ", ") + choice->get_name();
    return message + "; choose one of " + names;
}
