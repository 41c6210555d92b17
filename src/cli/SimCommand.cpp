// `tavloctl sim`: a simulated matrix on a pseudo-terminal or a TCP port, for trying the panel or
// a script without hardware.
#include "CliFailure.h"
#include "CommandRunner.h"
#include "InterruptWatcher.h"
#include "ListenAddress.h"
#include "MatrixCommands.h"
#include "MatrixSimulator.h"
#include "SimLink.h"

#include <QEventLoop>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

namespace
{

struct SimArgs {
    std::string link;
    std::string listen;
    std::string log;
    bool baudEmulation = false;
    int gapMs = 30;
    int restartMs = 3000;
    int dropReplies = 0;
    int corruptChecksums = 0;
    int closeAfter = -1;
};

std::FILE* openLog(const std::string& path)
{
    if (path.empty())
        return nullptr;
    if (path == "-")
        return stdout;
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (!file)
        throw UsageError{"cannot write the log " + path + ": " + std::strerror(errno)};
    return file;
}

SimulatorOptions optionsFor(const SimArgs& args, std::FILE* log)
{
    SimulatorOptions options;
    if (!args.listen.empty()) {
        QHostAddress address;
        quint16 port = 0;
        ParseListenAddress(args.listen, address, port);
        options.listenHost = address.toString().toStdString();
        options.listenPort = port;
    }
    options.idleGapMs = args.gapMs;
    options.restartSilenceMs = args.restartMs;
    options.lineRateBaud = args.baudEmulation ? 115200 : 0;
    if (log)
        options.onCommand = [log](const CommandRecord& record) {
            std::fprintf(log, "%s\n", FormatCommandRecord(record).c_str());
            std::fflush(log);
        };
    return options;
}

int runSim(const SimArgs& args)
{
    if (!args.link.empty() && !args.listen.empty())
        throw UsageError{"--link names a pseudo-terminal; with --listen there is none"};
    std::FILE* log = openLog(args.log);
    MatrixSimulator sim(optionsFor(args, log));
    std::string error;
    if (!sim.Start(&error))
        throw CliFailure{ExitPortError, error};
    sim.DropReplies(args.dropReplies);
    sim.CorruptChecksums(args.corruptChecksums);
    if (args.closeAfter >= 0)
        sim.CloseLineAfter(args.closeAfter);
    if (!args.link.empty())
        MakeSimLink(args.link, sim.SlavePath());
    PrintOut(sim.SlavePath() + "\n");
    std::cerr << "simulated matrix on " << sim.SlavePath()
              << (args.link.empty() ? "" : " (linked as " + args.link + ")")
              << "; interrupt to end it" << std::endl;

    QEventLoop loop;
    InterruptWatcher interrupts;
    QObject::connect(&interrupts, &InterruptWatcher::interrupted, &loop, &QEventLoop::quit);
    loop.exec();

    sim.Stop();
    if (!args.link.empty())
        RemoveSimLink(args.link, sim.SlavePath());
    if (log && log != stdout)
        std::fclose(log);
    return ExitOk;
}

} // namespace

void RegisterSimCommand(CLI::App& app, CliContext& context)
{
    auto args = std::make_shared<SimArgs>();
    CLI::App* sim = app.add_subcommand(
        "sim", "Run a simulated matrix on a pseudo-terminal (or, with --listen, a TCP port) and "
               "print what to open as the port: the path, or socket://ADDR:PORT. Runs until "
               "interrupted.");
    sim->add_option("--link", args->link, "also make a symbolic link at this path");
    sim->add_option("--listen", args->listen,
                    "serve on a TCP port instead, ADDR:PORT (port 0: any free one); one client at "
                    "a time")
        ->type_name("ADDR:PORT");
    sim->add_flag("--baud-emulation", args->baudEmulation,
                  "send replies no faster than a 115200 baud line would");
    sim->add_option("--log", args->log,
                    "append every command received, with its time, to FILE ('-': standard output)");
    sim->add_option("--gap", args->gapMs, "idle time in ms that ends a command (30)")
        ->check(CLI::Range(1, 10000));
    sim->add_option("--restart-ms", args->restartMs, "silence after a restart, in ms (3000)")
        ->check(CLI::Range(0, 600000));
    sim->add_option("--drop-replies", args->dropReplies,
                    "fault: drop the replies to this many commands (-1: all)")
        ->check(CLI::Range(-1, 1000000));
    sim->add_option("--corrupt-checksums", args->corruptChecksums,
                    "fault: corrupt the checksums of this many frames (-1: all)")
        ->check(CLI::Range(-1, 1000000));
    sim->add_option("--close-after", args->closeAfter,
                    "fault: close the line (device lost) after this many commands")
        ->check(CLI::Range(0, 1000000));
    sim->callback([&context, args] { RunGuarded(context, [&] { return runSim(*args); }); });
}
