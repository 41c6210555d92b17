// The application as the program runs it, on a real (virtual) X server: the titles the window
// system shows, the end of the run when the main window closes, the command line.
#include "CDialog_EDID.h"
#include "CDialog_Link.h"
#include "CDialog_Network.h"
#include "CDialog_System.h"
#include "CDialog_Video.h"
#include "CTavloApp.h"
#include "CTavloDlg.h"
#include "ControlId.h"
#include "MySerialPortComm.h"
#include "OperatorMessages.h"
#include "PtyMatrix.h"
#include "SerialPortList.h"
#include "SettingsSandbox.h"
#include "TavloVersion.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

// The title the X server holds for the window, which is what a window manager shows.
QString titleOnScreen(const QWidget* window)
{
    QProcess xprop;
    xprop.start(
        QStringLiteral(TAVLO_XPROP),
        {QStringLiteral("-id"), QString::number(window->winId()), QStringLiteral("_NET_WM_NAME")});
    if (!xprop.waitForFinished(5000))
        return QStringLiteral("(xprop did not answer)");
    // _NET_WM_NAME(UTF8_STRING) = "title"
    const QString out = QString::fromUtf8(xprop.readAllStandardOutput());
    const qsizetype first = out.indexOf(QLatin1Char('"'));
    const qsizetype last = out.lastIndexOf(QLatin1Char('"'));
    return last > first ? out.mid(first + 1, last - first - 1) : out.trimmed();
}

QDialog* openDialogBesides(const QWidget* mainWindow)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog && dialog != mainWindow && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

// Clicks the control, reads the title on screen of the window the click opens and closes that
// window again (a question counts as cancelled). The window may run its own event loop.
QString titleOfWindowOpenedBy(QWidget* control, const QWidget* mainWindow)
{
    QString seen = QStringLiteral("(no window opened)");
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QDialog* opened = openDialogBesides(mainWindow);
        if (!opened || !QTest::qWaitForWindowExposed(opened))
            return;
        poll.stop();
        seen = titleOnScreen(opened);
        opened->reject();
    });
    poll.start();
    QTest::mouseClick(control, Qt::LeftButton);
    if (!QTest::qWaitFor([&] { return !poll.isActive(); }, 3000))
        poll.stop();
    return seen;
}

QMessageBox* visibleBoxSaying(const QString& part)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible() && box->text().contains(part))
            return box;
    }
    return nullptr;
}

// Runs each step, in order, once its condition holds. Steps run from a timer of their own, so
// a step that waits in a box's event loop does not hold up the conditions of the next.
class Script : public QObject {
public:
    struct Step {
        std::function<bool()> ready;
        std::function<void()> act;
    };

    explicit Script(std::vector<Step> steps) : steps_(std::move(steps))
    {
        connect(&poll_, &QTimer::timeout, this, &Script::check);
        poll_.start(20);
    }
    bool finished() const { return next_ == steps_.size(); }

private:
    void check()
    {
        if (finished() || !steps_[next_].ready())
            return;
        QTimer::singleShot(0, this, steps_[next_].act);
        ++next_;
    }

    std::vector<Step> steps_;
    size_t next_ = 0;
    QTimer poll_;
};

} // namespace

class PanelAppTest : public QObject {
    Q_OBJECT
    SettingsSandbox settings_;

private slots:
    void windowTitles_data();
    void windowTitles();
    void closingEndsTheRunWhateverIsOpen();
    void helpAndVersionNeedNoDisplay_data();
    void helpAndVersionNeedNoDisplay();
    void namedPortIsChosen_data();
    void namedPortIsChosen();
};

void PanelAppTest::windowTitles_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("control");
    QTest::addColumn<QString>("title");
    QTest::newRow("error box") << 1 << CDialog_Video::kInputBase + 1 << "ERROR";
    QTest::newRow("rename dialog") << 1 << CDialog_Video::kRename << "Rename Page";
    QTest::newRow("scenes dialog") << 1 << CDialog_Video::kNameScenes << "Scenes Page";
    QTest::newRow("EDID edit dialog") << 3 << CDialog_EDID::kEdit << "EDID Edit Page";
    QTest::newRow("restart question") << 5 << CDialog_System::kRebootId << "System Restart";
    QTest::newRow("factory question") << 5 << CDialog_System::kFactoryId << "Default Setting";
}

