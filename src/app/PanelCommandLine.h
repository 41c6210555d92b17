#pragma once
// The panel's command line:
//
//   --simulate    serve a simulated matrix on a pseudo-terminal, first in the port list
//   --port PATH   offer a device (or a socket://HOST:PORT, tls://HOST:PORT) the system does
//                 not list; the first one named is the chosen port at start (repeatable)
//   --token-file FILE  the token a server behind a network port asks for (TAVLO_TOKEN_FILE
//                 when absent)
//   --tls-ca FILE the CA certificate a tls:// server's must verify by (the system's otherwise)
//
// --help and --version are answered before the application object exists, so on a machine
// without a display too.
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

class QCoreApplication;

struct PanelOptions {
    bool simulate = false;
    QStringList ports;
    QString tokenFile;
    QString tlsCa;
};

class PanelCommandLine {
public:
    PanelCommandLine();

    // Answers --help or --version on the console and ends the program; returns when neither
    // was asked. Needs the application's name and version set, and no application object.
    static void AnswerInfoRequests(int argc, char** argv);

    // The options given to the running application; a bad one is reported and ends the
    // program.
    PanelOptions Read(const QCoreApplication& app);

private:
    QCommandLineParser parser_;
    QCommandLineOption help_;
    QCommandLineOption version_;
    QCommandLineOption simulate_;
    QCommandLineOption port_;
    QCommandLineOption tokenFile_;
    QCommandLineOption tlsCa_;
};
