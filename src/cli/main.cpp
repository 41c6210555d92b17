// tavloctl: the matrix from scripts and the command line.
#include "CliCommands.h"
#include "MatrixCommands.h"

#include <QCoreApplication>
#include <iostream>

int main(int argc, char** argv)
{
    QCoreApplication qtApp(argc, argv);
    CLI::App app{"tavloctl: control a 4x8 HDMI2.0 Matrix over its serial line, run a simulated "
                 "matrix, or decode what a matrix sent."};
    app.require_subcommand(1);
    CliContext context;
    app.add_option("--port", context.port, "serial port: a name from `tavloctl ports` or a path");
    RegisterDecodeCommand(app, context);
    RegisterMatrixCommands(app, context);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? ExitOk : ExitUsage;
    } catch (const UsageError& error) {
        std::cerr << "tavloctl: " << error.message << "\n";
        return ExitUsage;
    }
    return context.exitCode;
}
