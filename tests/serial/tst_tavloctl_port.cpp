// What tavloctl makes of the port object: why a port would not open, and what monitor says when
// a flood outruns it. tavloctl runs as its own process.
#include "MySerialPortComm.h"
#include "PtyMatrix.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {
const QString kTool = QStringLiteral(TAVLOCTL_PATH);

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs tavloctl, with the event loop turning meanwhile (a server in this process may serve it).
Outcome Run(const QString& program, const QStringList& args, int timeoutMs = 20000)
{
    QProcess tool;
    QSignalSpy finished(&tool, &QProcess::finished);
    tool.start(program, args);
    QByteArray out;
    QObject::connect(&tool, &QProcess::readyReadStandardOutput,
                     [&] { out += tool.readAllStandardOutput(); });
    if (!finished.wait(timeoutMs)) {
        tool.kill();
        tool.waitForFinished();
    }
    out += tool.readAllStandardOutput();
    return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
            QString::fromUtf8(out), QString::fromUtf8(tool.readAllStandardError())};
}

// Floods every connection with bytes as fast as it takes them.
class Flood : public QTcpServer {
public:
    Flood()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* client = nextPendingConnection();
            const auto refill = [client] {
                while (client->bytesToWrite() < kChunk)
                    client->write(QByteArray(kChunk, 'x'));
            };
            connect(client, &QTcpSocket::bytesWritten, client, refill);
            refill();
        });
    }

private:
    static constexpr qsizetype kChunk = 1 << 20;
};
} // namespace

class TavloctlPortTest : public QObject {
    Q_OBJECT
private slots:
    void portHeldByAnotherProgram();
    void portTheUserMayNotOpen();
    void monitorSaysWhatItDropped();
};

void TavloctlPortTest::portHeldByAnotherProgram()
{
    PtyMatrix pty;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyMATRIX"));
    QVERIFY(QFile::link(QString::fromStdString(pty.slavePath()), link));
    MySerialPortComm holder;
    QVERIFY(holder.OpenPortByName(QString::fromStdString(pty.slavePath()), 115200));
    const Outcome outcome = Run(kTool, {QStringLiteral("--port"), link, QStringLiteral("status")});
    QCOMPARE(outcome.exitCode, 3);
    QVERIFY2(
        outcome.err.contains(QStringLiteral("cannot open %1: held by another program").arg(link)),
        qPrintable(outcome.err));
}

void TavloctlPortTest::portTheUserMayNotOpen()
{
    if (::geteuid() != 0)
        QSKIP("needs root, to run tavloctl as a user who may not open the terminal");
    PtyMatrix pty; // root's, mode 0620: nobody else may open it
    const Outcome outcome =
        Run(QStringLiteral("runuser"),
            {QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"), kTool,
             QStringLiteral("--port"), QString::fromStdString(pty.slavePath()),
             QStringLiteral("status")});
    QCOMPARE(outcome.exitCode, 3);
    QVERIFY2(outcome.err.contains(QStringLiteral("permission denied")), qPrintable(outcome.err));
    // A terminal belongs to the tty group: the dialout hint would send the user the wrong way.
    QVERIFY2(!outcome.err.contains(QStringLiteral("dialout")), qPrintable(outcome.err));
}

void TavloctlPortTest::monitorSaysWhatItDropped()
{
    Flood flood;
    const Outcome outcome =
        Run(kTool, {QStringLiteral("--port"),
                    QStringLiteral("socket://127.0.0.1:%1").arg(flood.serverPort()),
                    QStringLiteral("monitor"), QStringLiteral("--for"), QStringLiteral("3")});
    QCOMPARE(outcome.exitCode, 0);
    static const QRegularExpression dropped(QStringLiteral("^[1-9][0-9]* bytes dropped$"),
                                            QRegularExpression::MultilineOption);
    QVERIFY2(outcome.out.contains(dropped), qPrintable(outcome.out.left(2000)));
    static const QRegularExpression chunk(QStringLiteral("\\] ([0-9]+) bytes$"),
                                          QRegularExpression::MultilineOption);
    for (const QRegularExpressionMatch& m : chunk.globalMatch(outcome.out))
        QVERIFY(m.captured(1).toLongLong() <= MySerialPortComm::kMaxHeldUnread);
}

QTEST_GUILESS_MAIN(TavloctlPortTest)
#include "tst_tavloctl_port.moc"
