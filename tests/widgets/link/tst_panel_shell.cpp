// The main window, the about box, the application's key filter, the widening port list and
// the whole panel against the in-process simulated matrix.
#include "LinkPageFixture.h"

#include "CAboutDlg.h"
#include "CDialog_Network.h"
#include "CDialog_System.h"
#include "CMyComboBox.h"
#include "CTavloDlg.h"
#include "MatrixSimulator.h"

#include <QAbstractItemView>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

using namespace link_test;

namespace {

// Runs check on the modal dialog that the next call opens, then closes it with its button.
void onNextModal(std::function<void(QWidget*)> check)
{
    QTimer::singleShot(0, [check = std::move(check)] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal != nullptr);
        check(modal);
        if (auto* ok = FindControl<QPushButton>(modal, CAboutDlg::kOkButton))
            ok->click();
    });
}

SSerInfo simulatedPort(const MatrixSimulator& sim)
{
    return LinkFixture::portRecord(sim.SlavePath(), QStringLiteral("Simulated 4x8 HDMI2.0 Matrix"));
}

} // namespace

class PanelShellTest : public QObject {
    Q_OBJECT
    SettingsSandbox settings_;

private slots:
    void cleanupTestCase() { GlobalSerialPort().ClosePort(); }

    void enterAndEscapeAreSwallowed();
    void mainWindowTabs();
    void switchingPagesKeepsFocusOnTheTabStrip_data();
    void switchingPagesKeepsFocusOnTheTabStrip();
    void aboutBoxFromF1AndTabMenu();
    void dropDownWidth_data();
    void dropDownWidth();
    void systemPageCloseReturnsLinkPageToClosed();
    void simulatedMatrixCompletesQuickly();
};

void PanelShellTest::enterAndEscapeAreSwallowed()
{
    QDialog dialog;
    auto* edit = new QLineEdit(&dialog);
    auto* button = new QPushButton(QStringLiteral("Default"), &dialog);
    button->setDefault(true);
    QSignalSpy pressed(button, &QPushButton::clicked);
    QSignalSpy returned(edit, &QLineEdit::returnPressed);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    edit->setFocus();

    // Without the filter the keys do what they normally do; this proves the setup.
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(returned.count(), 1);
    QCOMPARE(pressed.count(), 1);
    dialog.show();

    EnterEscapeFilter filter;
    qApp->installEventFilter(&filter);
    QShortcut escapeShortcut(QKeySequence(Qt::Key_Escape), &dialog);
    QSignalSpy shortcut(&escapeShortcut, &QShortcut::activated);
    edit->setFocus();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(edit, key);
        QTest::keyClick(button, key);
    }
    QCOMPARE(returned.count(), 1);
    QCOMPARE(pressed.count(), 1);
    QCOMPARE(shortcut.count(), 0);
    QVERIFY(dialog.isVisible());
    // Other keys pass.
    QTest::keyClicks(edit, "ok");
    QCOMPARE(edit->text(), QStringLiteral("ok"));
    qApp->removeEventFilter(&filter);
}

void PanelShellTest::mainWindowTabs()
{
    CTavloDlg window;
    window.show();
    QCOMPARE(window.windowTitle(), QStringLiteral("4x8 HDMI2.0 Matrix"));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QVERIFY(!window.windowIcon().isNull());
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
    QTabWidget* tabs = FindControl<QTabWidget>(&window, CTavloDlg::kTabStrip);
    QVERIFY(tabs == window.tabStrip());
    QCOMPARE(tabs->tabPosition(), QTabWidget::West);
    QStringList labels;
    for (int i = 0; i < tabs->count(); ++i)
        labels << tabs->tabText(i);
    QCOMPARE(labels, QStringList({"Link", "Video", "Audio", "EDID", "Network", "System"}));
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->widget(0), static_cast<QWidget*>(window.linkPage()));
    for (int i = 0; i < tabs->count(); ++i)
        QCOMPARE(tabs->widget(i)->isVisible(), i == 0);
    window.ShowPage(1);
    QVERIFY(tabs->widget(1)->isVisible() && !window.linkPage()->isVisible());
    window.ShowPage(9); // no such page: nothing changes
    QVERIFY(tabs->widget(1)->isVisible());
    // The pages get the room the page layouts were planned for.
    qInfo("page area %dx%d", window.linkPage()->width(), window.linkPage()->height());
    QVERIFY2(window.linkPage()->width() >= 800 && window.linkPage()->height() >= 600,
             qPrintable(QStringLiteral("%1x%2")
                            .arg(window.linkPage()->width())
                            .arg(window.linkPage()->height())));
}

