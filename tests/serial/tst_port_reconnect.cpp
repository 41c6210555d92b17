// Coming back after a loss: the simulated matrix drops its line and returns on a new
// pseudo-terminal behind the same link, as an adapter does behind /dev/serial/by-id; a TCP peer
// goes away and returns on the same address.
#include "MatrixSimulator.h"
#include "MySerialPortComm.h"
#include "ProcessCpu.h"
#include "SignalWait.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
constexpr int kBaud = 115200;

// Runs the event loop for a while without the polling of QTest::qWait, so that the CPU the
// process uses meanwhile is the port object's.
void SitIdle(int ms)
{
    QEventLoop idle;
    QTimer::singleShot(ms, &idle, &QEventLoop::quit);
    idle.exec();
}

struct Spies {
    explicit Spies(MySerialPortComm& port)
        : waiting(&port, &MySerialPortComm::portLostWaiting),
          back(&port, &MySerialPortComm::portReconnected), lost(&port, &MySerialPortComm::portLost),
          failing(&port, &MySerialPortComm::reconnectFailing)
    {
    }
    QSignalSpy waiting;
    QSignalSpy back;
    QSignalSpy lost;
    QSignalSpy failing;
};

// The simulated matrix behind a link that comes and goes with its line.
class LinkedMatrix {
public:
    LinkedMatrix() : link_(dir_.filePath(QStringLiteral("ttyMATRIX"))) { start(); }
    const QString& link() const { return link_; }
    MatrixSimulator& sim() { return sim_; }

    bool start()
    {
        std::string error;
        return sim_.Start(&error) && QFile::link(QString::fromStdString(sim_.SlavePath()), link_);
    }
    void unplug()
    {
        sim_.CloseLine();
        QFile::remove(link_);
    }

private:
    QTemporaryDir dir_;
    QString link_;
    MatrixSimulator sim_;
};
} // namespace

class PortReconnectTest : public QObject {
    Q_OBJECT
private slots:
    void serialPortReturnsBehindTheSameLink();
    void busyReturnIsRetriedAndReportedOnce();
    void waitingEnds_data();
    void waitingEnds();
    void socketPortReconnectsToTheSameAddress();
};

// The line works both ways: the matrix takes a command and answers it.
void CheckLine(MySerialPortComm& port, MatrixSimulator& sim)
{
    QSignalSpy data(&port, &MySerialPortComm::dataReceived);
    port.WritePort("#upper:20/0F");
    QVERIFY(sim.WaitForCommands(1, 2000));
    QCOMPARE(sim.CommandLog().back().bytes, std::string("#upper:20/0F"));
    QVERIFY(data.wait(3000));
    QVERIFY(port.ReadAvailable().contains("master>>"));
}

void PortReconnectTest::serialPortReturnsBehindTheSameLink()
{
    LinkedMatrix matrix;
    MySerialPortComm port;
    port.SetReconnect(true);
    Spies spies(port);
    QVERIFY(port.OpenPortByName(matrix.link(), kBaud));
    matrix.unplug();
    QVERIFY(WaitForSignal(spies.waiting, 2000));
    qInfo("lost: %s", qPrintable(spies.waiting.at(0).at(0).toString()));
    QVERIFY(port.IsWaitingToReconnect());
    QVERIFY(!port.IsOpen());
    QCOMPARE(port.WritePort("#factory"), 0);

    const double cpuBefore = ProcessCpuSeconds();
    SitIdle(3000);
    const double burned = ProcessCpuSeconds() - cpuBefore;
    qInfo("CPU time over 3 s of waiting: %.3f s", burned);
    QVERIFY2(burned < 0.03, qPrintable(QString::number(burned)));

    QElapsedTimer clock;
    clock.start();
    QVERIFY(matrix.start());
    QVERIFY(WaitForSignal(spies.back, 3000));
    qInfo("open again %lld ms after the link returned", clock.elapsed());
    QVERIFY(clock.elapsed() < 2000);
    QVERIFY(port.IsOpen());
    QVERIFY(!port.IsWaitingToReconnect());
    QCOMPARE(spies.waiting.count(), 1);
    QVERIFY(spies.lost.isEmpty());
    QVERIFY(spies.failing.isEmpty());
    CheckLine(port, matrix.sim());
}

