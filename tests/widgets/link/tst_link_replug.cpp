// How fast the panel is back after the adapter returns, over seven replugs of the simulated
// matrix behind its link: from the moment the link reappears to "Reconnected", and to the
// acquisition's end (each as the moment the panel shows it); and the CPU the panel uses while
// it waits. Prints every run and the
// medians; rerun alone (ctest -R tst_link_replug -V) for figures undisturbed by other work.
#include "ProcessCpu.h"
#include "ReplugPanel.h"
#include "SettingsSandbox.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <vector>

using namespace replug;

namespace {

constexpr int kRuns = 7;
constexpr double kReconnectedMedianMs = 150;
constexpr double kCompleteMedianMs = 800;
constexpr double kWaitingCpuShare = 0.001; // of one core
constexpr int kIdleMs = 2000;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Milliseconds until the condition holds, looked at every millisecond with the event loop
// running; -1 after timeoutMs.
double msUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer look;
    look.setTimerType(Qt::PreciseTimer);
    look.setInterval(1);
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (condition() || clock.elapsed() > timeoutMs)
            loop.quit();
    });
    look.start();
    if (!condition())
        loop.exec();
    return condition() ? double(clock.nsecsElapsed()) / 1e6 : -1;
}

// The moment the operator sees a text: when the widget is painted with it, which may come
// before the event loop is free again (the first request's pause follows the return at once).
class PaintedText : public QObject {
public:
    PaintedText(QWidget* widget, std::function<bool()> shows) : shows_(std::move(shows))
    {
        widget->installEventFilter(this);
    }
    void restart()
    {
        clock_.start();
        at_ = -1;
    }
    double at() const { return at_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && at_ < 0 && clock_.isValid() && shows_())
            at_ = double(clock_.nsecsElapsed()) / 1e6;
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool()> shows_;
    QElapsedTimer clock_;
    double at_ = -1;
};

} // namespace

class LinkReplugTest : public QObject {
    Q_OBJECT
    SettingsSandbox settings_;

private slots:
    void init() { QSettings().clear(); }
    void cleanupTestCase() { GlobalSerialPort().ClosePort(); }
    void returnIsFastAndWaitingIsIdle();
};

void LinkReplugTest::returnIsFastAndWaitingIsIdle()
{
    Panel panel;
    QVERIFY(panel.started);
    panel.reconnectBox()->setChecked(true);
    QVERIFY(panel.openAndComplete());

    PaintedText reconnectedShown(panel.state(), [&panel] {
        return panel.state()->text().startsWith(QStringLiteral("Reconnected at "));
    });
    std::vector<double> reconnected;
    std::vector<double> complete;
    std::vector<double> cpu;
    for (int run = 1; run <= kRuns; ++run) {
        panel.unplug();
        QTRY_VERIFY_WITH_TIMEOUT(panel.rx().contains(kWaiting), 3000);
        const double cpuBefore = ProcessCpuSeconds();
        QElapsedTimer away;
        away.start();
        sitIdle(kIdleMs);
        cpu.push_back((ProcessCpuSeconds() - cpuBefore) / (double(away.elapsed()) / 1000.0));

        std::string error;
        QVERIFY2(panel.sim.Start(&error), error.c_str());
        QElapsedTimer back;
        back.start();
        reconnectedShown.restart();
        QVERIFY(panel.plug());
        QVERIFY(msUntil([&] { return reconnectedShown.at() >= 0; }, 3000) >= 0);
        const double toReconnected = reconnectedShown.at();
        QVERIFY(msUntil([&] { return panel.rx().contains(kDone); }, 5000) >= 0);
        const double toComplete = double(back.nsecsElapsed()) / 1e6;
        reconnected.push_back(toReconnected);
        complete.push_back(toComplete);
        qInfo("run %d: link back -> Reconnected %.0f ms, -> acquisition complete %.0f ms; CPU "
              "while waiting %.3f %% of a core",
              run, toReconnected, toComplete, cpu.back() * 100);
    }
    qInfo("median of %d runs: Reconnected %.0f ms, acquisition complete %.0f ms, CPU while "
          "waiting %.3f %% of a core",
          kRuns, median(reconnected), median(complete), median(cpu) * 100);
    QVERIFY(median(reconnected) <= kReconnectedMedianMs);
    QVERIFY(median(complete) <= kCompleteMedianMs);
    QVERIFY(median(cpu) <= kWaitingCpuShare);
    QVERIFY(panel.messages.shown.empty());
}

QTEST_MAIN(LinkReplugTest)
#include "tst_link_replug.moc"
