// Measurements, not tests (not registered with ctest). Run by hand on the offscreen platform:
//
//   QT_QPA_PLATFORM=offscreen build/tests/widgets/link/link_bench
//
// rxUpdateCost: the time the window is frozen per received chunk, with the receive log at
//   100,000 / 1,000,000 / 10,000,000 characters, for the whole-log update (the box set to the
//   whole log after each chunk), for the incremental one the Link page uses, and for the same
//   through the console with every toggle on (time stamp and hex lines for the chunk, and the
//   poll command that went out before it shown too; at most 5 ms). The chunk is one decoded
//   status block (8 lines); a status line stands after the log before each chunk, as after an
//   acquisition, so its removal is part of the cost. Each update is repainted.
// openToComplete: Open Port to "The initialization data was successful..." against the
//   in-process simulated matrix, ten runs, each as a freshly started program would see it.
// memoryAtCap: the panel's resident memory while the Link page receives whole-state answers
//   until the receive log reaches its 10,000,000-character cap, with the console's toggles off
//   and with every one on; it must stay within 200 MB. The peak is the process's: run one row
//   per process to read each on its own (link_bench memoryAtCap:off, memoryAtCap:all).
#include "LinkPageFixture.h"

#include "MatrixSimulator.h"
#include "RxConsole.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <algorithm>

using namespace link_test;

namespace {

const QString kChunk = [] {
    QString text;
    for (int p = 1; p <= 8; ++p)
        text += QStringLiteral("VO:%1IN:1;E:%1M:0D:1;AI:%1M:0;AO:%1HDMI:0;AO:%1iis:0;"
                               "AO:%1spdif:0;\r\n")
                    .arg(p);
    return text + QStringLiteral("\r\n");
}();

QString logOf(qsizetype size)
{
    QString log;
    log.reserve(size);
    while (log.size() + kChunk.size() <= size)
        log += kChunk;
    log += QString(size - log.size(), QLatin1Char('x'));
    return log;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double timeMs(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// A line of /proc/self/status ("VmRSS", "VmHWM") in MB.
double procStatusMb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').front().toDouble() / 1024.0;
    }
    return -1;
}

} // namespace

class LinkBench : public QObject {
    Q_OBJECT
    SettingsSandbox settings_;

private slots:
    void rxUpdateCost();
    void openToComplete();
    void memoryAtCap_data();
    void memoryAtCap();
};

