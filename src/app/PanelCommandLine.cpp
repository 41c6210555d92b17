#include "PanelCommandLine.h"

#include <QCoreApplication>

PanelCommandLine::PanelCommandLine()
    : help_(parser_.addHelpOption()), version_(parser_.addVersionOption()),
      simulate_(QStringLiteral("simulate"),
                QStringLiteral("Offer a simulated matrix as the first port.")),
      port_(QStringLiteral("port"),
            QStringLiteral("Offer a serial device (or socket://HOST:PORT) the system does not "
                           "list, chosen at start."),
            QStringLiteral("PATH"))
{
    parser_.setApplicationDescription(QStringLiteral("Control panel of the 4x8 HDMI2.0 Matrix"));
    parser_.addOption(simulate_);
    parser_.addOption(port_);
}

void PanelCommandLine::AnswerInfoRequests(int argc, char** argv)
{
    // A core application gives the parser the program's name and arguments without asking
    // for a window system.
    QCoreApplication core(argc, argv);
    PanelCommandLine line;
    // Options it does not know, the window system's own among them, wait for Read.
    (void)line.parser_.parse(QCoreApplication::arguments());
    if (line.parser_.isSet(line.help_))
        line.parser_.showHelp(0);
    // The parser's own --help-all lists the window system's options too, and ends the program.
    if (line.parser_.isSet(QStringLiteral("help-all")))
        line.parser_.process(core);
    if (line.parser_.isSet(line.version_))
        line.parser_.showVersion();
}

PanelOptions PanelCommandLine::Read(const QCoreApplication& app)
{
    parser_.process(app);
    return {parser_.isSet(simulate_), parser_.values(port_)};
}
