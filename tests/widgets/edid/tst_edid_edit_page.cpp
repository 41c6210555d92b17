// The EDID edit dialog against a pseudo-terminal playing the matrix: one store command per
// checked slot, the name copy, the pause and the cleared selection.
#include "ControlId.h"
#include "EDID_Edit_Page.h"
#include "MySerialPortComm.h"
#include "OperatorMessages.h"
#include "PageWire.h"

#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace
{

std::vector<uint8_t> EntryBytes(NameTable table, int entry)
{
    const auto span = GlobalDeviceStatus().nameEntry(table, entry);
    return {span.begin(), span.end()};
}

// Every byte of a table entry, so a copy that stops at the first zero is caught.
void FillEntry(NameTable table, int entry, const std::string& text, char tail)
{
    std::string bytes = text;
    bytes.push_back('\0');
    bytes.resize(32, tail);
    GlobalDeviceStatus().setName(table, entry, bytes);
}

} // namespace

class EdidEditPageTest : public QObject
{
    Q_OBJECT

private:
    PtyMatrix matrix_;
    std::unique_ptr<EDID_Edit_Page> dialog_;

    QPushButton* control(int id) { return FindControl<QPushButton>(dialog_.get(), id); }
    QPushButton* user(int u) { return control(1091 + u); }

    QString checkedSlots()
    {
        QString pattern;
        for (int u = 1; u <= 8; ++u)
            pattern += user(u)->isChecked() ? '1' : '0';
        return pattern;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(
            GlobalSerialPort().OpenPortByName(QString::fromStdString(matrix_.slavePath()), 115200));
    }

    void cleanupTestCase() { GlobalSerialPort().ClosePort(); }

    void init()
    {
        ResetDeviceStatus(GlobalDeviceStatus());
        dialog_ = std::make_unique<EDID_Edit_Page>();
        dialog_->show();
        matrix_.clear();
    }

    void cleanup() { dialog_.reset(); }

    void showsItsControls()
    {
        QCOMPARE(dialog_->windowTitle(), QStringLiteral("EDID Edit Page"));
        for (int u = 1; u <= 8; ++u) {
            QCOMPARE(user(u)->text(), QStringLiteral("User %1").arg(u));
            QVERIFY(user(u)->isCheckable());
        }
        for (int n = 1; n <= 4; ++n) {
            QCOMPARE(control(1014 + n)->text(), QStringLiteral("HDMI %1").arg(n));
            QCOMPARE(control(1022 + n)->text(), QStringLiteral("HDBT %1").arg(n));
        }
        QCOMPARE(control(1031)->text(), QStringLiteral("Exit"));
    }

    void savesIntoCheckedSlotsInOrder()
    {
        FillEntry(NameTable::EdidHdbtOutput, 3, "Hall projector", 'x');
        FillEntry(NameTable::EdidHdbtOutput, 2, "Wrong output", 'y');
        for (int u = 1; u <= 8; ++u)
            FillEntry(NameTable::EdidUser, u, "old user " + std::to_string(u), 'z');
        const auto untouched = EntryBytes(NameTable::EdidUser, 1);

        user(5)->click();
        user(2)->click();
        QCOMPARE(checkedSlots(), QStringLiteral("01001000"));

        const auto start = PtyMatrix::Clock::now();
        control(1025)->click(); // HDBT 3
        const auto end = PtyMatrix::Clock::now();

        QCOMPARE(SentCommands(matrix_, 2),
                 std::vector<std::string>(
                     {"#edid_d user2 mode=3 data=3", "#edid_d user5 mode=3 data=3"}));
        const auto bursts = matrix_.bursts();
        QVERIFY(MsBetween(start, bursts[0].start) >= 100);
        QVERIFY(MsBetween(bursts[0].start, bursts[1].start) >= kMinCommandGapMs);
        // Both commands leave while the dialog still sleeps, and the selection clears only
        // after the two command pauses and the 1.5 s pause.
        QVERIFY(bursts[1].start < end);
        QVERIFY(MsBetween(start, end) >= 100 + 100 + 1500);
        QCOMPARE(checkedSlots(), QStringLiteral("00000000"));
        QVERIFY(dialog_->isVisible());

        const auto source = EntryBytes(NameTable::EdidHdbtOutput, 3);
        QCOMPARE(EntryBytes(NameTable::EdidUser, 2), source);
        QCOMPARE(EntryBytes(NameTable::EdidUser, 5), source);
        QCOMPARE(EntryBytes(NameTable::EdidUser, 1), untouched);
        QCOMPARE(GlobalDeviceStatus().name(NameTable::EdidUser, 3), std::string("old user 3"));
    }

    void saveButtonsCarryModeAndOutput_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("slot");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("table");
        QTest::addColumn<int>("output");
        QTest::newRow("HDMI 1") << 1015 << 1 << "#edid_d user1 mode=2 data=1"
                                << int(NameTable::EdidHdmiOutput) << 1;
        QTest::newRow("HDMI 4") << 1018 << 8 << "#edid_d user8 mode=2 data=4"
                                << int(NameTable::EdidHdmiOutput) << 4;
        QTest::newRow("HDBT 4") << 1026 << 6 << "#edid_d user6 mode=3 data=4"
                                << int(NameTable::EdidHdbtOutput) << 4;
    }

    void saveButtonsCarryModeAndOutput()
    {
        QFETCH(int, button);
        QFETCH(int, slot);
        QFETCH(QString, command);
        QFETCH(int, table);
        QFETCH(int, output);
        for (int n = 1; n <= 4; ++n) {
            FillEntry(NameTable::EdidHdmiOutput, n, "hdmi " + std::to_string(n), 0);
            FillEntry(NameTable::EdidHdbtOutput, n, "hdbt " + std::to_string(n), 0);
        }
        user(slot)->click();
        control(button)->click();
        QCOMPARE(SentCommands(matrix_, 1), std::vector<std::string>{command.toStdString()});
        QCOMPARE(EntryBytes(NameTable::EdidUser, slot),
                 EntryBytes(static_cast<NameTable>(table), output));
    }

    void saveWithoutSlotAsksForOne()
    {
        RecordingMessages messages;
        FillEntry(NameTable::EdidHdmiOutput, 1, "hdmi 1", 0);
        FillEntry(NameTable::EdidUser, 1, "keep me", 0);
        const auto before = GlobalDeviceStatus().tableBytes(NameTable::EdidUser);
        const std::vector<uint8_t> userBefore(before.begin(), before.end());

        control(1015)->click();
        QCOMPARE(messages.shown.size(), size_t(1));
        QCOMPARE(messages.shown[0].text, QStringLiteral("Please select user first..."));
        QCOMPARE(messages.shown[0].caption, QStringLiteral("ERROR"));
        QVERIFY(messages.shown[0].icon == MessageIcon::Error);
        QVERIFY(messages.shown[0].buttons == MessageButtons::Ok);
        const auto after = GlobalDeviceStatus().tableBytes(NameTable::EdidUser);
        QVERIFY(std::equal(after.begin(), after.end(), userBefore.begin(), userBefore.end()));
        QVERIFY(!matrix_.waitForBursts(1, 300));
    }

    void everyOpeningStartsWithoutSelection()
    {
        user(3)->click();
        user(7)->click();
        control(1031)->click(); // Exit
        QVERIFY(!dialog_->isVisible());
        dialog_->show();
        QCOMPARE(checkedSlots(), QStringLiteral("00000000"));
        QVERIFY(!matrix_.waitForBursts(1, 200));
    }
};

QTEST_MAIN(EdidEditPageTest)
#include "tst_edid_edit_page.moc"
