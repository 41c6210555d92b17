#include "ServeProcess.h"

#include <QTest>
#include <csignal>

namespace server_test {

namespace {

// "raw 127.0.0.1:40123": the port after the last colon.
quint16 portOf(const QByteArray& line)
{
    return quint16(line.trimmed().split(':').last().toUInt());
}

} // namespace

ToolRun RunTavloctl(const QStringList& args, int timeoutMs)
{
    QProcess tool;
    tool.start(TAVLOCTL_PATH, args);
    ToolRun run;
    // Waiting with the event loop running: a server in this process may have to answer.
    if (!QTest::qWaitFor([&] { return tool.state() == QProcess::NotRunning; }, timeoutMs)) {
        tool.kill();
        tool.waitForFinished();
        return run;
    }
    // A program that never started has no exit code worth the name: QProcess says 0.
    if (tool.error() == QProcess::FailedToStart) {
        run.err = tool.errorString().toUtf8();
        return run;
    }
    run.exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    run.out = tool.readAllStandardOutput();
    run.err = tool.readAllStandardError();
    return run;
}

ServeProcess::ServeProcess(const std::string& portPath, const QStringList& extra)
{
    process_.start(TAVLOCTL_PATH, QStringList{"--port", QString::fromStdString(portPath), "serve",
                                              "--listen", "127.0.0.1:0", "--api", "127.0.0.1:0"} +
                                      extra);
    const auto lines = [this] {
        return process_.canReadLine() && process_.peek(4096).count('\n') >= 2;
    };
    if (!QTest::qWaitFor(lines, 10000))
        return;
    rawPort_ = portOf(process_.readLine());
    apiPort_ = portOf(process_.readLine());
}

ServeProcess::~ServeProcess()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

void ServeProcess::signal(int number)
{
    if (process_.state() == QProcess::Running)
        ::kill(pid_t(process_.processId()), number);
}

int ServeProcess::waitEnded(int timeoutMs)
{
    if (!QTest::qWaitFor([this] { return process_.state() == QProcess::NotRunning; }, timeoutMs))
        return -1;
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

QByteArray ServeProcess::waitForLog(const QByteArray& text, int timeoutMs)
{
    QByteArray log;
    // The caller judges the log it gets, which says more than a time-out would.
    static_cast<void>(QTest::qWaitFor(
        [&] {
            log += errors();
            return log.contains(text);
        },
        timeoutMs));
    return log;
}

} // namespace server_test
