// Measurements, not tests (not registered with ctest). Run by hand on the offscreen platform:
//
//   QT_QPA_PLATFORM=offscreen build/tests/widgets/link/link_bench
//
// rxUpdateCost: the time the window is frozen per received chunk, with the receive log at
//   100,000 / 1,000,000 / 10,000,000 characters, for the whole-log update (the box set to the
//   whole log after each chunk) and for the incremental one the Link page uses. The chunk is
//   one decoded status block (8 lines); a status line stands after the log before each chunk,
//   as after an acquisition, so its removal is part of the cost. Each update is repainted.
// openToComplete: Open Port to "The initialization data was successful..." against the
//   in-process simulated matrix, ten runs, each as a freshly started program would see it.
#include "LinkPageFixture.h"

#include "MatrixSimulator.h"

#include <QElapsedTimer>
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

} // namespace

class LinkBench : public QObject {
    Q_OBJECT
private slots:
    void rxUpdateCost();
    void openToComplete();
};

void LinkBench::rxUpdateCost()
{
    qInfo("%12s %16s %16s", "log chars", "whole log (ms)", "incremental (ms)");
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
        qInfo("%12lld %16.2f %16.3f", static_cast<long long>(size), median(whole),
              median(incremental));
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

QTEST_MAIN(LinkBench)
#include "link_bench.moc"
