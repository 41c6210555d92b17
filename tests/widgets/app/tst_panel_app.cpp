// The application as the program runs it, on a real (virtual) X server: the titles the window
// system shows, the end of the run when the main window closes, the command line.
#include "CDialog_EDID.h"
#include "CDialog_System.h"
#include "CDialog_Video.h"
#include "CTavloApp.h"
#include "CTavloDlg.h"
#include "ControlId.h"

#include <QDialog>
#include <QProcess>
#include <QTabWidget>
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

} // namespace

class PanelAppTest : public QObject {
    Q_OBJECT
private slots:
    void windowTitles_data();
    void windowTitles();
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

int main(int argc, char** argv)
{
    CTavloApp app(argc, argv);
    PanelAppTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_panel_app.moc"
