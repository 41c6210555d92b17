#pragma once
// Numbers and words as people write them, read the same way whether they come from the command
// line, a JSON request or an MQTT payload. Words are case-insensitive. A text that does not
// read throws a Refusal (bad_value) that names it and says what was expected; `what` names
// the value in that message ("input", "the audio mode").
#include "HostCommands.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// A target number that addresses every port of its kind ("all").
inline constexpr int kAllPorts = 0;

enum class AudioPath { Iis, Spdif };

// A decimal number from low to high.
int ParseNumber(std::string_view text, int low, int high, std::string_view what);
// "all" (kAllPorts) or a number from 1 to high.
int ParseTarget(std::string_view text, int high, std::string_view what);
// Each text read by ParseTarget, in order. Lists are checked by the requests that take them.
std::vector<int> ParseTargets(const std::vector<std::string>& texts, int high,
                              std::string_view what);
// The position of the text among the choices.
int ParseChoice(std::string_view text, std::initializer_list<const char*> choices,
                std::string_view what);

AudioInputMode ParseAudioMode(std::string_view word);           // off|h|a
EdidMode ParseEdidMode(std::string_view word);                  // default|user|hdmi|hdbt
EdidMode ParseEdidOutputKind(std::string_view word);            // hdmi|hdbt
AudioPath ParseAudioPath(std::string_view word);                // iis|spdif
PortGroup ParsePortGroup(std::string_view word);                // input|hdmi|hdbt
bool ParseSwitch(std::string_view word, std::string_view what); // on|off

// The words for the codes the matrix reports, the same words the requests take. A code
// without a word is written as its number.
std::string AudioModeWord(int mode);
std::string EdidModeWord(int mode);
