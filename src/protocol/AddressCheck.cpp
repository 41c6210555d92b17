#include "AddressCheck.h"

#include <array>
#include <cstdint>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

// The four parts split at the first three dots; the fourth keeps everything after the third.
std::array<std::string_view, 4> splitFour(std::string_view text)
{
    std::array<std::string_view, 4> parts{};
    for (size_t i = 0; i < 3; ++i) {
        const size_t dot = text.find('.');
        if (dot == std::string_view::npos) {
            parts[i] = text;
            return parts;
        }
        parts[i] = text.substr(0, dot);
        text.remove_prefix(dot + 1);
    }
    parts[3] = text;
    return parts;
}

// What is wrong with the characters of the text, or nothing. A blank or a sign is named,
// because a reader cannot see the one and takes the other for part of the number.
std::string strayCharacter(std::string_view text)
{
    for (char c : text) {
        if (c == ' ' || c == '\t')
            return " contains a blank";
        if (c == '+' || c == '-')
            return " contains a sign; write each part as a plain number";
        if (!isDigit(c) && c != '.')
            return " may hold only digits and dots";
    }
    return {};
}

std::string partProblem(std::string_view part, size_t index)
{
    const std::string which = ": part " + std::to_string(index + 1);
    if (part.empty())
        return " has an empty part";
    if (part.size() > 3)
        return which + " has more than three digits";
    if (index == 3 && LeadingNumber(part) > 254)
        return ": the last part is above 254";
    if (LeadingNumber(part) > 255)
        return which + " is above 255";
    return {};
}

// What the Network page has always refused, in words; empty when the text passes that.
std::string formProblem(std::string_view text)
{
    if (text.size() > kMaxAddressText)
        return "the address is longer than 127 characters";
    if (text.empty())
        return "the address is empty";
    if (std::string stray = strayCharacter(text); !stray.empty())
        return quoted(text) + stray;
    size_t dots = 0;
    for (char c : text)
        dots += c == '.';
    if (dots != 3)
        return quoted(text) + " is not four numbers joined by dots";
    const auto parts = splitFour(text);
    for (size_t i = 0; i < parts.size(); ++i) {
        if (std::string problem = partProblem(parts[i], i); !problem.empty())
            return quoted(text) + problem;
    }
    return {};
}

uint32_t addressValue(std::string_view text)
{
    uint32_t value = 0;
    for (std::string_view part : splitFour(text))
        value = value << 8 | static_cast<uint32_t>(LeadingNumber(part));
    return value;
}

} // namespace

int LeadingNumber(std::string_view text)
{
    int value = 0;
    for (char c : text) {
        if (!isDigit(c))
            break;
        value = value > 100000 ? value : value * 10 + (c - '0');
    }
    return value;
}

AddressVerdict CheckAddress(std::string_view text)
{
    if (std::string problem = formProblem(text); !problem.empty())
        return {AddressFault::Malformed, std::move(problem)};
    const auto parts = splitFour(text);
    for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].size() > 1 && parts[i][0] == '0')
            return {AddressFault::LeadingZero,
                    quoted(text) + ": part " + std::to_string(i + 1) +
                        " has a leading zero, which devices read as octal or as decimal"};
    }
    return {};
}

AddressVerdict CheckMask(std::string_view text)
{
    AddressVerdict verdict = CheckAddress(text);
    if (!verdict.passes())
        return verdict;
    // One-bits from the left and nothing after them: the zero-bits below are one run.
    const uint32_t zeros = ~addressValue(text);
    if (zeros == UINT32_MAX || (zeros & (zeros + 1)) != 0)
        return {AddressFault::NotAMask,
                quoted(text) + " is not a subnet mask: its one-bits must run unbroken from the "
                               "left, as in 255.255.255.0"};
    return verdict;
}

bool IsSameSegment(std::string_view ip, std::string_view mask, std::string_view gateway)
{
    const auto ipParts = splitFour(ip);
    const auto maskParts = splitFour(mask);
    const auto gwParts = splitFour(gateway);
    for (size_t i = 0; i < 4; ++i) {
        const int m = LeadingNumber(maskParts[i]);
        if ((LeadingNumber(ipParts[i]) & m) != (LeadingNumber(gwParts[i]) & m))
            return false;
    }
    return true;
}