void PanelShellTest::switchingPagesKeepsFocusOnTheTabStrip_data()
{
    QTest::addColumn<int>("focused"); // the Network page's edit the operator left the caret in
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("mask");
    QTest::newRow("emptied mask") << CDialog_Network::kMaskId << "192.168.0.20"
                                  << "";
    QTest::newRow("bad first octet") << CDialog_Network::kIpId << "0.1.2.3"
                                     << "255.0.0.0";
}

// Clicking System and then Network again must neither run the page's focus handling (an
// emptied mask refilled) nor leave the caret where a key release runs the first-octet check.
void PanelShellTest::switchingPagesKeepsFocusOnTheTabStrip()
{
    QFETCH(int, focused);
    QFETCH(QString, ip);
    QFETCH(QString, mask);
    RecordingMessages messages;
    CTavloDlg window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTabBar* bar = window.tabStrip()->tabBar();
    const auto clickTab = [bar](int index) {
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    };
    QWidget* network = window.tabStrip()->widget(4);
    auto* ipEdit = FindControl<QLineEdit>(network, CDialog_Network::kIpId);
    auto* maskEdit = FindControl<QLineEdit>(network, CDialog_Network::kMaskId);

    clickTab(4);
    ipEdit->setText(QStringLiteral("192.168.0.20"));
    maskEdit->setText(QStringLiteral("255.255.255.0"));
    auto* edit = FindControl<QLineEdit>(network, focused);
    QTest::mouseClick(edit, Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), edit);
    ipEdit->setText(ip);
    maskEdit->setText(mask);

    clickTab(5);
    clickTab(4);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Shift);
    QCOMPARE(ipEdit->text(), ip);
    QCOMPARE(maskEdit->text(), mask);
    QVERIFY(messages.shown.empty());
    QCOMPARE(QApplication::focusWidget(), bar);
    QCOMPARE(window.tabStrip()->currentIndex(), 4);
}

void PanelShellTest::aboutBoxFromF1AndTabMenu()
{
    CTavloDlg window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QStringList seen;
    const auto check = [&seen](QWidget* modal) {
        QVERIFY(qobject_cast<CAboutDlg*>(modal) != nullptr);
        QCOMPARE(modal->windowTitle(), QStringLiteral("4x8 HDMI2.0 Matrix"));
        QVERIFY(modal->findChild<QLabel*>()->text() == QStringLiteral("Version :1.0.0.1"));
        auto* ok = FindControl<QPushButton>(modal, CAboutDlg::kOkButton);
        QCOMPARE(ok->text(), QStringLiteral("确定"));
        seen << modal->windowTitle();
    };
    EnterEscapeFilter filter;
    qApp->installEventFilter(&filter);
    onNextModal([&](QWidget* modal) {
        QTest::keyClick(modal, Qt::Key_Escape);
        QTest::keyClick(modal, Qt::Key_Return);
        QVERIFY(modal->isVisible());
        check(modal);
    });
    QTest::keyClick(&window, Qt::Key_F1);
    QCOMPARE(seen.size(), 1);

    // The tab strip's context menu offers the same box.
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu != nullptr);
        QCOMPARE(menu->actions().size(), 1);
        QCOMPARE(menu->actions().front()->text(), QStringLiteral("4x8 HDMI2.0 Matrix"));
        onNextModal(check);
        menu->actions().front()->trigger();
        menu->close();
    });
    QTabBar* bar = window.tabStrip()->tabBar();
    emit bar->customContextMenuRequested(bar->rect().center());
    QTRY_COMPARE(seen.size(), 2);
    qApp->removeEventFilter(&filter);
}

void PanelShellTest::dropDownWidth_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("comboWidth");
    QTest::newRow("empty list") << QStringList() << 150;
    QTest::newRow("narrow items") << QStringList({"i", "l"}) << 150;
    QTest::newRow("long description")
        << QStringList({"ttyS0", "/dev/serial/by-id/usb-Example_Serial_Adapter_A1B2C3-if00-port0 "
                                 "USB Serial Adapter with a long description"})
        << 150;
}