// The device returns held by another program: every try fails alike, the reason is told
// once, and the port is back once the device is free.
void PortReconnectTest::busyReturnIsRetriedAndReportedOnce()
{
    LinkedMatrix matrix;
    MySerialPortComm port;
    port.SetReconnect(true);
    Spies spies(port);
    QVERIFY(port.OpenPortByName(matrix.link(), kBaud));
    matrix.unplug();
    QVERIFY(WaitForSignal(spies.waiting, 2000));
    std::string error;
    QVERIFY(matrix.sim().Start(&error));
    const int held = ::open(matrix.sim().SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    QCOMPARE(::flock(held, LOCK_EX | LOCK_NB), 0);
    QVERIFY(QFile::link(QString::fromStdString(matrix.sim().SlavePath()), matrix.link()));

    QTest::qWait(3500); // tries at about 1, 2 and 4 s: two of them fail meanwhile
    QCOMPARE(spies.failing.count(), 1);
    QCOMPARE(spies.failing.at(0).at(0).toString(), QStringLiteral("held by another program"));
    QVERIFY(spies.back.isEmpty());
    ::close(held);
    QVERIFY(WaitForSignal(spies.back, 6000));
    QCOMPARE(spies.failing.count(), 1);
    CheckLine(port, matrix.sim());
}

void PortReconnectTest::waitingEnds_data()
{
    QTest::addColumn<bool>("byClose");
    QTest::newRow("closed") << true;
    QTest::newRow("reconnecting switched off") << false;
}

// Closing, or switching reconnecting off, ends the waiting: the port stays closed when the
// device returns. Switched off, the loss is then told as without reconnecting.
void PortReconnectTest::waitingEnds()
{
    QFETCH(bool, byClose);
    LinkedMatrix matrix;
    MySerialPortComm port;
    port.SetReconnect(true);
    Spies spies(port);
    QVERIFY(port.OpenPortByName(matrix.link(), kBaud));
    matrix.unplug();
    QVERIFY(WaitForSignal(spies.waiting, 2000));
    if (byClose)
        port.ClosePort();
    else
        port.SetReconnect(false);
    QVERIFY(!port.IsWaitingToReconnect());
    QVERIFY(matrix.start());
    QTest::qWait(2000);
    QVERIFY(spies.back.isEmpty());
    QVERIFY(!port.IsOpen());
    QCOMPARE(spies.lost.count(), byClose ? 0 : 1);
    if (!byClose)
        QCOMPARE(spies.lost.at(0).at(0), spies.waiting.at(0).at(0));
}

void PortReconnectTest::socketPortReconnectsToTheSameAddress()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const quint16 address = server.serverPort();
    MySerialPortComm port;
    port.SetReconnect(true);
    Spies spies(port);
    QVERIFY(port.OpenPortByName(QStringLiteral("socket://127.0.0.1:%1").arg(address), kBaud));
    QVERIFY(server.waitForNewConnection(2000));
    server.nextPendingConnection()->disconnectFromHost();
    server.close();
    QVERIFY(WaitForSignal(spies.waiting, 2000));

    QTest::qWait(2500); // refused at about 1 and 2 s
    QCOMPARE(spies.failing.count(), 1);
    QCOMPARE(spies.failing.at(0).at(0).toString(), QStringLiteral("connection refused"));
    QVERIFY(server.listen(QHostAddress::LocalHost, address));
    QVERIFY(WaitForSignal(spies.back, 4000)); // the next try, about 4 s after the loss
    QVERIFY(server.hasPendingConnections() || server.waitForNewConnection(1000));
    QTcpSocket* peer = server.nextPendingConnection();
    port.WritePort("#after");
    QByteArray got;
    QTRY_COMPARE_WITH_TIMEOUT(got += peer->readAll(), QByteArray("#after"), 2000);
    QVERIFY(spies.lost.isEmpty());
}

QTEST_GUILESS_MAIN(PortReconnectTest)
#include "tst_port_reconnect.moc"
