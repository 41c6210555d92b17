// The whole panel opened on a socket:// port of `tavloctl serve`, in front of a simulated
// matrix: the acquisition completes, routing from the Video page reaches the matrix, and a
// route made by another client of the server shows on the panel too.
#include "ServeProcess.h"
#include "TestClients.h"

#include "CDialog_Link.h"
#include "CDialog_Video.h"
#include "CTavloDlg.h"
#include "ControlId.h"
#include "DeviceStatus.h"
#include "MySerialPortComm.h"
#include "OperatorMessages.h"
#include "RxLogBox.h"

#include <QPushButton>
#include <QtTest>

using namespace server_test;

class PanelViaServerTest : public QObject {
    Q_OBJECT
private slots:
    void cleanupTestCase() { GlobalSerialPort().ClosePort(); }
    void panelWorksThroughTheServerAndStaysInStep();
};

void PanelViaServerTest::panelWorksThroughTheServerAndStaysInStep()
{
    MatrixSimulator sim;
    std::string error;
    QVERIFY2(sim.Start(&error), error.c_str());
    ServeProcess serve(sim.SlavePath());
    QVERIFY2(serve.started(), serve.errors().constData());

    RecordingMessages messages;
    GlobalDeviceStatus().initialDataReceived = 0;
    CTavloDlg window;
    CDialog_Link* link = window.linkPage();
    SSerInfo server;
    server.devicePath = server.portName = server.friendlyName = serve.socketUrl();
    server.portDescription = QStringLiteral("tavloctl serve");
    link->SetPortEnumerator([server] { return std::vector<SSerInfo>{server}; });
    link->FillPortList();
    window.show();
    QTest::mouseClick(FindControl<QPushButton>(link, CDialog_Link::kOpenPort), Qt::LeftButton);
    auto* rx = FindControl<RxLogBox>(link, CDialog_Link::kRxBox);
    QTRY_VERIFY_WITH_TIMEOUT(rx->toPlainText().contains("The initialization data was successful"),
                             10000);
    QVERIFY(messages.shown.empty());

    window.ShowPage(1);
    auto* video = window.findChild<CDialog_Video*>();
    QVERIFY(video);
    const auto button = [&](int id) { return FindControl<QPushButton>(video, id); };
    button(CDialog_Video::kOutputBase + 2)->click();
    button(CDialog_Video::kInputBase + 3)->click();
    QTRY_COMPARE_WITH_TIMEOUT(sim.State().routing[1], 3, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(button(CDialog_Video::kOutputBase + 2)->text(),
                              QStringLiteral("03>>02"), 3000);

    // Another client routes: the status block it brings reaches this panel as well.
    const ToolRun other = RunTavloctl({"--port", serve.socketUrl(), "route", "4", "1"});
    QCOMPARE(other.exitCode, 0);
    QTRY_COMPARE_WITH_TIMEOUT(button(CDialog_Video::kOutputBase + 1)->text(),
                              QStringLiteral("04>>01"), 3000);
    for (const CommandRecord& record : sim.CommandLog()) {
        QCOMPARE(record.outcome, CommandOutcome::Accepted);
        if (record.gapMs >= 0)
            QVERIFY(record.gapMs >= kPauseMs - kStampSlackMs);
    }
    QVERIFY(messages.shown.empty());
}

QTEST_MAIN(PanelViaServerTest)
#include "tst_panel_via_server.moc"
