// The port object against a pseudo-terminal whose master side plays the matrix.
#include "MySerialPortComm.h"
#include "ProcessCpu.h"
#include "PtyMatrix.h"
#include "SendCommand.h"
#include "SignalWait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <mutex>
#include <pty.h>
#include <sys/file.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr int kBaud = 115200;

QString PathOf(const PtyMatrix& pty) { return QString::fromStdString(pty.slavePath()); }

// A pseudo-terminal nobody reads: what the port writes piles up in the kernel and then in
// the port's own buffer, as on a line held up by a stalled device.
class StalledPty {
public:
    StalledPty()
    {
        termios raw{};
        cfmakeraw(&raw);
        char name[256] = {};
        if (openpty(&master_, &slave_, name, &raw, nullptr) != 0)
            qFatal("openpty failed");
        path_ = QString::fromLocal8Bit(name);
    }
    ~StalledPty()
    {
        closeMaster();
        ::close(slave_);
    }
    void closeMaster()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }
    const QString& path() const { return path_; }
    // The line settings are the terminal's, shared by every descriptor open on it.
    termios lineSettings() const
    {
        termios settings{};
        tcgetattr(slave_, &settings);
        return settings;
    }
    void setLineSettings(const termios& settings) { tcsetattr(slave_, TCSANOW, &settings); }
    // Reads whatever the master side holds, without waiting.
    qsizetype drainMaster()
    {
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        char buf[65536];
        qsizetype total = 0;
        for (ssize_t n; (n = ::read(master_, buf, sizeof buf)) > 0;)
            total += n;
        return total;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    QString path_;
};

// Two bytes in, time until the notification, for the delay figures.
qint64 MeasureNotifyDelay(MySerialPortComm& port, PtyMatrix& pty)
{
    QSignalSpy spy(&port, &MySerialPortComm::dataReceived);
    QElapsedTimer clock;
    clock.start();
    pty.write(std::string("\x01\x02", 2));
    if (!spy.wait(3000))
        return -1;
    const qint64 delay = clock.elapsed();
    port.ReadPort();
    return delay;
}
// Every notification of a port, read at once on the port's thread, so that each chunk holds
// exactly what the port held when it notified, with the time since start().
class ChunkRecorder {
public:
    explicit ChunkRecorder(MySerialPortComm& port)
    {
        QObject::connect(
            &port, &MySerialPortComm::dataReceived, &context_,
            [this, &port] {
                const qint64 at = clock_.elapsed();
                const QByteArray chunk = port.ReadPort();
                std::lock_guard lock(mutex_);
                chunks_.push_back(chunk);
                times_.push_back(at);
            },
            Qt::DirectConnection);
    }
    void start() { clock_.start(); }
    std::vector<QByteArray> chunks() const
    {
        std::lock_guard lock(mutex_);
        return chunks_;
    }
    std::vector<qint64> times() const
    {
        std::lock_guard lock(mutex_);
        return times_;
    }
    QByteArray all() const
    {
        QByteArray joined;
        for (const QByteArray& chunk : chunks())
            joined += chunk;
        return joined;
    }

private:
    QObject context_;
    QElapsedTimer clock_;
    mutable std::mutex mutex_;
    std::vector<QByteArray> chunks_;
    std::vector<qint64> times_;
};

// Two-byte pieces, each its own pair of letters, written with a pause after each.
QByteArray WritePieces(PtyMatrix& pty, int pieces, int pauseMs)
{
    QByteArray sent;
    for (int i = 0; i < pieces; ++i) {
        const std::string piece(2, char('a' + i % 26));
        pty.write(piece);
        sent += QByteArray::fromStdString(piece);
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
    return sent;
}
} // namespace

