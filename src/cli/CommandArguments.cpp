#include "CommandArguments.h"

#include "AddressCheck.h"
#include "CliCommands.h"
#include "Cp936.h"

#include <QString>
#include <algorithm>
#include <cctype>

namespace
{

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string quoted(const std::string& text)
{
    return "'" + text + "'";
}

// The first part of the address as the page checks it while it is typed.
void checkFirstOctet(const std::string& ip)
{
    const int first = LeadingNumber(ip);
    if (first == 127)
        throw UsageError{"Invalid IP address starting with 127"};
    if (first < 1 || first > 223)
        throw UsageError{std::to_string(first) +
                         " is not valid. Please specify a value between 1 and 223."};
}

} // namespace

int ParseNumber(const std::string& text, int low, int high, const std::string& what)
{
    const bool digits =
        !text.empty() && text.size() <= 3 &&
        std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
    const int value = digits ? std::stoi(text) : -1;
    if (value < low || value > high)
        throw UsageError{what + " must be a number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not " + quoted(text)};
    return value;
}

int ParseTarget(const std::string& text, int high, const std::string& what)
{
    if (lower(text) == "all")
        return 0;
    try {
        return ParseNumber(text, 1, high, what);
    } catch (const UsageError&) {
        throw UsageError{what + " must be 'all' or a number from 1 to " + std::to_string(high) +
                         ", not " + quoted(text)};
    }
}

std::vector<int> ParseTargets(const std::vector<std::string>& texts, int high,
                              const std::string& what)
{
    std::vector<int> targets;
    for (const std::string& text : texts) {
        const int target = ParseTarget(text, high, what);
        if (target == 0 && texts.size() > 1)
            throw UsageError{"'all' stands alone: no other " + what + " with it"};
        if (std::find(targets.begin(), targets.end(), target) == targets.end())
            targets.push_back(target);
    }
    if (targets.empty())
        throw UsageError{"no " + what + " given"};
    return targets;
}

int ParseChoice(const std::string& text, std::initializer_list<const char*> choices,
                const std::string& what)
{
    int index = 0;
    std::string list;
    for (const char* choice : choices) {
        if (lower(text) == choice)
            return index;
        list += (index++ ? ", " : "") + std::string(choice);
    }
    throw UsageError{what + " must be one of " + list + ", not " + quoted(text)};
}

std::string EncodeName(const std::string& utf8)
{
    const QString name = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    if (name.isEmpty())
        throw UsageError{"the name is empty"};
    const NameCheck check = CheckName(name);
    if (!check.bytes)
        throw UsageError{check.error.toStdString()};
    return check.bytes->toStdString();
}

std::string EncodeFreeText(const std::string& utf8)
{
    QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    text.replace("\r\n", "\n").replace('\n', "\r\n");
    const auto bytes = EncodeCp936(text);
    if (!bytes)
        throw UsageError{"the text holds characters that code page 936 cannot carry"};
    if (bytes->isEmpty())
        throw UsageError{"the text is empty"};
    return bytes->toStdString();
}

void CheckStaticAddress(const std::string& ip, const std::string& mask, const std::string& gw,
                        bool allowOtherSegment)
{
    checkFirstOctet(ip);
    for (const std::string* text : {&ip, &mask, &gw}) {
        if (!CheckAddressText(*text))
            throw UsageError{
                "Please check IP & MASK & GW: " + quoted(*text) +
                " is not an address of four parts from 0 to 255, the last at most 254"};
    }
    if (!allowOtherSegment && !IsSameSegment(ip, mask, gw))
        throw UsageError{"The default gateway is not on the same network segment as the IP "
                         "address and the subnet mask; add --yes to send it anyway"};
}
