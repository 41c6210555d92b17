#include "CommandSuggestion.h"

#include <algorithm>
#include <numeric>
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
    std::optional<std::string> best;
    size_t bestDistance = std::max<size_t>(2, word.size() / 3) + 1;
    for (CLI::App* sub : level.get_subcommands(std::function<bool(CLI::App*)>())) {
        const size_t distance = EditDistance(word, sub->get_name());
        if (distance < bestDistance) {
            bestDistance = distance;
            best = sub->get_name();
        }
    }
    return best;
}

} // namespace

size_t EditDistance(const std::string& a, const std::string& b)
{
    // Rows of the optimal-string-alignment table: two before this one are needed for swaps.
    std::vector<size_t> before(b.size() + 1), previous(b.size() + 1), row(b.size() + 1);
    std::iota(previous.begin(), previous.end(), size_t{0});
    for (size_t i = 1; i <= a.size(); ++i) {
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t replace = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            row[j] = std::min({previous[j] + 1, row[j - 1] + 1, replace});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                row[j] = std::min(row[j], before[j - 2] + 1);
        }
        before.swap(previous);
        previous.swap(row);
    }
    return previous[b.size()];
}

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