class SerialPortTest : public QObject {
    Q_OBJECT
private slots:
    void writeReachesMasterByteExact_data();
    void writeReachesMasterByteExact();
    void writesFromTwoThreadsArriveWhole();
    void writeLeavesWhileCallerSleeps();
    void sendCommandPacesEachCommand();
    void singleByteGivesNoNotification();
    void notificationWaitsAndGathersLateBytes();
    void notificationReachesReceiverThread();
    void notificationDelayFigures();
    void quietGapEndsTheHold_data();
    void quietGapEndsTheHold();
    void readReturnsAtMostMaxRead();
    void openSetsEightNoneOneAndConfigureChangesRate();
    void closedPortDoesNothing();
    void openFailureSaysWhy_data();
    void openFailureSaysWhy();
    void secondOwnerRefusedWhateverTheName_data();
    void secondOwnerRefusedWhateverTheName();
    void deviceLockedElsewhereIsBusy();
    void lineWithoutModemLinesStaysOpen();
    void reopenClosesOldPort();
    void destructionClosesPort();
    void closePurgesUnsentOutput();
    void drainThenCloseKeepsEverything();
    void stalledLineIsNoLoss();
    void masterClosedReportsLossOnceAndIdles();
    void masterClosedWhileOutputStalledIsLoss();
};

void SerialPortTest::writeReachesMasterByteExact_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("factory") << QByteArray("#factory");
    QTest::newRow("acquisition request") << QByteArray("#upper:80/00");
    QTest::newRow("zero and high bytes") << QByteArray("\x00\xff\x7f\x80\r\n\x11\x13", 8);
    QTest::newRow("larger than one read") << QByteArray(40000, 'q');
}

void SerialPortTest::writeReachesMasterByteExact()
{
    QFETCH(QByteArray, bytes);
    PtyMatrix pty;
    MySerialPortComm port;
    QVERIFY(port.OpenPortByName(PathOf(pty), kBaud));
    QCOMPARE(port.WritePort(bytes), int(bytes.size()));
    QTRY_COMPARE_WITH_TIMEOUT(pty.received().size(), size_t(bytes.size()), 5000);
    QCOMPARE(QByteArray::fromStdString(pty.received()), bytes);
}

// Each message is a thread letter, a 3-digit sequence number and the letter again up to
// 500 bytes, so that a message cut by another thread's bytes shows in the stream.
void SerialPortTest::writesFromTwoThreadsArriveWhole()
{
    constexpr int kLength = 500;
    constexpr int kCount = 60;
    PtyMatrix pty;
    MySerialPortComm port;
    QVERIFY(port.OpenPortByName(PathOf(pty), kBaud));
    QSignalSpy lost(&port, &MySerialPortComm::portLost);
    const auto writer = [&port](char letter) {
        for (int i = 0; i < kCount; ++i) {
            QByteArray message = letter + QByteArray::number(i).rightJustified(3, '0');
            message.append(kLength - message.size(), letter);
            port.WritePort(message);
        }
    };
    std::thread a(writer, 'A');
    std::thread b(writer, 'B');
    a.join();
    b.join();
    QTRY_COMPARE_WITH_TIMEOUT(pty.received().size(), size_t(2 * kLength * kCount), 10000);

    const std::string stream = pty.received();
    int next[2] = {0, 0};
    for (size_t at = 0; at < stream.size(); at += kLength) {
        const std::string message = stream.substr(at, kLength);
        const char letter = message[0];
        QVERIFY2(letter == 'A' || letter == 'B', "message does not start on a boundary");
        const std::string body = message.substr(4);
        QVERIFY2(std::all_of(body.begin(), body.end(), [&](char c) { return c == letter; }),
                 "message interleaved with another");
        QCOMPARE(std::stoi(message.substr(1, 3)), next[letter - 'A']++);
    }
    QCOMPARE(next[0], kCount);
    QCOMPARE(next[1], kCount);
    QCOMPARE(lost.count(), 0);
}

// The caller's thread owns no part of the port: a write just before a long pause must reach
// the line during that pause.
void SerialPortTest::writeLeavesWhileCallerSleeps()
{
    PtyMatrix pty;
    MySerialPortComm port;
    QVERIFY(port.OpenPortByName(PathOf(pty), kBaud));
    const auto written = PtyMatrix::Clock::now();
    port.WritePort("#upper:20/0F");
    PauseMs(600);
    const auto bursts = pty.bursts();
    QCOMPARE(bursts.size(), size_t(1));
    const auto lag =
        std::chrono::duration_cast<std::chrono::milliseconds>(bursts[0].start - written);
    QVERIFY2(lag.count() < 400, qPrintable(QStringLiteral("left after %1 ms").arg(lag.count())));
}

