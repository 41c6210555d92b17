// The port rename and scene naming dialogs against a pseudo-terminal playing the matrix: the
// exact bytes of each command, the local name tables, the refused names and the keyboard.
#include "CDialog_Rename_Page.h"
#include "CDialog_Scenes_Page.h"
#include "CDialog_Video.h"
#include "ControlId.h"
#include "Cp936.h"
#include "DeviceStatus.h"
#include "MySerialPortComm.h"
#include "OperatorMessages.h"
#include "PtyMatrix.h"
#include "WireLog.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolTip>
#include <QtTest>

#include <memory>

namespace {

const QByteArray kMeetingRoomGbk("\xbb\xe1\xd2\xe9\xca\xd2"); // 会议室 in code page 936

std::string EntryBytes(NameTable table, int entry)
{
    const auto bytes = GlobalDeviceStatus().nameEntry(table, entry);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

QString DecodeName(NameTable table, int entry)
{
    return DecodeCp936(GlobalDeviceStatus().name(table, entry));
}

// The entry as the matrix's 16-byte field: the name, then zeros.
std::string Padded(const QByteArray& name)
{
    std::string entry(name.constData(), static_cast<size_t>(name.size()));
    entry.resize(16, '\0');
    return entry;
}

void FillPortNames()
{
    DeviceStatus& status = GlobalDeviceStatus();
    for (int n = 1; n <= 4; ++n) {
        status.setName(NameTable::InputPort, n, "In" + std::to_string(n));
        status.setName(NameTable::HdmiOutputPort, n, "Hd" + std::to_string(n));
        status.setName(NameTable::HdbtOutputPort, n, "Hb" + std::to_string(n));
    }
}

QStringList BoxTexts(QWidget* dialog, int base, int rows)
{
    QStringList out;
    for (int n = 1; n <= rows; ++n)
        out << FindControl<QLineEdit>(dialog, base + n)->text();
    return out;
}

} // namespace

class TestNameDialogs : public QObject {
    Q_OBJECT

    PtyMatrix matrix;
    std::unique_ptr<RecordingMessages> messages;

    // Types the name into row n of the rename dialog in the given mode and presses its Save.
    qint64 renameRow(CDialog_Rename_Page& dialog, const QString& mode, int row, const QString& name)
    {
        FindControl<QComboBox>(&dialog, CDialog_Rename_Page::kMode)->setCurrentText(mode);
        FindControl<QLineEdit>(&dialog, CDialog_Rename_Page::kNameBase + row)->setText(name);
        QElapsedTimer took;
        took.start();
        FindControl<QPushButton>(&dialog, CDialog_Rename_Page::kSaveBase + row)->click();
        return took.elapsed();
    }

    qint64 saveScene(CDialog_Scenes_Page& dialog, int row, const QString& name)
    {
        FindControl<QLineEdit>(&dialog, CDialog_Scenes_Page::kNameBase + row)->setText(name);
        QElapsedTimer took;
        took.start();
        FindControl<QPushButton>(&dialog, CDialog_Scenes_Page::kSaveBase + row)->click();
        return took.elapsed();
    }

    void verifyRefused(const QString& message)
    {
        QCOMPARE(messages->shown.size(), size_t{1});
        QCOMPARE(messages->shown[0].text, message);
        QCOMPARE(messages->shown[0].caption, QString("ERROR"));
        QCOMPARE(messages->shown[0].icon, MessageIcon::Error);
        QVERIFY(NothingMoreArrives(matrix, 0));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(
            GlobalSerialPort().OpenPortByName(QString::fromStdString(matrix.slavePath()), 115200));
    }

    void cleanupTestCase() { GlobalSerialPort().ClosePort(); }

    void init()
    {
        ResetDeviceStatus(GlobalDeviceStatus());
        messages = std::make_unique<RecordingMessages>();
        matrix.clear();
    }

    void cleanup() { messages.reset(); }

    void renameSendsAndStores_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("table");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("command");

