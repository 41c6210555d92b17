// Boxes raised from inside the modal dialogs (Rename, Scenes, EDID edit) through the production
// message service: each must take the keyboard and the mouse while it is shown. Driven with
// events given to the window system's side of each window, so a window that a modal dialog
// blocks ignores them, as it would ignore the operator.
#include "CDialog_Rename_Page.h"
#include "CDialog_Scenes_Page.h"
#include "ControlId.h"
#include "DeviceStatus.h"
#include "EDID_Edit_Page.h"
#include "MySerialPortComm.h"
#include "OperatorMessages.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

enum class Answer { SpaceKey, MouseClick };

QMessageBox* shownBox()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible())
            return box;
    }
    return nullptr;
}

// A click as the window system delivers it: to the window, at the control's place in it.
void clickThroughWindow(QWidget* control)
{
    QWidget* window = control->window();
    const QPoint at = control->mapTo(window, control->rect().center());
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at);
}

std::unique_ptr<QDialog> makeDialog(const QString& kind)
{
    if (kind == "rename")
        return std::make_unique<CDialog_Rename_Page>();
    if (kind == "scenes")
        return std::make_unique<CDialog_Scenes_Page>();
    return std::make_unique<EDID_Edit_Page>();
}

} // namespace

class DialogBoxesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { InstallMessages(nullptr); }
    void boxFromModalDialogTakesInput_data();
    void boxFromModalDialogTakesInput();
};

void DialogBoxesTest::boxFromModalDialogTakesInput_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<int>("nameBox"); // 0: none to fill
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("save");
    QTest::addColumn<int>("answer"); // an Answer
    QTest::addColumn<QString>("text");
    const QString tooLong = QStringLiteral("ABCDEFGHIJKLMNOPQ");
    const int renameBox = CDialog_Rename_Page::kNameBase + 1;
    const int renameSave = CDialog_Rename_Page::kSaveBase + 1;
    const int scenesBox = CDialog_Scenes_Page::kNameBase + 2;
    const int scenesSave = CDialog_Scenes_Page::kSaveBase + 2;
    const int edidSave = EDID_Edit_Page::kHdmiBase + 1;
    QTest::newRow("rename, empty, key")
        << "rename" << 0 << QString() << renameSave << int(Answer::SpaceKey)
        << "ERROR:Rename is NULL,Please check";
    QTest::newRow("rename, too long, mouse") << "rename" << renameBox << tooLong << renameSave
                                             << int(Answer::MouseClick) << "ERROR:Name is longer";
    QTest::newRow("scenes, empty, mouse") << "scenes" << 0 << QString() << scenesSave
                                          << int(Answer::MouseClick) << "ERROR:Sence is NULL";
    QTest::newRow("scenes, too long, key") << "scenes" << scenesBox << tooLong << scenesSave
                                           << int(Answer::SpaceKey) << "ERROR:Name is longer";
    QTest::newRow("EDID edit, no slot, key")
        << "edid" << 0 << QString() << edidSave << int(Answer::SpaceKey)
        << "Please select user first...";
    QTest::newRow("EDID edit, no slot, mouse")
        << "edid" << 0 << QString() << edidSave << int(Answer::MouseClick)
        << "Please select user first";
}

void DialogBoxesTest::boxFromModalDialogTakesInput()
{
    QFETCH(QString, dialog);
    QFETCH(int, nameBox);
    QFETCH(QString, name);
    QFETCH(int, save);
    QFETCH(int, answer);
    QFETCH(QString, text);
    ResetDeviceStatus(GlobalDeviceStatus());
    const std::unique_ptr<QDialog> modal = makeDialog(dialog);
    if (nameBox != 0)
        FindControl<QLineEdit>(modal.get(), nameBox)->setText(name);

    QString shownText;
    bool answered = false;
    bool dialogStillWorks = false;
    // Runs while the box's handler waits in it: answers the box as the operator would, and
    // closes it by force when the answer did not get through, so the test ends either way.
    const auto answerBox = [&] {
        QMessageBox* box = shownBox();
        QVERIFY(box != nullptr);
        shownText = box->text();
        QPointer<QMessageBox> watched(box);
        if (answer == int(Answer::SpaceKey))
            QTest::keyClick(box->windowHandle(), Qt::Key_Space);
        else
            clickThroughWindow(box->button(QMessageBox::Ok));
        answered = QTest::qWaitFor([&] { return !watched || !watched->isVisible(); }, 1000);
        if (!answered && watched)
            watched->reject();
    };
    QTimer::singleShot(0, modal.get(), [&] {
        QVERIFY(QTest::qWaitForWindowExposed(modal.get()));
        QTimer::singleShot(50, modal.get(), answerBox);
        clickThroughWindow(FindControl<QPushButton>(modal.get(), save));
        // The dialog goes on taking clicks once the box is gone.
        auto* exit = modal->findChild<QPushButton*>(
            QStringLiteral("ctl%1").arg(dialog == "rename"   ? CDialog_Rename_Page::kExit
                                        : dialog == "scenes" ? CDialog_Scenes_Page::kExit
                                                             : EDID_Edit_Page::kExit));
        clickThroughWindow(exit);
        dialogStillWorks = !modal->isVisible();
        modal->reject();
    });
    modal->exec();
    QVERIFY2(shownText.startsWith(text), qPrintable(shownText));
    QVERIFY2(answered, "the box did not take the operator's answer");
    QVERIFY(dialogStillWorks);
    QVERIFY(shownBox() == nullptr);
}

QTEST_MAIN(DialogBoxesTest)
#include "tst_dialog_boxes.moc"