void SerialPortTest::sendCommandPacesEachCommand()
{
    PtyMatrix pty;
    QVERIFY(GlobalSerialPort().OpenPortByName(PathOf(pty), kBaud));
    const auto before = PtyMatrix::Clock::now();
    SendCommand("#factory");
    SendCommand("#upper:80/00");
    QVERIFY(pty.waitForBursts(2, 3000));
    GlobalSerialPort().ClosePort();

    const auto bursts = pty.bursts();
    QCOMPARE(bursts.size(), size_t(2));
    QCOMPARE(bursts[0].bytes, std::string("#factory"));
    QCOMPARE(bursts[1].bytes, std::string("#upper:80/00"));
    using std::chrono::milliseconds;
    QVERIFY(bursts[0].start - before >= milliseconds(100));
    QVERIFY(bursts[1].start - bursts[0].end >= milliseconds(90)); // a burst ends at its last byte

    SendCommand("#reboot"); // closed: dropped without complaint
    QTest::qWait(200);
    QCOMPARE(pty.bursts().size(), size_t(2));
}

void SerialPortTest::singleByteGivesNoNotification()
{
    PtyMatrix pty;
    MySerialPortComm port;
    QVERIFY(port.OpenPortByName(PathOf(pty), kBaud));
    QSignalSpy spy(&port, &MySerialPortComm::dataReceived);
    pty.write(std::string("m"));
    QVERIFY(!spy.wait(900));
    pty.write(std::string("a"));
    QVERIFY(spy.wait(2000));
    QCOMPARE(port.ReadPort(), QByteArray("ma")); // the lone byte waited for its company
}