        const int input = int(NameTable::InputPort), hdmi = int(NameTable::HdmiOutputPort),
                  hdbt = int(NameTable::HdbtOutputPort);
        QTest::newRow("Input row 1")
            << "Input" << input << 1 << "Rack A" << QByteArray("#port in1 name=Rack A");
        QTest::newRow("HDMI row 4")
            << "HDMI" << hdmi << 4 << "Screen 4" << QByteArray("#port hdmi4 name=Screen 4");
        QTest::newRow("HDBT row 3")
            << "HDBT" << hdbt << 3 << "Lobby" << QByteArray("#port hdbt3 name=Lobby");
        QTest::newRow("exactly 16 bytes") << "HDMI" << hdmi << 2 << "ABCDEFGHIJKLMNOP"
                                          << QByteArray("#port hdmi2 name=ABCDEFGHIJKLMNOP");
        QTest::newRow("Chinese, two bytes a character")
            << "Input" << input << 2 << QString::fromUtf8("会议室")
            << QByteArray("#port in2 name=") + kMeetingRoomGbk;
        QTest::newRow("eight Chinese characters fill the entry")
            << "HDBT" << hdbt << 1 << QString::fromUtf8("会议室会议室会议")
            << QByteArray("#port hdbt1 name=") + kMeetingRoomGbk + kMeetingRoomGbk +
                   QByteArray("\xbb\xe1\xd2\xe9");
    }

    void renameSendsAndStores()
    {
        QFETCH(QString, mode);
        QFETCH(int, table);
        QFETCH(int, row);
        QFETCH(QString, name);
        QFETCH(QByteArray, command);
        const auto nameTable = static_cast<NameTable>(table);

        // A longer old name must not leave a tail behind the new one.
        FillPortNames();
        GlobalDeviceStatus().setName(nameTable, row, "OLDNAMEOLDNAME12");
        const std::string neighbour = EntryBytes(nameTable, row == 1 ? 2 : 1);

        CDialog_Rename_Page dialog;
        dialog.show();
        const auto pressed = PtyMatrix::Clock::now();
        const qint64 took = renameRow(dialog, mode, row, name);

        // 100 ms before the command and a second after it, then the box is usable again.
        QVERIFY2(took >= 1100, qPrintable(QString::number(took)));
        QVERIFY(FindControl<QLineEdit>(&dialog, CDialog_Rename_Page::kNameBase + row)->isEnabled());
        QVERIFY(matrix.waitForBursts(1, 2000));
        QVERIFY(NothingMoreArrives(matrix, 1));
        QCOMPARE(BurstBytes(matrix), std::vector<std::string>{command.toStdString()});
        const QString pacing = PacingFault(matrix.bursts(), pressed);
        QVERIFY2(pacing.isEmpty(), qPrintable(pacing));

        const QByteArray stored = command.mid(command.indexOf("name=") + 5);
        QCOMPARE(EntryBytes(nameTable, row), Padded(stored));
        QCOMPARE(EntryBytes(nameTable, row == 1 ? 2 : 1), neighbour);
        QCOMPARE(DecodeName(nameTable, row), name);
        QVERIFY(messages->shown.empty());
    }

    void modeSwitchReplacesTypedText()
    {
        FillPortNames();
        CDialog_Rename_Page dialog;
        auto* mode = FindControl<QComboBox>(&dialog, CDialog_Rename_Page::kMode);
        QCOMPARE(mode->currentText(), QString("Input"));
        QCOMPARE(mode->count(), 3);
        QCOMPARE(BoxTexts(&dialog, CDialog_Rename_Page::kNameBase, 4),
                 (QStringList{"In1", "In2", "In3", "In4"}));

        FindControl<QLineEdit>(&dialog, CDialog_Rename_Page::kNameBase + 1)->setText("typed");
        FindControl<QLineEdit>(&dialog, CDialog_Rename_Page::kNameBase + 3)->setText("also");
        mode->setCurrentText("HDMI");
        QCOMPARE(BoxTexts(&dialog, CDialog_Rename_Page::kNameBase, 4),
                 (QStringList{"Hd1", "Hd2", "Hd3", "Hd4"}));
        FindControl<QLineEdit>(&dialog, CDialog_Rename_Page::kNameBase + 2)->setText("typed");
        mode->setCurrentText("HDBT");
        QCOMPARE(BoxTexts(&dialog, CDialog_Rename_Page::kNameBase, 4),
                 (QStringList{"Hb1", "Hb2", "Hb3", "Hb4"}));
        mode->setCurrentText("Input");
        QCOMPARE(BoxTexts(&dialog, CDialog_Rename_Page::kNameBase, 4),
                 (QStringList{"In1", "In2", "In3", "In4"}));
        QVERIFY(NothingMoreArrives(matrix, 0, 100));
    }