void PanelAppTest::windowTitles()
{
    QFETCH(int, page);
    QFETCH(int, control);
    QFETCH(QString, title);
    CTavloDlg window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(titleOnScreen(&window), QStringLiteral("4x8 HDMI2.0 Matrix"));
    window.ShowPage(page);
    auto* button = FindControl<QWidget>(window.tabStrip()->widget(page), control);
    QVERIFY(button != nullptr);
    QCOMPARE(titleOfWindowOpenedBy(button, &window), title);
}

// While the acquisition's failure box and the Network page's gateway question wait for the
// operator, and a box with a follow-up stands open, the operator closes the main window.
void PanelAppTest::closingEndsTheRunWhateverIsOpen()
{
    PtyMatrix pty;
    CTavloDlg window;
    CDialog_Link* link = window.linkPage();
    link->SetPortEnumerator([&pty] {
        SSerInfo info;
        info.devicePath = info.portName = QString::fromStdString(pty.slavePath());
        return std::vector<SSerInfo>{info};
    });
    link->FillPortList();
    CDialog_Link::Timings fast; // poll every 300 ms, so a run that goes on shows on the wire
    fast.pollMs = 300;
    fast.deadlineMs = 600;
    fast.requestGapMs = 300;
    link->SetTimings(fast);
    auto* network = qobject_cast<CDialog_Network*>(window.tabStrip()->widget(4));
    const auto edit = [network](int id) { return FindControl<QLineEdit>(network, id); };

    std::optional<MessageAnswer> followUp;
    PtyMatrix::Clock::time_point closedAt;
    Script script({
        {[] { return true; },
         [&] {
             Messages().ShowThen({QStringLiteral("follow-up"), QStringLiteral("ERROR"),
                                  MessageIcon::Error, MessageButtons::OkCancel},
                                 [&](MessageAnswer answer) { followUp = answer; });
             QTest::mouseClick(FindControl<QWidget>(link, CDialog_Link::kOpenPort), Qt::LeftButton);
         }},
        {[] { return visibleBoxSaying(QStringLiteral("Get all data failed")) != nullptr; },
         [&] {
             window.ShowPage(4);
             edit(CDialog_Network::kIpId)->setText(QStringLiteral("192.168.0.20"));
             edit(CDialog_Network::kMaskId)->setText(QStringLiteral("255.255.255.0"));
             edit(CDialog_Network::kGatewayId)->setText(QStringLiteral("10.0.0.1"));
             QTest::mouseClick(FindControl<QWidget>(network, CDialog_Network::kApplyId),
                               Qt::LeftButton);
         }},
        {[] { return visibleBoxSaying(QStringLiteral("same network segment")) != nullptr; },
         [&] {
             closedAt = PtyMatrix::Clock::now();
             window.windowHandle()->close();
         }},
    });
    bool hung = false;
    QTimer::singleShot(10'000, this, [&hung] {
        hung = true;
        QCoreApplication::exit(1);
    });
    const int result = static_cast<CTavloApp*>(qApp)->RunWindow(window);
    const long long took = MsBetween(closedAt, PtyMatrix::Clock::now());

    QVERIFY2(script.finished(), "the boxes did not all open");
    QVERIFY2(!hung, "the run went on after the main window closed");
    QCOMPARE(result, 0);
    QVERIFY2(took < 1000, qPrintable(QString::number(took)));
    QVERIFY(!GlobalSerialPort().IsOpen());
    QCOMPARE(followUp, std::optional(MessageAnswer::Cancel));
    QVERIFY(visibleBoxSaying(QString()) == nullptr);
    // A poll that left just before the close may still be arriving; then nothing more, and
    // never the address the question was about.
    QTest::qWait(150);
    const size_t atClose = pty.bursts().size();
    QTest::qWait(1000);
    QCOMPARE(pty.bursts().size(), atClose);
    for (const std::string& command : BurstBytes(pty))
        QVERIFY2(command.rfind("#upper:", 0) == 0, command.c_str());
}

