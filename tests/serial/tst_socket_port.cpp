// The port object on a socket://HOST:PORT port, against a TCP server on the loopback that
// plays the far end: a serial device server or tavloctl serve.
#include "MySerialPortComm.h"
#include "ProcessCpu.h"
#include "SignalWait.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int kBaud = 115200;

QString SocketName(quint16 port) { return QStringLiteral("socket://127.0.0.1:%1").arg(port); }

// A loopback port nothing listens on.
quint16 ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// The far end: accepts one connection at a time and keeps what it receives.
class Peer {
public:
    Peer() { server_.listen(QHostAddress::LocalHost); }
    QString name() const { return SocketName(server_.serverPort()); }
    quint16 port() const { return server_.serverPort(); }

    QTcpSocket* accepted()
    {
        if (!client_ && server_.waitForNewConnection(3000))
            client_ = server_.nextPendingConnection();
        return client_;
    }
    QByteArray received()
    {
        if (accepted())
            got_ += client_->readAll();
        return got_;
    }
    void send(const QByteArray& bytes)
    {
        accepted()->write(bytes);
        client_->flush();
    }
    // reset: abort with a reset rather than close in order.
    void hangUp(bool reset)
    {
        if (reset) {
            const linger hard{1, 0};
            ::setsockopt(int(client_->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                         sizeof hard);
            client_->abort();
        } else {
            client_->disconnectFromHost();
        }
    }
    void stopListening() { server_.close(); }

private:
    QTcpServer server_;
    QTcpSocket* client_ = nullptr;
    QByteArray got_;
};

// Every byte value, then more than one read's worth.
QByteArray SampleBytes()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(char(value));
    return bytes + QByteArray(40000, 'q');
}

// A pattern in which any cut shows: byte i is i modulo 251.
QByteArray Pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(i % 251);
    return bytes;
}
} // namespace

class SocketPortTest : public QObject {
    Q_OBJECT
private slots:
    void bytesPassBothWaysUnchanged();
    void notificationWaitsForTwoBytesAndHalfASecond();
    void configureSucceedsAndDrainWaitsForThePeer();
    void hangUpIsLossReportedOnce_data();
    void hangUpIsLossReportedOnce();
    void refusedOrMalformedIsFailedOpen_data();
    void refusedOrMalformedIsFailedOpen();
    void unansweredConnectionTimesOut();
    void floodKeepsTheNewestAndCountsTheRest();
};

void SocketPortTest::bytesPassBothWaysUnchanged()
{
    Peer peer;
    MySerialPortComm port;
    QVERIFY2(port.OpenPortByName(peer.name(), kBaud), qPrintable(port.LastOpenErrorText()));
    QVERIFY(peer.accepted());
    const QByteArray out = SampleBytes();
    QCOMPARE(port.WritePort(out), int(out.size()));
    QTRY_COMPARE_WITH_TIMEOUT(peer.received(), out, 5000);

    QSignalSpy spy(&port, &MySerialPortComm::dataReceived);
    const QByteArray in("master>>\x00\x11\x13\xff\r\n", 14);
    peer.send(in);
    QVERIFY(spy.wait(3000));
    QCOMPARE(port.ReadPort(), in);
    QVERIFY(port.ReadPort().isEmpty());
}

void SocketPortTest::notificationWaitsForTwoBytesAndHalfASecond()
{
    Peer peer;
    MySerialPortComm port;
    QVERIFY(port.OpenPortByName(peer.name(), kBaud));
    QSignalSpy spy(&port, &MySerialPortComm::dataReceived);
    peer.send("m");
    QVERIFY(!spy.wait(900));
    QElapsedTimer clock;
    clock.start();
    peer.send("a");
    QTest::qWait(250);
    peer.send("ster");
    QVERIFY(spy.wait(3000));
    const qint64 delay = clock.elapsed();
    QVERIFY2(delay >= 500 && delay < 1500, qPrintable(QString::number(delay)));
    QCOMPARE(port.ReadPort(), QByteArray("master"));
    QTest::qWait(700);
    QCOMPARE(spy.count(), 1);
}

// Drained means taken by the peer's system; a peer that reads nothing holds the drain up only
// until its time is up.
void SocketPortTest::configureSucceedsAndDrainWaitsForThePeer()
{
    Peer peer;
    MySerialPortComm port;
    QVERIFY(port.OpenPortByName(peer.name(), kBaud));
    QVERIFY(peer.accepted());
    QVERIFY(port.ConfigureLine(9600));
    port.WritePort(QByteArray(20000, 'y'));
    port.WritePort("#reboot");
    QVERIFY(port.DrainOutput(5000));

    port.WritePort(QByteArray(64 << 20, 'z'));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!port.DrainOutput(300));
    QVERIFY(clock.elapsed() >= 295 && clock.elapsed() < 3000);
    port.ClosePort();
    QTRY_VERIFY_WITH_TIMEOUT(peer.received().startsWith(QByteArray(20000, 'y') + "#reboot"), 3000);
}

