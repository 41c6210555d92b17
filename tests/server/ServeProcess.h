#pragma once
// `tavloctl serve` as its own process on a simulated matrix's pseudo-terminal, listening on free
// loopback ports, and tavloctl run once against it as a client would run it.
#include "MatrixSimulator.h"

#include <QProcess>
#include <QStringList>

namespace server_test {

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// tavloctl with the arguments, to its end (killed after the time).
ToolRun RunTavloctl(const QStringList& args, int timeoutMs = 20000);

class ServeProcess {
public:
    explicit ServeProcess(const std::string& portPath, const QStringList& extra = {});
    ~ServeProcess(); // killed if still running

    bool started() const { return rawPort_ != 0 && apiPort_ != 0; }
    quint16 rawPort() const { return rawPort_; }
    quint16 apiPort() const { return apiPort_; }
    QString socketUrl() const { return QStringLiteral("socket://127.0.0.1:%1").arg(rawPort_); }
    void signal(int number);
    // Waits for the end; the exit code, or -1 when it did not end in time.
    int waitEnded(int timeoutMs);
    QByteArray errors() { return process_.readAllStandardError(); }
    // What the server logs from now until a line holds the text (or timeoutMs has passed).
    QByteArray waitForLog(const QByteArray& text, int timeoutMs = 3000);

private:
    QProcess process_;
    quint16 rawPort_ = 0;
    quint16 apiPort_ = 0;
};

} // namespace server_test
