#include "ControlWords.h"

#include "Refusal.h"

#include <algorithm>
#include <cctype>
#include <span>

namespace {

const char* const kAudioModes[] = {"off", "h", "a"};
const char* const kEdidModes[] = {"default", "user", "hdmi", "hdbt"};

std::string lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

bool isNumber(std::string_view text)
{
    return !text.empty() && text.size() <= 3 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

template <size_t N> std::string wordFor(const char* const (&words)[N], int code)
{
    return code >= 0 && code < static_cast<int>(N) ? words[code] : std::to_string(code);
}

} // namespace

int ParseNumber(std::string_view text, int low, int high, std::string_view what)
{
    const int value = isNumber(text) ? std::stoi(std::string(text)) : -1;
    if (value < low || value > high)
        throw Refusal{RefusalCode::BadValue, std::string(what) + " must be a number from " +
                                                 std::to_string(low) + " to " +
                                                 std::to_string(high) + ", not " + quoted(text)};
    return value;
}

int ParseTarget(std::string_view text, int high, std::string_view what)
{
    if (lower(text) == "all")
        return kAllPorts;
    if (isNumber(text)) {
        const int value = std::stoi(std::string(text));
        if (value >= 1 && value <= high)
            return value;
    }
    throw Refusal{RefusalCode::BadValue, std::string(what) +
                                             " must be 'all' or a number from 1 to " +
                                             std::to_string(high) + ", not " + quoted(text)};
}

std::vector<int> ParseTargets(const std::vector<std::string>& texts, int high,
                              std::string_view what)
{
    std::vector<int> targets;
    for (const std::string& text : texts)
        targets.push_back(ParseTarget(text, high, what));
    return targets;
}

namespace {

int choiceIndex(std::string_view text, std::span<const char* const> choices, std::string_view what)
{
    const std::string word = lower(text);
    int index = 0;
    std::string list;
    for (const char* choice : choices) {
        if (word == choice)
            return index;
        list += (index++ ? ", " : "") + std::string(choice);
    }
    throw Refusal{RefusalCode::BadValue,
                  std::string(what) + " must be one of " + list + ", not " + quoted(text)};
}

} // namespace

int ParseChoice(std::string_view text, std::initializer_list<const char*> choices,
                std::string_view what)
{
    return choiceIndex(text, {choices.begin(), choices.size()}, what);
}

AudioInputMode ParseAudioMode(std::string_view word)
{
    return static_cast<AudioInputMode>(choiceIndex(word, kAudioModes, "the audio mode"));
}

EdidMode ParseEdidMode(std::string_view word)
{
    return static_cast<EdidMode>(choiceIndex(word, kEdidModes, "the EDID source"));
}

EdidMode ParseEdidOutputKind(std::string_view word)
{
    return ParseChoice(word, {"hdmi", "hdbt"}, "the output kind") == 0 ? EdidHdmi : EdidHdbt;
}

AudioPath ParseAudioPath(std::string_view word)
{
    return ParseChoice(word, {"iis", "spdif"}, "the audio path") == 0 ? AudioPath::Iis
                                                                      : AudioPath::Spdif;
}

PortGroup ParsePortGroup(std::string_view word)
{
    static const PortGroup groups[] = {PortGroup::Input, PortGroup::Hdmi, PortGroup::Hdbt};
    return groups[ParseChoice(word, {"input", "hdmi", "hdbt"}, "the port kind")];
}

bool ParseSwitch(std::string_view word, std::string_view what)
{
    return ParseChoice(word, {"off", "on"}, what) == 1;
}

std::string AudioModeWord(int mode) { return wordFor(kAudioModes, mode); }

std::string EdidModeWord(int mode) { return wordFor(kEdidModes, mode); }