void PanelShellTest::dropDownWidth()
{
    QFETCH(QStringList, items);
    QFETCH(int, comboWidth);
    // The plain style opens the list at the control's width unless told otherwise; some
    // styles widen it themselves, which would hide what this class does.
    std::unique_ptr<QStyle> style(QStyleFactory::create(QStringLiteral("windows")));
    CMyComboBox combo;
    combo.setStyle(style.get());
    combo.addItems(items);
    combo.setFixedWidth(comboWidth);
    combo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&combo));
    int widest = 0;
    for (const QString& item : items)
        widest = std::max(widest, combo.fontMetrics().horizontalAdvance(item));
    combo.showPopup();
    QCOMPARE(combo.fittedDropDownWidth(), std::max(widest, 10) + 10);
    if (items.isEmpty())
        return; // an empty list does not open
    QCOMPARE(combo.view()->window()->width(), std::max(comboWidth, combo.fittedDropDownWidth()));
    combo.hidePopup();
}

// Restart on the System page closes the port; the Link page must show the closed state.
void PanelShellTest::systemPageCloseReturnsLinkPageToClosed()
{
    PtyMatrix pty;
    RecordingMessages messages; // answers the restart question with OK
    CTavloDlg window;
    CDialog_Link* link = window.linkPage();
    link->SetPortEnumerator(
        [&pty] { return std::vector<SSerInfo>{LinkFixture::portRecord(pty.slavePath(), "T")}; });
    link->FillPortList();
    window.show();
    auto* open = FindControl<QPushButton>(link, CDialog_Link::kOpenPort);
    QTest::mouseClick(open, Qt::LeftButton);
    QVERIFY(GlobalSerialPort().IsOpen());

    window.ShowPage(5);
    auto* restart =
        FindControl<QPushButton>(window.tabStrip()->widget(5), CDialog_System::kRebootId);
    QVERIFY(restart != nullptr);
    QTest::mouseClick(restart, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!GlobalSerialPort().IsOpen(), 3000);
    QCOMPARE(open->text(), QStringLiteral("Open Port"));
    QVERIFY(!open->isChecked());
    QVERIFY(FindControl<QWidget>(link, CDialog_Link::kSearch)->isEnabled());
    auto* rx = FindControl<RxLogBox>(link, CDialog_Link::kRxBox);
    QVERIFY(rx->toPlainText().endsWith(RxLogBox::DisplayText(CDialog_Link::kClosedText)));
    QCOMPARE(GlobalDeviceStatus().stopRequested.load(), 1);
}

// The whole panel on the simulated matrix: open, complete well within two seconds, and the
// model the matrix reports reaches the log.
void PanelShellTest::simulatedMatrixCompletesQuickly()
{
    SimulatorOptions options;
    options.lineRateBaud = 115200; // as tavlo --simulate runs it
    MatrixSimulator sim(options);
    std::string error;
    QVERIFY2(sim.Start(&error), error.c_str());
    RecordingMessages messages;
    GlobalDeviceStatus().initialDataReceived = 0;
    CTavloDlg window;
    CDialog_Link* link = window.linkPage();
    link->SetPortEnumerator([&sim] { return std::vector<SSerInfo>{simulatedPort(sim)}; });
    link->FillPortList();
    window.show();
    auto* rx = FindControl<RxLogBox>(link, CDialog_Link::kRxBox);
    const Clock::time_point opened = Clock::now();
    QTest::mouseClick(FindControl<QPushButton>(link, CDialog_Link::kOpenPort), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(rx->toPlainText().contains("The initialization data was successful"),
                             5000);
    const long long took = MsBetween(opened, Clock::now());
    qInfo("open to complete: %lld ms", took);
    QVERIFY2(took < 2000, qPrintable(QString::number(took)));
    QVERIFY(link->rxLog().contains("Product Model:"));
    QVERIFY(link->rxLog().contains("port_ohdmi1:"));
    QVERIFY(messages.shown.empty());
    GlobalSerialPort().ClosePort();
    link->CloseUiAfterPortClose();
}

QTEST_MAIN(PanelShellTest)
#include "tst_panel_shell.moc"