void LinkBench::rxUpdateCost()
{
    ConsoleOptions everyToggle;
    everyToggle.timestamps = ConsoleOptions::Timestamps::TimeOfDay;
    everyToggle.sentCommands = true;
    everyToggle.hex = true;
    const QByteArray chunkBytes =
        QByteArray::fromStdString(frameString(FrameStatus, std::vector<uint8_t>(96, 0)));
    qInfo("%12s %16s %16s %16s", "log chars", "whole log (ms)", "incremental (ms)",
          "all toggles (ms)");
    for (qsizetype size : {qsizetype(100'000), qsizetype(1'000'000), qsizetype(10'000'000)}) {
        QString log = logOf(size);
        RxLogBox box;
        box.resize(760, 420);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        box.ResetToLog(log);
        QCoreApplication::processEvents();

        std::vector<double> whole;
        for (int i = 0; i < 5; ++i) {
            box.AppendStatus(CDialog_Link::kDoneText);
            whole.push_back(timeMs([&] {
                box.setPlainText(RxLogBox::DisplayText(log + kChunk));
                box.ScrollToEnd();
                box.repaint();
            }));
        }
        box.ResetToLog(log);
        std::vector<double> incremental;
        for (int i = 0; i < 50; ++i) {
            box.AppendStatus(CDialog_Link::kDoneText);
            incremental.push_back(timeMs([&] {
                box.AppendLog(kChunk);
                box.repaint();
            }));
        }
        QCOMPARE(box.toPlainText().size(), RxLogBox::DisplayText(log + kChunk.repeated(50)).size());

        RxConsole console(&box);
        console.SetOptions(everyToggle);
        console.Replace(log);
        std::vector<double> toggled;
        for (int i = 0; i < 50; ++i) {
            box.AppendStatus(CDialog_Link::kDoneText);
            toggled.push_back(timeMs([&] {
                console.AddSent(QByteArrayLiteral("#upper:20/0F"));
                console.AddReceived(chunkBytes, kChunk);
                box.repaint();
            }));
        }
        const QString tail = box.toPlainText().right(1500);
        QVERIFY2(tail.contains(QStringLiteral("] [Tx] #upper:20/0F\n")) &&
                     tail.contains(QStringLiteral("\n  0060  ")),
                 qPrintable(tail));
        qInfo("%12lld %16.2f %16.3f %16.3f", static_cast<long long>(size), median(whole),
              median(incremental), median(toggled));
        QVERIFY2(median(toggled) <= 5.0, qPrintable(QString::number(median(toggled))));
    }
}

void LinkBench::openToComplete()
{
    SimulatorOptions options;
    options.lineRateBaud = 115200; // as tavlo --simulate runs it
    MatrixSimulator sim(options);
    std::string error;
    QVERIFY2(sim.Start(&error), error.c_str());
    std::vector<double> runs;
    for (int i = 0; i < 10; ++i) {
        RecordingMessages messages;
        GlobalDeviceStatus().initialDataReceived = 0;
        CDialog_Link page;
        page.SetPortEnumerator([&sim] {
            return std::vector<SSerInfo>{LinkFixture::portRecord(sim.SlavePath(), "Simulated")};
        });
        page.FillPortList();
        page.show();
        auto* rx = FindControl<RxLogBox>(&page, CDialog_Link::kRxBox);
        QElapsedTimer timer;
        timer.start();
        QTest::mouseClick(FindControl<QPushButton>(&page, CDialog_Link::kOpenPort), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(rx->toPlainText().contains("was successful"), 10000);
        runs.push_back(static_cast<double>(timer.elapsed()));
        GlobalSerialPort().ClosePort();
        page.CloseUiAfterPortClose();
        QTest::qWait(200);
    }
    QString all;
    for (double ms : runs)
        all += QString::number(ms) + QLatin1Char(' ');
    qInfo("open to complete (ms): %s", qPrintable(all));
    qInfo("median of 10: %.0f ms", median(runs));
}

void LinkBench::memoryAtCap_data()
{
    QTest::addColumn<bool>("everyToggle");
    QTest::newRow("off") << false;
    QTest::newRow("all") << true;
}

void LinkBench::memoryAtCap()
{
    QFETCH(bool, everyToggle);
    RecordingMessages messages;
    GlobalDeviceStatus().initialDataReceived = 1;
    CDialog_Link page;
    ConsoleOptions options;
    if (everyToggle) {
        options.timestamps = ConsoleOptions::Timestamps::SincePreviousChunk;
        options.sentCommands = true;
        options.hex = true;
    }
    page.console()->SetOptions(options);
    page.resize(820, 600);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    const std::string answer = wholeState({{FrameInputPortNames, nameTable("input")},
                                           {FrameHdmiOutputPortNames, nameTable("hdmi out")}});
    const QByteArray chunk = QByteArray::fromStdString(answer);
    const double start = procStatusMb("VmRSS");
    qInfo("%12s %10s %10s", "log chars", "RSS (MB)", "peak (MB)");
    qsizetype reported = 0;
    int chunks = 0;
    // Up to the chunk that would empty the log.
    for (qsizetype last = -1; page.rxLog().size() > last; ++chunks) {
        last = page.rxLog().size();
        page.ReceiveChunk(chunk);
        if (chunks % 20 == 0)
            QCoreApplication::processEvents(); // paints, as the window would between chunks
        if (page.rxLog().size() >= reported + 1'000'000) {
            reported = page.rxLog().size();
            qInfo("%12lld %10.1f %10.1f", static_cast<long long>(reported), procStatusMb("VmRSS"),
                  procStatusMb("VmHWM"));
        }
    }
    const double peak = procStatusMb("VmHWM");
    qInfo("%d chunks of %lld bytes; RSS at start %.1f MB, peak %.1f MB", chunks,
          static_cast<long long>(chunk.size()), start, peak);
    QVERIFY2(peak <= 200.0, qPrintable(QString::number(peak)));
}

QTEST_MAIN(LinkBench)
#include "link_bench.moc"
