// The whole panel in front of the simulated matrix behind a link that comes and goes with its
// line, as an adapter does behind /dev/serial/by-id: what a loss does with "Reconnect
// automatically" off and on, the return, stopping the wait, and the choice kept in the settings.
#include "CDialog_Link.h"
#include "CDialog_Video.h"
#include "CTavloDlg.h"
#include "ControlId.h"
#include "DeviceStatus.h"
#include "LinkStateLabel.h"
#include "MatrixSimulator.h"
#include "MySerialPortComm.h"
#include "OperatorMessages.h"
#include "ProcessCpu.h"
#include "ReplugPanel.h"
#include "RxLogBox.h"
#include "SettingsSandbox.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace replug;

class LinkReconnectTest : public QObject {
    Q_OBJECT
    SettingsSandbox settings_;

private slots:
    void init() { QSettings().clear(); }
    void cleanupTestCase() { GlobalSerialPort().ClosePort(); }

    void choiceIsOffByDefaultAndRemembered();
    void lossWith_data();
    void lossWith();
    void returningLineIsAcquiredAgain();
    void stopWaitingClosesAsACloseDoes();
    void refusedReturnSaysStillWaitingOnce();
};

void LinkReconnectTest::choiceIsOffByDefaultAndRemembered()
{
    {
        Panel panel;
        QVERIFY(!panel.reconnectBox()->isChecked());
        QCOMPARE(panel.reconnectBox()->text(), QStringLiteral("Reconnect automatically"));
        QTest::mouseClick(panel.reconnectBox(), Qt::LeftButton);
        QVERIFY(panel.reconnectBox()->isChecked());
    }
    Panel next;
    QVERIFY(next.reconnectBox()->isChecked());
    QTest::mouseClick(next.reconnectBox(), Qt::LeftButton);
    QVERIFY(!Panel().reconnectBox()->isChecked());
}

void LinkReconnectTest::lossWith_data()
{
    QTest::addColumn<bool>("reconnect");
    QTest::addColumn<bool>("box");
    QTest::addColumn<QString>("toggleCaption");
    QTest::addColumn<bool>("pagesEnabled");
    QTest::addColumn<QString>("stateText");
    QTest::newRow("reconnect off: the box, closed")
        << false << true << "Open Port" << true << "Not connected";
    QTest::newRow("reconnect on: no box, greyed, waiting")
        << true << false << "Stop Waiting" << false << "Lost at ";
}

void LinkReconnectTest::lossWith()
{
    QFETCH(bool, reconnect);
    QFETCH(bool, box);
    QFETCH(QString, toggleCaption);
    QFETCH(bool, pagesEnabled);
    QFETCH(QString, stateText);
    Panel panel;
    QVERIFY(panel.started);
    panel.reconnectBox()->setChecked(reconnect);
    QVERIFY(panel.openAndComplete());
    QCOMPARE(panel.state()->text(), QStringLiteral("Connected"));

    panel.unplug();
    QTRY_COMPARE_WITH_TIMEOUT(panel.toggle()->text(), toggleCaption, 3000);
    QCOMPARE(panel.messages.shown.size(), size_t(box ? 1 : 0));
    if (box)
        QVERIFY(panel.messages.shown[0].text.startsWith("ERROR:The connection to " +
                                                        panel.linkPath + " was lost ("));
    QCOMPARE(panel.rx().contains("The connection to " + panel.linkPath + " was lost (") &&
                 panel.rx().contains(kWaiting),
             reconnect);
    QCOMPARE(panel.toggle()->isChecked(), reconnect);
    QCOMPARE(panel.video()->isEnabled(), pagesEnabled);
    QVERIFY2(panel.state()->text().startsWith(stateText), qPrintable(panel.state()->text()));
    QCOMPARE(GlobalSerialPort().IsWaitingToReconnect(), reconnect);
    // The poll that was running must not fill the box meanwhile, nor a deadline call the
    // acquisition failed.
    const QString before = panel.rx();
    QTest::qWait(1500);
    QCOMPARE(panel.rx(), before);
    QCOMPARE(panel.messages.shown.size(), size_t(box ? 1 : 0));
}

