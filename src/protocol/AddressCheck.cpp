#include "AddressCheck.h"

#include <array>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool partPasses(std::string_view part, int maximum)
{
    if (part.empty() || part.size() > 3)
        return false;
    for (char c : part) {
        if (!isDigit(c))
            return false;
    }
    return LeadingNumber(part) <= maximum;
}

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

bool CheckAddressText(std::string_view text)
{
    if (text.size() > kMaxAddressText)
        return false;
    size_t dots = 0;
    for (char c : text)
        dots += c == '.';
    if (dots != 3)
        return false;
    const auto parts = splitFour(text);
    return partPasses(parts[0], 255) && partPasses(parts[1], 255) && partPasses(parts[2], 255) &&
           partPasses(parts[3], 254);
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
