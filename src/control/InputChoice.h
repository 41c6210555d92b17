#pragma once
// An input as people name it, the one rule for every front end (tavloctl route, the JSON API,
// MQTT): its number, or its name as the matrix holds it. A name matches exactly first, then
// ignoring case; either way it must name one input only. Anything else is refused (bad_value)
// with the inputs' names in the message.
#include "DeviceStatus.h"

#include <QJsonObject>

#include <string>
#include <string_view>
#include <vector>

// Whether the text reads as a port number at all (digits only), so that no name is needed.
bool IsPortNumberText(std::string_view text);

// names: the inputs' names in UTF-8, input 1 first (empty where unknown). what: how the
// message calls the value ("input").
int ParseInputChoice(std::string_view text, const std::vector<std::string>& names,
                     std::string_view what = "input");

// The inputs' names as the status holds them, decoded to UTF-8; empty until the table came.
std::vector<std::string> InputNames(const DeviceStatus& status);
// The same read from a state document (inputs[].name), for a front end that holds one.
std::vector<std::string> InputNames(const QJsonObject& state);
