#pragma once
// Checks of what the user typed, made before the port is opened so that nothing at all is
// sent when any of it is wrong. Each throws UsageError with a message naming the value.
#include <initializer_list>
#include <string>
#include <vector>

// A decimal number from low to high.
int ParseNumber(const std::string& text, int low, int high, const std::string& what);
// "all" (0, every port) or a number from 1 to high.
int ParseTarget(const std::string& text, int high, const std::string& what);
// Numbers from 1 to high, each once, in the order given; or "all" alone, giving {0}.
std::vector<int> ParseTargets(const std::vector<std::string>& texts, int high,
                              const std::string& what);
// The position of text among the choices (case-insensitive).
int ParseChoice(const std::string& text, std::initializer_list<const char*> choices,
                const std::string& what);
// A port or scene name, typed as UTF-8, as the matrix stores it: code page 936, at most
// 16 bytes, no '#' and no control characters, not empty.
std::string EncodeName(const std::string& utf8);
// Free text for the line: code page 936, line breaks sent as "\r\n".
std::string EncodeFreeText(const std::string& utf8);
// A static address setting as the Network page accepts it. A gateway outside the address's
// segment is refused unless allowed.
void CheckStaticAddress(const std::string& ip, const std::string& mask, const std::string& gw,
                        bool allowOtherSegment);