void SerialPortTest::notificationWaitsAndGathersLateBytes()
{
    PtyMatrix pty;
    MySerialPortComm port;
    QVERIFY(port.OpenPortByName(PathOf(pty), kBaud));
    QSignalSpy spy(&port, &MySerialPortComm::dataReceived);
    QElapsedTimer clock;
    clock.start();
    pty.write(std::string("ma"));
    QTest::qWait(250);
    pty.write(std::string("ster"));
    QVERIFY(spy.wait(3000));
    QVERIFY2(clock.elapsed() >= 500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(port.ReadPort(), QByteArray("master"));
    QTest::qWait(700);
    QCOMPARE(spy.count(), 1); // the late bytes did not start a second delay
}

void SerialPortTest::notificationReachesReceiverThread()
{
    PtyMatrix pty;
    MySerialPortComm port;
    QVERIFY(port.OpenPortByName(PathOf(pty), kBaud));
    QThread* handledOn = nullptr;
    QObject receiver;
    connect(&port, &MySerialPortComm::dataReceived, &receiver,
            [&handledOn] { handledOn = QThread::currentThread(); });
    pty.write(std::string("\x55\xaa"));
    QTRY_VERIFY_WITH_TIMEOUT(handledOn != nullptr, 3000);
    QCOMPARE(handledOn, QThread::currentThread());
}

void SerialPortTest::notificationDelayFigures()
{
    PtyMatrix pty;
    MySerialPortComm port;
    QVERIFY(port.OpenPortByName(PathOf(pty), kBaud));
    std::vector<qint64> delays;
    for (int run = 0; run < 20; ++run) {
        const qint64 delay = MeasureNotifyDelay(port, pty);
        QVERIFY2(delay >= 0, "no notification");
        delays.push_back(delay);
    }
    std::sort(delays.begin(), delays.end());
    qInfo("notification delay over %zu runs: min %lld ms, median %lld ms, max %lld ms",
          delays.size(), delays.front(), (delays[9] + delays[10]) / 2, delays.back());
    QVERIFY(delays.front() >= 500);
    QVERIFY(delays.back() < 1500);
}

// The gaps here are wider than a program would choose, so that the test's own pauses stay well
// inside them on a busy machine.
void SerialPortTest::quietGapEndsTheHold_data()
{
    QTest::addColumn<QList<int>>("gapSettings"); // in the order made, before opening
    QTest::addColumn<int>("pieces");
    QTest::addColumn<int>("pauseMs");
    QTest::addColumn<int>("earliestMs"); // the first notification, from the first byte
    QTest::addColumn<int>("latestMs");
    QTest::addColumn<bool>("oneChunk");

    QTest::newRow("a quiet line is read after the gap")
        << QList<int>{80} << 1 << 0 << 80 << 300 << true;
    QTest::newRow("bytes within the gap join the chunk")
        << QList<int>{80} << 5 << 20 << 160 << 400 << true;
    QTest::newRow("a line that never pauses is read at the bound")
        << QList<int>{80} << 60 << 10 << 500 << 700 << false;
    QTest::newRow("off by default: the whole hold")
        << QList<int>{} << 1 << 0 << 500 << 1500 << true;
    QTest::newRow("switched off again: the whole hold")
        << QList<int>{80, 0} << 1 << 0 << 500 << 1500 << true;
}

void SerialPortTest::quietGapEndsTheHold()
{
    QFETCH(QList<int>, gapSettings);
    QFETCH(int, pieces);
    QFETCH(int, pauseMs);
    QFETCH(int, earliestMs);
    QFETCH(int, latestMs);
    QFETCH(bool, oneChunk);
    PtyMatrix pty;
    MySerialPortComm port;
    for (int gapMs : gapSettings)
        port.SetReceiveQuietGap(gapMs);
    QVERIFY(port.OpenPortByName(PathOf(pty), kBaud));
    ChunkRecorder recorder(port);
    recorder.start();
    const QByteArray sent = WritePieces(pty, pieces, pauseMs);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.all().size(), sent.size(), 3000);
    // Past the bound: a hold ended by the gap must not notify again, empty, when its bound runs
    // out.
    QTest::qWait(600);
    QCOMPARE(recorder.all(), sent);
    const qint64 first = recorder.times().front();
    QVERIFY2(first >= earliestMs && first <= latestMs, qPrintable(QString::number(first)));
    QCOMPARE(recorder.chunks().size() == 1, oneChunk);
}

void SerialPortTest::readReturnsAtMostMaxRead()
{
    PtyMatrix pty;
    MySerialPortComm port;
    QVERIFY(port.OpenPortByName(PathOf(pty), kBaud));
    QSignalSpy spy(&port, &MySerialPortComm::dataReceived);
    const std::string sent(MySerialPortComm::kMaxRead + 5000, 'z');
    pty.write(sent);
    QVERIFY(spy.wait(3000));
    QTest::qWait(200);
    const QByteArray first = port.ReadPort();
    QCOMPARE(first.size(), qsizetype(MySerialPortComm::kMaxRead));
    QByteArray rest;
    QTRY_VERIFY_WITH_TIMEOUT((rest += port.ReadPort()).size() >= 5000, 2000);
    QCOMPARE(first + rest, QByteArray::fromStdString(sent));
    QVERIFY(port.ReadPort().isEmpty());
}

void SerialPortTest::openSetsEightNoneOneAndConfigureChangesRate()
{
    StalledPty pty;
    termios odd = pty.lineSettings();
    odd.c_cflag = (odd.c_cflag & ~CSIZE) | CS7 | PARENB | PARODD | CSTOPB | CRTSCTS;
    odd.c_iflag |= IXON | IXOFF;
    cfsetspeed(&odd, B2400);
    pty.setLineSettings(odd);

    MySerialPortComm port;
    QVERIFY(port.OpenPortByName(pty.path(), kBaud));
    termios line = pty.lineSettings();
    QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(line.c_cflag & (PARENB | CSTOPB), tcflag_t(0));
    QCOMPARE(cfgetospeed(&line), speed_t(B115200));
    // The reply frames carry the XON and XOFF bytes: no flow control of either kind.
    QCOMPARE(line.c_iflag & (IXON | IXOFF), tcflag_t(0));
    QCOMPARE(line.c_cflag & CRTSCTS, tcflag_t(0));

    QVERIFY(port.ConfigureLine(9600));
    line = pty.lineSettings();
    QCOMPARE(cfgetospeed(&line), speed_t(B9600));
    QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(line.c_iflag & (IXON | IXOFF), tcflag_t(0));
}

