#pragma once
// The --mqtt-… options, as `serve` and `mqtt-forget` both take them.
#include "MqttOptions.h"

#include <CLI/CLI.hpp>

void AddMqttOptions(CLI::App& command, MqttArguments& mqtt);
