// A first run: with no settings file the panel starts as a program that keeps nothing would,
// and a run in which the operator changes nothing leaves no settings file behind.
#include "CDialog_Link.h"
#include "CMyComboBox.h"
#include "CTavloDlg.h"
#include "ConsoleOptions.h"
#include "ControlId.h"
#include "LinkStateLabel.h"
#include "MySerialPortComm.h"
#include "OperatorMessages.h"
#include "RxConsole.h"
#include "RxLogBox.h"
#include "SettingsSandbox.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QtTest>

class PanelDefaultsTest : public QObject {
    Q_OBJECT
    SettingsSandbox settings_;

private slots:
    void firstRunStartsAsAProgramThatKeepsNothing();
};

void PanelDefaultsTest::firstRunStartsAsAProgramThatKeepsNothing()
{
    const QString settingsFile = QSettings().fileName();
    QVERIFY2(!QFileInfo::exists(settingsFile), qPrintable(settingsFile));
    RecordingMessages messages;
    {
        CTavloDlg window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("4x8 HDMI2.0 Matrix"));
        QTabWidget* tabs = window.tabStrip();
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(tabs->tabText(0), QStringLiteral("Link"));
        for (int i = 0; i < tabs->count(); ++i)
            QCOMPARE(tabs->widget(i)->isVisible(), i == 0);

        CDialog_Link* link = window.linkPage();
        const auto control = [link](int id) { return FindControl<QWidget>(link, id); };
        auto* open = FindControl<QPushButton>(link, CDialog_Link::kOpenPort);
        QCOMPARE(open->text(), QStringLiteral("Open Port"));
        QVERIFY(!open->isChecked());
        QVERIFY(control(CDialog_Link::kSearch)->isEnabled());
        QVERIFY(control(CDialog_Link::kPortCombo)->isEnabled());
        auto* baud = FindControl<QComboBox>(link, CDialog_Link::kBaudCombo);
        QCOMPARE(baud->currentText(), QStringLiteral("115200"));
        QVERIFY(!baud->isEnabled());
        QVERIFY(FindControl<RxLogBox>(link, CDialog_Link::kRxBox)->toPlainText().isEmpty());
        QCOMPARE(FindControl<LinkStateLabel>(link, CDialog_Link::kLinkState)->text(),
                 QStringLiteral("Not connected"));
        // Nothing the earlier issues added is on: no reconnecting, the console shows the bare
        // log, and the Tx box recalls nothing.
        QVERIFY(!FindControl<QCheckBox>(link, CDialog_Link::kReconnect)->isChecked());
        QCOMPARE(link->console()->options(), ConsoleOptions{});
        QVERIFY(link->console()->action(QStringLiteral("No Timestamps"))->isChecked());
        for (const char* toggle : {"Show Sent Commands", "Show Hex", "Pause Autoscroll"})
            QVERIFY2(!link->console()->action(QString::fromLatin1(toggle))->isChecked(), toggle);
        auto* tx = FindControl<QPlainTextEdit>(link, CDialog_Link::kTxBox);
        QVERIFY(tx->toPlainText().isEmpty());
        tx->setFocus();
        QTest::keyClick(tx, Qt::Key_Up);
        QVERIFY(tx->toPlainText().isEmpty());
        QVERIFY(!GlobalSerialPort().IsOpen());
        window.close();
    }
    QVERIFY(messages.shown.empty());
    QSettings().sync();
    QVERIFY2(!QFileInfo::exists(settingsFile), "a run that changed nothing wrote settings");
}

QTEST_MAIN(PanelDefaultsTest)
#include "tst_panel_defaults.moc"