void SerialPortTest::closedPortDoesNothing()
{
    PtyMatrix pty;
    MySerialPortComm port;
    const auto check = [&port] {
        QVERIFY(!port.IsOpen());
        QCOMPARE(port.WritePort("#factory"), 0);
        QVERIFY(port.ReadPort().isEmpty());
        QVERIFY(!port.ConfigureLine(kBaud));
        QVERIFY(!port.DrainOutput(100));
        port.ClosePort();
    };
    check(); // never opened
    QVERIFY(port.OpenPortByName(PathOf(pty), kBaud));
    port.ClosePort();
    check(); // opened and closed
    QTest::qWait(200);
    QVERIFY(pty.received().empty());
}

// made: "link" and "file" are made in a fresh folder under the name given.
void SerialPortTest::openFailureSaysWhy_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("made");
    QTest::addColumn<PortOpenError>("error");
    QTest::addColumn<QString>("says");
    const PortOpenError missing = PortOpenError::Missing;
    const PortOpenError notSerial = PortOpenError::NotSerialDevice;
    QTest::newRow("missing") << "/dev/tavlo-no-such-port"
                             << "" << missing << "no such device";
    QTest::newRow("bare name") << "ttyTAVLO9"
                               << "" << missing << "no such device";
    QTest::newRow("dangling link") << "ttyGONE"
                                   << "link" << missing << "no such device";
    QTest::newRow("not a terminal") << "/dev/null"
                                    << "" << notSerial << "not a serial device";
    QTest::newRow("folder") << "/tmp"
                            << "" << notSerial << "not a serial device";
    QTest::newRow("plain file") << "notes"
                                << "file" << notSerial << "not a serial device";
}

void SerialPortTest::openFailureSaysWhy()
{
    QFETCH(QString, name);
    QFETCH(QString, made);
    QFETCH(PortOpenError, error);
    QFETCH(QString, says);
    QTemporaryDir dir;
    if (!made.isEmpty())
        name = dir.filePath(name);
    if (made == QStringLiteral("link"))
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), name));
    QFile file(name);
    if (made == QStringLiteral("file"))
        QVERIFY(file.open(QIODevice::WriteOnly));
    MySerialPortComm port;
    QVERIFY(!port.OpenPortByName(name, kBaud));
    QCOMPARE(port.LastOpenError(), error);
    QCOMPARE(port.LastOpenErrorText(), says);
    QVERIFY(!port.IsOpen());
    QCOMPARE(port.WritePort("#factory"), 0);

    PtyMatrix pty;
    QVERIFY(port.OpenPortByName(PathOf(pty), kBaud));
    QCOMPARE(port.LastOpenError(), PortOpenError::None);
    QVERIFY(port.LastOpenErrorText().isEmpty());
}

// Whatever name each uses, the device is one: a second Tavlo program is refused while the
// first holds it, root or not, and gets it once the first lets go.
void SerialPortTest::secondOwnerRefusedWhateverTheName_data()
{
    QTest::addColumn<bool>("firstByLink");
    QTest::addColumn<bool>("secondByLink");
    QTest::newRow("path, then link") << false << true;
    QTest::newRow("link, then path") << true << false;
    QTest::newRow("link, then link") << true << true;
}

