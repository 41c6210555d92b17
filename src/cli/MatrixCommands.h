#pragma once
// tavloctl's subcommands that open a port or serve one: ports, status, monitor, send, sim, and
// the actions that change the matrix.
#include "CliCommands.h"

void RegisterPortCommands(CLI::App& app, CliContext& context);   // ports, status, monitor, send
void RegisterActionCommands(CLI::App& app, CliContext& context); // route ... factory
void RegisterSimCommand(CLI::App& app, CliContext& context);     // sim
void RegisterServeCommand(CLI::App& app, CliContext& context);   // serve
void RegisterMqttForgetCommand(CLI::App& app, CliContext& context); // mqtt-forget

// All of the above.
void RegisterMatrixCommands(CLI::App& app, CliContext& context);

// --port must have been given; exit 2 otherwise.
void RequirePort(const CliContext& context);
