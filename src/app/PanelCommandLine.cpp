#include "PanelCommandLine.h"

#include <QCoreApplication>

PanelCommandLine::PanelCommandLine()
    : help_(parser_.addHelpOption()), version_(parser_.addVersionOption()),
      simulate_(QStringLiteral("simulate"),
                QStringLiteral("Offer a simulated matrix as the first port.")),
      port_(QStringLiteral("port"),
            QStringLiteral("Offer a serial device (or socket://HOST:PORT, tls://HOST:PORT) the "
                           "system does not list, chosen at start."),
            QStringLiteral("PATH")),
      tokenFile_(QStringLiteral("token-file"),
                 QStringLiteral("The token a server behind a socket:// or tls:// port asks for, "
                                "on the first line of FILE (default: $TAVLO_TOKEN_FILE)."),
                 QStringLiteral("FILE")),
      tlsCa_(QStringLiteral("tls-ca"),
             QStringLiteral("With tls://: the CA certificate (PEM), or the server's own "
                            "self-signed one, that its certificate must verify by; the "
                            "system's CAs otherwise."),
             QStringLiteral("FILE"))
{
    parser_.setApplicationDescription(QStringLiteral("Control panel of the 4x8 HDMI2.0 Matrix"));
    parser_.addOption(simulate_);
    parser_.addOption(port_);
    parser_.addOption(tokenFile_);
    parser_.addOption(tlsCa_);
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
    return {parser_.isSet(simulate_), parser_.values(port_), parser_.value(tokenFile_),
            parser_.value(tlsCa_)};
}