void SerialPortTest::secondOwnerRefusedWhateverTheName()
{
    QFETCH(bool, firstByLink);
    QFETCH(bool, secondByLink);
    PtyMatrix pty;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyMATRIX"));
    QVERIFY(QFile::link(PathOf(pty), link));
    MySerialPortComm first;
    MySerialPortComm second;
    QVERIFY(first.OpenPortByName(firstByLink ? link : PathOf(pty), kBaud));
    const QString secondName = secondByLink ? link : PathOf(pty);
    QVERIFY(!second.OpenPortByName(secondName, kBaud));
    QCOMPARE(second.LastOpenError(), PortOpenError::Busy);
    QCOMPARE(second.LastOpenErrorText(), QStringLiteral("held by another program"));
    first.ClosePort();
    QVERIFY2(second.OpenPortByName(secondName, kBaud), qPrintable(second.LastOpenErrorText()));
    second.WritePort("#second");
    QTRY_COMPARE_WITH_TIMEOUT(pty.received(), std::string("#second"), 2000);
}

// Another Tavlo program holds its device with an advisory lock, which no name and no root
// rights get past.
void SerialPortTest::deviceLockedElsewhereIsBusy()
{
    PtyMatrix pty;
    const int held = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(held >= 0);
    QCOMPARE(::flock(held, LOCK_EX | LOCK_NB), 0);
    MySerialPortComm port;
    QVERIFY(!port.OpenPortByName(PathOf(pty), kBaud));
    QCOMPARE(port.LastOpenError(), PortOpenError::Busy);
    ::close(held);
    QVERIFY(port.OpenPortByName(PathOf(pty), kBaud));
}

// Raising DTR and RTS on a device without modem lines is refused; the port stays open and
// working, and the refusal is no loss.
void SerialPortTest::lineWithoutModemLinesStaysOpen()
{
    PtyMatrix pty;
    MySerialPortComm port;
    QSignalSpy lost(&port, &MySerialPortComm::portLost);
    QVERIFY(port.OpenPortByName(PathOf(pty), kBaud));
    QTest::qWait(300);
    QVERIFY2(lost.isEmpty(), qPrintable(lost.value(0).value(0).toString()));
    QVERIFY(port.IsOpen());
    port.WritePort("#upper:20/0F");
    QTRY_COMPARE_WITH_TIMEOUT(pty.received(), std::string("#upper:20/0F"), 2000);
}

// The device is locked while open, so opening it a second time works only if the first
// open was closed; and writes after the reopen go to the new device only.
void SerialPortTest::reopenClosesOldPort()
{
    PtyMatrix first;
    PtyMatrix second;
    MySerialPortComm port;
    QVERIFY(port.OpenPortByName(PathOf(first), kBaud));
    {
        MySerialPortComm other;
        QVERIFY2(!other.OpenPortByName(PathOf(first), kBaud), "an open port is not locked");
    }
    QVERIFY(port.OpenPortByName(PathOf(first), kBaud));
    QVERIFY(port.OpenPortByName(PathOf(second), kBaud));
    MySerialPortComm other;
    QVERIFY2(other.OpenPortByName(PathOf(first), kBaud), "old port still held");
    port.WritePort("#to-second");
    QTRY_COMPARE_WITH_TIMEOUT(second.received(), std::string("#to-second"), 2000);
    QVERIFY(first.received().empty());
}

void SerialPortTest::destructionClosesPort()
{
    PtyMatrix pty;
    auto port = std::make_unique<MySerialPortComm>();
    QVERIFY(port->OpenPortByName(PathOf(pty), kBaud));
    port.reset();
    MySerialPortComm next;
    QVERIFY(next.OpenPortByName(PathOf(pty), kBaud));
}

void SerialPortTest::closePurgesUnsentOutput()
{
    const QByteArray lots(1 << 20, 'x');
    StalledPty pty;
    MySerialPortComm port;
    QVERIFY(port.OpenPortByName(pty.path(), kBaud));
    port.WritePort(lots);
    QVERIFY(!port.DrainOutput(200)); // nobody reads: output is stuck
    QElapsedTimer clock;
    clock.start();
    port.ClosePort();
    QVERIFY2(clock.elapsed() < 1000, "close waited for output");
    QVERIFY(!port.IsOpen());
    const qsizetype arrived = pty.drainMaster();
    QVERIFY2(arrived < lots.size() / 4, qPrintable(QString::number(arrived)));
}