void SocketPortTest::hangUpIsLossReportedOnce_data()
{
    QTest::addColumn<bool>("reset");
    QTest::newRow("closed") << false;
    QTest::newRow("reset") << true;
}

void SocketPortTest::hangUpIsLossReportedOnce()
{
    QFETCH(bool, reset);
    Peer peer;
    MySerialPortComm port;
    QVERIFY(port.OpenPortByName(peer.name(), kBaud));
    QVERIFY(peer.accepted());
    QSignalSpy lost(&port, &MySerialPortComm::portLost);
    peer.hangUp(reset);
    QVERIFY(WaitForSignal(lost, 2000));
    qInfo("loss: %s", qPrintable(lost.at(0).at(0).toString()));
    QVERIFY(lost.at(0).at(0).toString().contains(peer.name()));
    QVERIFY(!port.IsOpen());
    QCOMPARE(port.WritePort("#factory"), 0);
    const double cpuBefore = ProcessCpuSeconds();
    QTest::qWait(1000);
    QCOMPARE(lost.count(), 1);
    QVERIFY(ProcessCpuSeconds() - cpuBefore < 0.1);
}

void SocketPortTest::refusedOrMalformedIsFailedOpen_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<PortOpenError>("error");
    QTest::addColumn<QString>("says");
    QTest::newRow("refused") << SocketName(ClosedPort()) << PortOpenError::ConnectionRefused
                             << "connection refused";
    QTest::newRow("no port") << "socket://127.0.0.1" << PortOpenError::Other
                             << "not an address of the form socket://HOST:PORT";
}

void SocketPortTest::refusedOrMalformedIsFailedOpen()
{
    QFETCH(QString, name);
    QFETCH(PortOpenError, error);
    QFETCH(QString, says);
    MySerialPortComm port;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!port.OpenPortByName(name, kBaud));
    QVERIFY(clock.elapsed() < 1000);
    QCOMPARE(port.LastOpenError(), error);
    QCOMPARE(port.LastOpenErrorText(), says);
    QVERIFY(!port.IsOpen());
}

// A listener whose queue of unaccepted connections is full drops further handshakes, as an
// unreachable host would: the open must give up at its bound.
void SocketPortTest::unansweredConnectionTimesOut()
{
    QTcpServer full;
    QVERIFY(full.listen(QHostAddress::LocalHost));
    ::listen(int(full.socketDescriptor()), 0);
    full.pauseAccepting();
    std::vector<std::unique_ptr<QTcpSocket>> queued;
    for (int i = 0; i < 4; ++i) {
        queued.push_back(std::make_unique<QTcpSocket>());
        queued.back()->connectToHost(QHostAddress::LocalHost, full.serverPort());
    }
    QTest::qWait(200);

    MySerialPortComm port;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!port.OpenPortByName(SocketName(full.serverPort()), kBaud));
    const qint64 took = clock.elapsed();
    QCOMPARE(port.LastOpenError(), PortOpenError::TimedOut);
    QVERIFY2(took >= 2900 && took < 4500, qPrintable(QString::number(took)));
    qInfo("gave up after %lld ms: %s", took, qPrintable(port.LastOpenErrorText()));
}

// Nobody reads while 8 MiB arrive: the port holds the newest MiB, counts the rest as dropped,
// and hands everything it holds to one read.
void SocketPortTest::floodKeepsTheNewestAndCountsTheRest()
{
    const qint64 bound = MySerialPortComm::kMaxHeldUnread;
    const QByteArray flood = Pattern(8 * bound);
    Peer peer;
    MySerialPortComm port;
    QVERIFY(port.OpenPortByName(peer.name(), kBaud));
    peer.send(flood);
    qint64 dropped = 0;
    QTRY_COMPARE_WITH_TIMEOUT(dropped += port.TakeDroppedBytes(), flood.size() - bound, 10000);
    QCOMPARE(port.ReadPort(), flood.mid(flood.size() - bound, MySerialPortComm::kMaxRead));
    const QByteArray rest = port.ReadAvailable();
    QCOMPARE(rest, flood.right(bound - MySerialPortComm::kMaxRead));
    QCOMPARE(port.TakeDroppedBytes(), 0);
}

QTEST_GUILESS_MAIN(SocketPortTest)
#include "tst_socket_port.moc"