void LinkReconnectTest::returningLineIsAcquiredAgain()
{
    Panel panel;
    QVERIFY(panel.started);
    panel.reconnectBox()->setChecked(true);
    QVERIFY(panel.openAndComplete());
    QCOMPARE(panel.outputCaption(1), QStringLiteral("01>>01"));

    panel.unplug();
    QTRY_VERIFY_WITH_TIMEOUT(panel.rx().contains(kWaiting), 3000);
    const double cpuBefore = ProcessCpuSeconds();
    QElapsedTimer away;
    away.start();
    sitIdle(3000);
    const double cpuShare = (ProcessCpuSeconds() - cpuBefore) / (away.elapsed() / 1000.0);
    qInfo("CPU while waiting: %.2f %% of a core", cpuShare * 100);
    QVERIFY2(cpuShare <= 0.01, qPrintable(QString::number(cpuShare * 100) + " %"));

    // The matrix is changed while it is away: the pages must show what it holds now.
    MatrixState changed = panel.sim.State();
    changed.routing[0] = 3;
    changed.nameAt(NameTable::InputPort, 1) = "Returned";
    panel.sim.SetState(changed);
    std::string error;
    QVERIFY2(panel.sim.Start(&error), error.c_str());
    QVERIFY(panel.plug());
    QElapsedTimer back;
    back.start();
    QTRY_VERIFY_WITH_TIMEOUT(panel.state()->text().startsWith("Reconnected at "), 2000);
    const qint64 reconnectedMs = back.elapsed();
    // The box starts afresh with the acquisition, as after Open Port.
    QTRY_VERIFY_WITH_TIMEOUT(panel.rx().contains(kDone) && !panel.rx().contains(kWaiting), 6000);
    qInfo("link back -> reconnected %lld ms, -> acquisition complete %lld ms", reconnectedMs,
          back.elapsed());

    QVERIFY(panel.rx().contains("Returned"));
    QCOMPARE(panel.toggle()->text(), QStringLiteral("Close Port"));
    QVERIFY(panel.video()->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(panel.outputCaption(1), QStringLiteral("03>>01"), 1000);
    QVERIFY(panel.messages.shown.empty());
    // Connected again for good: the close works as ever.
    QTest::mouseClick(panel.toggle(), Qt::LeftButton);
    QCOMPARE(panel.toggle()->text(), QStringLiteral("Open Port"));
    QVERIFY(!GlobalSerialPort().IsOpen());
}

// A click on the toggle while waiting returns the page to the closed state, exactly as a
// close does, and the returning line is then left alone.
void LinkReconnectTest::stopWaitingClosesAsACloseDoes()
{
    Panel panel;
    QVERIFY(panel.started);
    panel.reconnectBox()->setChecked(true);
    QVERIFY(panel.openAndComplete());
    panel.unplug();
    QTRY_COMPARE_WITH_TIMEOUT(panel.toggle()->text(), QStringLiteral("Stop Waiting"), 3000);

    QTest::mouseClick(panel.toggle(), Qt::LeftButton);
    QCOMPARE(panel.toggle()->text(), QStringLiteral("Open Port"));
    QVERIFY(!panel.toggle()->isChecked());
    QVERIFY(panel.rx().endsWith(RxLogBox::DisplayText(CDialog_Link::kClosedText)));
    QCOMPARE(panel.state()->text(), QStringLiteral("Not connected"));
    QVERIFY(panel.video()->isEnabled());
    QVERIFY(!GlobalSerialPort().IsWaitingToReconnect());

    std::string error;
    QVERIFY2(panel.sim.Start(&error), error.c_str());
    QVERIFY(panel.plug());
    QTest::qWait(2500);
    QVERIFY(!GlobalSerialPort().IsOpen());
    QCOMPARE(panel.toggle()->text(), QStringLiteral("Open Port"));
    QVERIFY(panel.messages.shown.empty());
}

// A network port whose far end is gone is not back: each try is refused, which the box says
// once, and the loss itself once.
void LinkReconnectTest::refusedReturnSaysStillWaitingOnce()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const QString name = QStringLiteral("socket://127.0.0.1:%1").arg(server.serverPort());
    Panel panel;
    SSerInfo info;
    info.devicePath = info.portName = info.friendlyName = name;
    panel.link()->SetPortEnumerator([info] { return std::vector<SSerInfo>{info}; });
    panel.link()->FillPortList();
    panel.reconnectBox()->setChecked(true);
    QTest::mouseClick(panel.toggle(), Qt::LeftButton);
    QVERIFY(server.waitForNewConnection(3000));
    server.nextPendingConnection()->disconnectFromHost();
    server.close();
    QTRY_VERIFY_WITH_TIMEOUT(panel.rx().contains(kWaiting), 3000);

    QTest::qWait(3500); // refused at about 1 and 2 s
    const QString rx = panel.rx();
    QCOMPARE(rx.count(QStringLiteral("still waiting: connection refused\n")), 1);
    QCOMPARE(rx.count(QStringLiteral("The connection to ") + name + QStringLiteral(" was lost (")),
             1);
    QVERIFY2(!rx.contains(QStringLiteral("back")), qPrintable(rx));
    QVERIFY(panel.messages.shown.empty());
}

QTEST_MAIN(LinkReconnectTest)
#include "tst_link_reconnect.moc"