    // Through the page: rename HDBT 3, see it in output 3's tip, reopen in mode "Input".
    void renameFromThePageThenReopen()
    {
        FillPortNames();
        CDialog_Video page;
        page.show();
        QString firstMode, secondMode;
        QStringList secondBoxes;

        auto firstOpening = [&] {
            auto* dialog = qobject_cast<CDialog_Rename_Page*>(QApplication::activeModalWidget());
            if (dialog == nullptr)
                return;
            renameRow(*dialog, "HDBT", 3, "Lobby");
            firstMode = FindControl<QComboBox>(dialog, CDialog_Rename_Page::kMode)->currentText();
            FindControl<QPushButton>(dialog, CDialog_Rename_Page::kExit)->click();
        };
        QTimer::singleShot(0, this, firstOpening);
        FindControl<QPushButton>(&page, CDialog_Video::kRename)->click();
        QCOMPARE(firstMode, QString("HDBT"));
        QVERIFY(matrix.waitForBursts(1, 2000));
        QCOMPARE(BurstBytes(matrix), std::vector<std::string>{"#port hdbt3 name=Lobby"});

        auto* output3 = FindControl<QPushButton>(&page, CDialog_Video::kOutputBase + 3);
        QHelpEvent help(QEvent::ToolTip, QPoint(4, 4), output3->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(output3, &help);
        QTRY_COMPARE(QToolTip::text(), QString("Portname_hdmi:Hd3\nportname_hdbt:Lobby"));

        auto secondOpening = [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (dialog == nullptr)
                return;
            secondMode = FindControl<QComboBox>(dialog, CDialog_Rename_Page::kMode)->currentText();
            secondBoxes = BoxTexts(dialog, CDialog_Rename_Page::kNameBase, 4);
            dialog->close();
        };
        QTimer::singleShot(0, this, secondOpening);
        FindControl<QPushButton>(&page, CDialog_Video::kRename)->click();
        QCOMPARE(secondMode, QString("Input"));
        QCOMPARE(secondBoxes, (QStringList{"In1", "In2", "In3", "In4"}));
    }

    void refusedNames_data()
    {
        QTest::addColumn<bool>("scenes"); // else the rename dialog
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");

        const QString hash = "ERROR:Name must not contain # or control characters";
        const QString tooLong = "ERROR:Name is longer than 16 bytes";
        const QString unstorable = "ERROR:Name has characters the matrix cannot store";
        const QString nineChinese = QString::fromUtf8("会议室会议室会议室");
        const QString emoji = QString::fromUtf8("Smile \xF0\x9F\x98\x80");
        for (bool scenes : {false, true}) {
            const char* dialog = scenes ? "scenes: " : "rename: ";
            QTest::addRow("%sempty", dialog)
                << scenes << QString()
                << QString(scenes ? "ERROR:Sence is NULL,Please check"
                                  : "ERROR:Rename is NULL,Please check");
            QTest::addRow("%s#", dialog) << scenes << "Room#2" << hash;
            QTest::addRow("%stab", dialog) << scenes << "Tab\there" << hash;
            QTest::addRow("%s17 bytes", dialog) << scenes << "Seventeen bytes!!" << tooLong;
            QTest::addRow("%s18 bytes of Chinese", dialog) << scenes << nineChinese << tooLong;
            QTest::addRow("%soutside code page 936", dialog)
                << scenes << emoji << unstorable + " (U+1F600)";
            QTest::addRow("%slone surrogate", dialog)
                << scenes << "In" + QString(QChar(0xD800)) << unstorable + " (U+D800)";
        }
    }

    void refusedNames()
    {
        QFETCH(bool, scenes);
        QFETCH(QString, name);
        QFETCH(QString, message);
        const NameTable table = scenes ? NameTable::Scene : NameTable::HdmiOutputPort;
        GlobalDeviceStatus().setName(table, 2, "Keep");

        qint64 took = 0;
        QLineEdit* box = nullptr;
        std::unique_ptr<QDialog> dialog;
        if (scenes) {
            auto* d = new CDialog_Scenes_Page;
            dialog.reset(d);
            took = saveScene(*d, 2, name);
            box = FindControl<QLineEdit>(d, CDialog_Scenes_Page::kNameBase + 2);
        } else {
            auto* d = new CDialog_Rename_Page;
            dialog.reset(d);
            took = renameRow(*d, "HDMI", 2, name);
            box = FindControl<QLineEdit>(d, CDialog_Rename_Page::kNameBase + 2);
        }
        QVERIFY2(took < 900, qPrintable(QString::number(took))); // no pause for a refusal
        QVERIFY(box->isEnabled());
        QCOMPARE(box->text(), name);
        QCOMPARE(EntryBytes(table, 2), Padded("Keep"));
        verifyRefused(message);
    }

    void sceneRowSixMeeting()
    {
        GlobalDeviceStatus().setName(NameTable::Scene, 6, "OLDSCENEOLDSCENE");
        CDialog_Scenes_Page dialog;
        dialog.show();
        QCOMPARE(FindControl<QLineEdit>(&dialog, CDialog_Scenes_Page::kNameBase + 6)->text(),
                 QString("OLDSCENEOLDSCENE"));
        const auto pressed = PtyMatrix::Clock::now();
        const qint64 took = saveScene(dialog, 6, "Meeting");

        // Unlike a port rename, no pause follows the command.
        QVERIFY2(took >= 100 && took < 900, qPrintable(QString::number(took)));
        QVERIFY(matrix.waitForBursts(1, 2000));
        QVERIFY(NothingMoreArrives(matrix, 1));
        QCOMPARE(BurstBytes(matrix), std::vector<std::string>{"#group6 exe=1 name=Meeting"});
        const QString pacing = PacingFault(matrix.bursts(), pressed);
        QVERIFY2(pacing.isEmpty(), qPrintable(pacing));
        QCOMPARE(EntryBytes(NameTable::Scene, 6), Padded("Meeting"));
    }

    void twoSceneNamesEachAfterItsOwnPause()
    {
        CDialog_Scenes_Page dialog;
        const auto pressed = PtyMatrix::Clock::now();
        saveScene(dialog, 1, "Morning");
        saveScene(dialog, 8, QString::fromUtf8("会议室"));
        QVERIFY(matrix.waitForBursts(2, 2000));
        QVERIFY(NothingMoreArrives(matrix, 2));
        const auto bursts = matrix.bursts();
        QCOMPARE(BurstBytes(matrix),
                 (std::vector<std::string>{"#group1 exe=1 name=Morning",
                                           "#group8 exe=1 name=" + kMeetingRoomGbk.toStdString()}));
        const QString pacing = PacingFault(bursts, pressed);
        QVERIFY2(pacing.isEmpty(), qPrintable(pacing));
        QCOMPARE(EntryBytes(NameTable::Scene, 8), Padded(kMeetingRoomGbk));
    }

    void scenesDialogShowsTheStoredNames()
    {
        std::vector<uint8_t> table(128, 0);
        const std::string full = "ABCDEFGHIJKLMNOP"; // 16 bytes, no terminator
        std::copy(full.begin(), full.end(), table.begin());
        std::copy(kMeetingRoomGbk.begin(), kMeetingRoomGbk.end(), table.begin() + 16);
        table[7 * 16] = 'Z';
        std::copy(table.begin(), table.end(),
                  GlobalDeviceStatus().tableBytes(NameTable::Scene).begin());

        CDialog_Scenes_Page dialog;
        QCOMPARE(BoxTexts(&dialog, CDialog_Scenes_Page::kNameBase, 8),
                 (QStringList{"ABCDEFGHIJKLMNOP", QString::fromUtf8("会议室"), "", "", "", "", "",
                              "Z"}));
        QCOMPARE(dialog.windowTitle(), QString("Scenes Page"));
    }

    void enterAndEscapeDoNothing_data()
    {
        QTest::addColumn<bool>("scenes");
        QTest::newRow("rename") << false;
        QTest::newRow("scenes") << true;
    }

    void enterAndEscapeDoNothing()
    {
        QFETCH(bool, scenes);
        std::unique_ptr<QDialog> dialog;
        if (scenes)
            dialog = std::make_unique<CDialog_Scenes_Page>();
        else
            dialog = std::make_unique<CDialog_Rename_Page>();
        const int nameId =
            scenes ? CDialog_Scenes_Page::kNameBase + 1 : CDialog_Rename_Page::kNameBase + 1;
        const int saveId =
            scenes ? CDialog_Scenes_Page::kSaveBase + 1 : CDialog_Rename_Page::kSaveBase + 1;
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        auto* box = FindControl<QLineEdit>(dialog.get(), nameId);
        auto* save = FindControl<QPushButton>(dialog.get(), saveId);
        box->setText("Name");

        // Neither key may press a Save (which would send) nor close the dialog.
        for (QWidget* target : {static_cast<QWidget*>(box), static_cast<QWidget*>(save)}) {
            target->setFocus();
            for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
                QTest::keyClick(target, key);
        }
        QVERIFY(dialog->isVisible());
        QVERIFY(messages->shown.empty());
        QVERIFY(NothingMoreArrives(matrix, 0));
    }
};

QTEST_MAIN(TestNameDialogs)
#include "tst_name_dialogs.moc"