void PanelAppTest::helpAndVersionNeedNoDisplay_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("answerPart");
    const QString version = QStringLiteral("tavlo " TAVLO_VERSION "\n");
    QTest::newRow("--help") << "--help"
                            << "--port <PATH>";
    QTest::newRow("-h") << "-h"
                        << "--simulate";
    QTest::newRow("--help-all") << "--help-all"
                                << "--port <PATH>";
    QTest::newRow("--version") << "--version" << version;
    QTest::newRow("-v") << "-v" << version;
}

void PanelAppTest::helpAndVersionNeedNoDisplay()
{
    QFETCH(QString, option);
    QFETCH(QString, answerPart);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    QProcess panel;
    panel.setProcessEnvironment(environment);
    panel.start(QStringLiteral(TAVLO_PANEL_PATH), {option});
    QVERIFY(panel.waitForFinished(10'000));
    const QString out = QString::fromLocal8Bit(panel.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(panel.readAllStandardError());
    QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
    QVERIFY2(panel.exitCode() == 0, qPrintable(err));
    QVERIFY2(out.contains(answerPart), qPrintable(out));
}

void PanelAppTest::namedPortIsChosen_data()
{
    QTest::addColumn<QString>("named"); // "pty": the test's terminal; "linked": a link to it
    QTest::addColumn<bool>("opens");
    QTest::newRow("device path") << "pty" << true;
    QTest::newRow("path with a blank") << "linked" << true;
    QTest::newRow("socket") << "socket://127.0.0.1:4001" << false;
}

// tavlo --port NAMED --port /nonexistent/second, where the system lists a port of its own first.
void PanelAppTest::namedPortIsChosen()
{
    QFETCH(QString, named);
    QFETCH(bool, opens);
    PtyMatrix pty;
    QTemporaryDir dir;
    if (named == QStringLiteral("pty"))
        named = QString::fromStdString(pty.slavePath());
    if (named == QStringLiteral("linked")) {
        named = dir.filePath(QStringLiteral("matrix line"));
        QVERIFY(QFile::link(QString::fromStdString(pty.slavePath()), named));
    }
    CTavloDlg window;
    CDialog_Link* link = window.linkPage();
    link->SetPortEnumerator([] {
        SSerInfo system;
        system.devicePath = QStringLiteral("/dev/ttyS7");
        system.portName = QStringLiteral("ttyS7");
        system.portDescription = QStringLiteral("On-board port");
        std::vector<SSerInfo> ports{system};
        for (const SSerInfo& port : EnumerateSerialPorts())
            ports.push_back(port);
        return ports;
    });
    PanelOptions options;
    options.ports = QStringList{named, QStringLiteral("/nonexistent/second")};
    static_cast<CTavloApp*>(qApp)->Prepare(window, options);
    const auto cleanUp = qScopeGuard([link] {
        GlobalSerialPort().ClosePort();
        link->CloseUiAfterPortClose();
        ClearExtraSerialPorts();
    });

    auto* combo = FindControl<QComboBox>(link, CDialog_Link::kPortCombo);
    QCOMPARE(combo->itemText(0), QStringLiteral("ttyS7 On-board port"));
    QCOMPARE(combo->currentText(), named);
    // Chosen as if by the operator: Search keeps it.
    QTest::mouseClick(FindControl<QWidget>(link, CDialog_Link::kSearch), Qt::LeftButton);
    QCOMPARE(combo->currentText(), named);
    if (!opens)
        return;
    window.show();
    QTest::mouseClick(FindControl<QPushButton>(link, CDialog_Link::kOpenPort), Qt::LeftButton);
    QVERIFY(GlobalSerialPort().IsOpen());
    QCOMPARE(link->openPortName(), named);
}

int main(int argc, char** argv)
{
    CTavloApp app(argc, argv);
    PanelAppTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_panel_app.moc"
