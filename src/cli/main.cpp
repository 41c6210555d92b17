// tavloctl: the matrix from scripts and the command line.
#include "CliCommands.h"
#include "CommandSuggestion.h"
#include "ConsoleText.h"
#include "MatrixCommands.h"
#include "ParseMessages.h"
#include "Refusal.h"
#include "TavloVersion.h"

#include <QCoreApplication>
#include <algorithm>
#include <iostream>

namespace {

const char kExitCodes[] = "Exit codes: 0 ok, 2 usage or refused input, 3 port error (cannot open, "
                          "lost), 4 no reply in time.\n";

void addGlobalOptions(CLI::App& app, CliContext& context)
{
    app.set_version_flag("--version", std::string("tavloctl ") + TAVLO_VERSION,
                         "print the version and exit");
    app.add_option("--port", context.port,
                   "serial port: a name from `tavloctl ports` or a path; socket://HOST:PORT or "
                   "tls://HOST:PORT for a matrix served on the network")
        ->type_name("PORT");
    app.add_option("--token-file", context.tokenFile,
                   "the token a server behind --port asks for, on the first line of FILE "
                   "(default: $TAVLO_TOKEN_FILE)")
        ->type_name("FILE");
    app.add_option("--tls-ca", context.tlsCa,
                   "with tls://: the CA certificate (PEM), or the server's own self-signed one, "
                   "that its certificate must verify by; the system's CAs otherwise")
        ->type_name("FILE");
    app.add_option("--timeout", context.timeoutS,
                   "seconds to wait for the matrix before giving up with exit 4: for the whole "
                   "state with status (default 30), for the confirmation or answer with --wait "
                   "(default 5)")
        ->type_name("SECONDS")
        ->check(SecondsValidator(0.1, 86400));
    app.add_option("--repeat", context.repeatS,
                   "seconds between status's requests while it waits for the whole state "
                   "(default 3.6)")
        ->type_name("SECONDS")
        ->check(SecondsValidator(0.1, 3600));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication qtApp(argc, argv);
    PrepareConsole();
    CLI::App app{"tavloctl: control a 4x8 HDMI2.0 Matrix over its serial line, run a simulated "
                 "matrix, or decode what a matrix sent."};
    app.formatter(std::make_shared<WordsFormatter>());
    app.require_subcommand(1);
    app.footer(kExitCodes);
    CliContext context;
    addGlobalOptions(app, context);
    RegisterDecodeCommand(app, context);
    RegisterMatrixCommands(app, context);

    try {
        std::vector<std::string> arguments = Utf8Arguments(argc, argv);
        // CLI11 takes them last first, without the program's name, which names it in help.
        app.name(arguments.front());
        arguments.erase(arguments.begin());
        std::reverse(arguments.begin(), arguments.end());
        app.parse(arguments);
    } catch (const CLI::ParseError& error) {
        if (const auto unknown = ParseFailureMessage(app, error)) {
            std::cerr << "tavloctl: " << *unknown << "\n";
            return ExitUsage;
        }
        const int code = app.exit(error);
        return code == 0 ? ExitOk : ExitUsage;
    } catch (const UsageError& error) {
        std::cerr << "tavloctl: " << error.message << "\n";
        return ExitUsage;
    } catch (const Refusal& refusal) {
        std::cerr << "tavloctl: " << refusal.message << "\n";
        return ExitUsage;
    }
    return context.exitCode;
}