void SerialPortTest::drainThenCloseKeepsEverything()
{
    const QByteArray lots(300000, 'y');
    PtyMatrix pty;
    MySerialPortComm port;
    QVERIFY(port.OpenPortByName(PathOf(pty), kBaud));
    port.WritePort(lots);
    port.WritePort("#reboot");
    QVERIFY(port.DrainOutput(10000));
    port.ClosePort();
    QTRY_COMPARE_WITH_TIMEOUT(pty.received().size(), size_t(lots.size() + 7), 5000);
    QVERIFY(QByteArray::fromStdString(pty.received()).endsWith("y#reboot"));
}

// A device that reads nothing for a while is slow, not gone: the port stays open however much
// is written to it, and a drain gives up at its time limit.
void SerialPortTest::stalledLineIsNoLoss()
{
    StalledPty pty;
    MySerialPortComm port;
    QVERIFY(port.OpenPortByName(pty.path(), kBaud));
    QSignalSpy lost(&port, &MySerialPortComm::portLost);
    port.WritePort(QByteArray(1 << 20, 'x'));
    QTest::qWait(100);
    for (int i = 0; i < 20; ++i)
        port.WritePort("#upper:80/00");
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!port.DrainOutput(300));
    QVERIFY(clock.elapsed() >= 295);
    QVERIFY(clock.elapsed() < 3000);
    QTest::qWait(200);
    QVERIFY2(lost.isEmpty(), qPrintable(lost.value(0).value(0).toString()));
    QVERIFY(port.IsOpen());
    port.ClosePort();
}

void SerialPortTest::masterClosedReportsLossOnceAndIdles()
{
    PtyMatrix pty;
    MySerialPortComm port;
    QVERIFY(port.OpenPortByName(PathOf(pty), kBaud));
    QSignalSpy lost(&port, &MySerialPortComm::portLost);
    QElapsedTimer clock;
    clock.start();
    pty.closeMaster();
    QVERIFY(WaitForSignal(lost, 1000));
    qInfo("port lost reported after %lld ms: %s", clock.elapsed(),
          qPrintable(lost.at(0).at(0).toString()));
    QVERIFY(!lost.at(0).at(0).toString().isEmpty());
    QVERIFY(!port.IsOpen());

    const double cpuBefore = ProcessCpuSeconds();
    QTest::qWait(2000);
    const double burned = ProcessCpuSeconds() - cpuBefore;
    qInfo("CPU time in the 2 s after the loss: %.3f s", burned);
    QCOMPARE(lost.count(), 1);
    QVERIFY2(burned < 0.2, qPrintable(QString::number(burned)));

    QCOMPARE(port.WritePort("#factory"), 0);
    PtyMatrix next;
    QVERIFY(port.OpenPortByName(PathOf(next), kBaud));
    port.WritePort("#factory");
    QTRY_COMPARE_WITH_TIMEOUT(next.received(), std::string("#factory"), 2000);
}

// Output waiting for a full queue must not hide the loss of the device behind it.
void SerialPortTest::masterClosedWhileOutputStalledIsLoss()
{
    StalledPty pty;
    MySerialPortComm port;
    QVERIFY(port.OpenPortByName(pty.path(), kBaud));
    QSignalSpy lost(&port, &MySerialPortComm::portLost);
    port.WritePort(QByteArray(1 << 20, 'x'));
    QTest::qWait(100);
    pty.closeMaster();
    port.WritePort("#upper:80/00");
    QVERIFY(WaitForSignal(lost, 1000));
    QVERIFY(!port.IsOpen());
    const double cpuBefore = ProcessCpuSeconds();
    QTest::qWait(500);
    QCOMPARE(lost.count(), 1);
    QVERIFY(ProcessCpuSeconds() - cpuBefore < 0.1);
}

QTEST_GUILESS_MAIN(SerialPortTest)
#include "tst_serial_port.moc"
