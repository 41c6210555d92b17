// The EDID page and its edit dialog against a pseudo-terminal playing the matrix: layouts per
// mode, what a numbered button shows, sends and captions, what a status block puts back, and
// the dialog's store commands, name copies and pause.
#include "CDialog_EDID.h"
#include "ControlId.h"
#include "Cp936.h"
#include "EDID_Edit_Page.h"
#include "InfoFont.h"
#include "MySerialPortComm.h"
#include "OperatorMessages.h"
#include "PageWire.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

constexpr int kNumberIds[] = {1063, 1016, 1017, 1018, 1019, 1020, 1021, 1022};

void SetName(NameTable table, int entry, const QString& text)
{
    const QByteArray bytes = EncodeCp936(text).value();
    GlobalDeviceStatus().setName(table, entry, std::string_view(bytes.data(), bytes.size()));
}

std::vector<uint8_t> Entry(NameTable table, int entry)
{
    const auto span = GlobalDeviceStatus().nameEntry(table, entry);
    return {span.begin(), span.end()};
}

// Fills every byte of the entry, so a copy that stops at the first zero is caught.
void FillEntry(NameTable table, int entry, std::string text)
{
    text.push_back('\0');
    text.resize(32, '~');
    GlobalDeviceStatus().setName(table, entry, text);
}

QStringList Sent(PtyMatrix& matrix, qsizetype count)
{
    QStringList out;
    for (const std::string& bytes : SentCommands(matrix, static_cast<size_t>(count)))
        out << QString::fromStdString(bytes);
    return out;
}

} // namespace

class EdidPageTest : public QObject {
    Q_OBJECT

private:
    PtyMatrix matrix_;
    std::unique_ptr<CDialog_EDID> page_;

    template <typename T = QPushButton> T* control(int id)
    {
        return FindControl<T>(page_.get(), id);
    }
    QPushButton* number(int k) { return control(kNumberIds[k - 1]); }
    QPushButton* input(int n) { return control(1053 + n); }
    QComboBox* list() { return control<QComboBox>(1002); }
    QTextEdit* info() { return control<QTextEdit>(1064); }
    void selectMode(const QString& item) { list()->setCurrentIndex(list()->findText(item)); }

    QStringList captions()
    {
        return {input(1)->text(), input(2)->text(), input(3)->text(), input(4)->text()};
    }
    QString selection()
    {
        QString pattern;
        for (int n = 1; n <= 4; ++n)
            pattern += input(n)->isChecked() ? '1' : '0';
        return pattern + (control(1058)->isChecked() ? "A" : "-");
    }
    EDID_Edit_Page* openEditDialog()
    {
        auto* dialog = page_->findChild<EDID_Edit_Page*>();
        dialog->show();
        return dialog;
    }
    QString checkedSlots(EDID_Edit_Page* dialog)
    {
        QString pattern;
        for (int u = 1; u <= 8; ++u)
            pattern += FindControl<QPushButton>(dialog, 1091 + u)->isChecked() ? '1' : '0';
        return pattern;
    }

    QList<int> visibleNumbers()
    {
        QList<int> out;
        for (int k = 1; k <= 8; ++k) {
            if (number(k)->isVisible())
                out << k;
        }
        return out;
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
        page_ = std::make_unique<CDialog_EDID>();
        page_->show();
        matrix_.clear();
    }

    void cleanup() { page_.reset(); }

    // The compact places are derived from the full ones, which the User layout shows.
    void layoutFollowsTheMode()
    {
        QStringList items;
        for (int i = 0; i < list()->count(); ++i)
            items << list()->itemText(i);
        QCOMPARE(items, QStringList({"HDMI", "HDBT", "User", "Default"}));
        QCOMPARE(list()->currentText(), QStringLiteral("HDMI"));
        QCOMPARE(visibleNumbers(), QList({1, 2, 3, 4}));
        QCOMPARE(captions(),
                 QStringList({"HDMI 01>>01", "HDMI 02>>02", "HDMI 03>>03", "HDMI 04>>04"}));

        selectMode("User");
        QCOMPARE(visibleNumbers(), QList({1, 2, 3, 4, 5, 6, 7, 8}));
        QList<QRect> full;
        for (int k = 1; k <= 8; ++k)
            full << number(k)->geometry();
        const QRect fullEdit = control(1023)->geometry();
        const QRect fullList = list()->geometry();
        // Three to a row, "Edit" closing the third row.
        QCOMPARE(full[3].x(), full[0].x());
        QCOMPARE(fullEdit.topLeft(), QPoint(full[2].x(), full[6].y()));

        for (const QString mode : {"HDBT", "HDMI"}) {
            selectMode(mode);
            QCOMPARE(visibleNumbers(), QList({1, 2, 3, 4}));
            QCOMPARE(number(1)->geometry(), full[0].translated(40, 0));
            QCOMPARE(number(2)->geometry(), full[2].translated(-40, 0));
            QCOMPARE(number(3)->geometry(), full[3].translated(40, 0));
            QCOMPARE(number(4)->geometry(), full[5].translated(-40, 0));
            QCOMPARE(control(1023)->geometry(), full[6].translated(40, 0));
            QVERIFY(control(1023)->isVisible());
            QCOMPARE(list()->geometry(), fullList.adjusted(0, 0, -41, 0));
            QVERIFY(number(1)->geometry().right() < number(2)->geometry().left());
        }

        selectMode("Default");
        QCOMPARE(visibleNumbers(), QList({1, 2, 3, 4, 5, 6, 7, 8}));
        for (int k = 1; k <= 8; ++k)
            QCOMPARE(number(k)->geometry(), full[k - 1]);
        QCOMPARE(control(1023)->geometry(), fullEdit);
        QCOMPARE(list()->geometry(), fullList);
    }

    void numberWithoutInputOnlyPreviews_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("table");
        QTest::addColumn<int>("k");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("HDBT") << "HDBT" << int(NameTable::EdidHdbtOutput) << 2 << "Unplug"
                              << "Unplug";
        QTest::newRow("User Unplug") << "User" << int(NameTable::EdidUser) << 5 << "Unplug"
                                     << "4K60 444 HDR AC-35.1";
        QTest::newRow("Default, code page 936")
            << "Default" << int(NameTable::EdidDefault) << 7 << "会议室 1080P"
            << "会议室 1080P";
    }

    void numberWithoutInputOnlyPreviews()
    {
        QFETCH(QString, mode);
        QFETCH(int, table);
        QFETCH(int, k);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        SetName(static_cast<NameTable>(table), k, stored);
        selectMode(mode);
        number(k)->click();
        QCOMPARE(info()->toPlainText(), shown);
        QCOMPARE(captions()[0], QStringLiteral("HDMI 01>>01"));
        QVERIFY(!matrix_.waitForBursts(1, 300));
    }

    void numberSendsForSelectedInputs_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("k");
        QTest::addColumn<QList<int>>("clicks"); // input buttons, 0 for "All"
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QStringList>("captions");
        QTest::newRow("Default, inputs 3 and 1")
            << "Default" << 2 << QList{3, 1}
            << QStringList{"#edid_d in1 mode=0 data=2", "#edid_d in3 mode=0 data=2"}
            << QStringList{" Default 02>>01", "HDMI 02>>02", " Default 02>>03", "HDMI 04>>04"};
        QTest::newRow("HDBT, input 4")
            << "HDBT" << 4 << QList{4} << QStringList{"#edid_d in4 mode=3 data=4"}
            << QStringList{"HDMI 01>>01", "HDMI 02>>02", "HDMI 03>>03", "HDBT 04>>04"};
        QTest::newRow("User, All")
            << "User" << 3 << QList{0} << QStringList{"#edid_d in0 mode=1 data=3"}
            << QStringList{"User 03>>01", "User 03>>02", "User 03>>03", "User 03>>04"};
    }

    void numberSendsForSelectedInputs()
    {
        QFETCH(QString, mode);
        QFETCH(int, k);
        QFETCH(QList<int>, clicks);
        QFETCH(QStringList, commands);
        QFETCH(QStringList, captions);
        selectMode(mode);
        for (int n : clicks)
            (n == 0 ? control(1058) : input(n))->click();
        const QString selected = selection();

        number(k)->click();
        QCOMPARE(this->captions(), captions);
        QCOMPARE(Sent(matrix_, commands.size()), commands);
        const auto bursts = matrix_.bursts();
        for (size_t i = 1; i < bursts.size(); ++i)
            QVERIFY(MsBetween(bursts[i - 1].start, bursts[i].start) >= kMinCommandGapMs);
        QCOMPARE(selection(), selected); // kept for the next click
    }

    void inputSelectionDrivesAll()
    {
        SetName(NameTable::EdidInput, 2, "EDID of input 2");
        for (int n = 1; n <= 4; ++n)
            input(n)->click();
        QCOMPARE(selection(), QStringLiteral("1111A"));
        input(2)->click(); // unchecking still shows the input's EDID
        QCOMPARE(selection(), QStringLiteral("1011-"));
        QCOMPARE(info()->toPlainText(), QStringLiteral("EDID of input 2"));
        control(1058)->click();
        QCOMPARE(selection(), QStringLiteral("1111A"));
        QCOMPARE(info()->toPlainText(), QString());
        control(1058)->click();
        QCOMPARE(selection(), QStringLiteral("0000-"));
        QVERIFY(!matrix_.waitForBursts(1, 200));
    }

    void refreshCaptionsFromStatus()
    {
        selectMode("Default");
        input(1)->click();
        input(4)->click();
        number(2)->click();
        QCOMPARE(Sent(matrix_, 2).size(), 2);
        page_->RefreshEdidInputs(); // no block yet: nothing changes
        QCOMPARE(selection(), QStringLiteral("1001-"));

        // Input 1: the click's choice as the matrix reports it; input 2: User from a stored 2;
        // input 3: HDBT with high bits set; input 4: a mode the page does not know.
        ReceiveStatus({.edidMode = {0, 1, 0x43, 7}, .edidData = {1, 2, 0x40, 5}});
        page_->RefreshEdidInputs();
        QCOMPARE(captions(),
                 QStringList({"Default 02>>01", "User 03>>02", "HDBT 01>>03", " Default 02>>04"}));
        QCOMPARE(selection(), QStringLiteral("0000-"));
        QCOMPARE(list()->currentText(), QStringLiteral("Default"));
    }

    void infoBoxShowsTextButTakesNoInput()
    {
        QCOMPARE(info()->font().pointSize(), 15);
        QCOMPARE(info()->font().family(), InfoBoxFont().family());
        QVERIFY(!info()->isEnabled() && info()->isReadOnly());
        number(3)->click();
        QCOMPARE(info()->document()->documentMargin(), 10.0);
    }

    void editOpensTheDialogModally()
    {
        SetName(NameTable::EdidHdmiOutput, 1, "Screen");
        number(1)->click();
        bool modal = false;
        QTimer::singleShot(100, this, [&] {
            auto* dialog = page_->findChild<EDID_Edit_Page*>();
            modal = QApplication::activeModalWidget() == dialog &&
                    dialog->windowTitle() == QStringLiteral("EDID Edit Page");
            FindControl<QPushButton>(dialog, 1031)->click();
        });
        control(1023)->click(); // returns when the dialog is closed
        QVERIFY(modal);
        QCOMPARE(info()->toPlainText(), QString());
    }

    void editSavesIntoCheckedSlotsInOrder()
    {
        for (int n = 1; n <= 4; ++n)
            FillEntry(NameTable::EdidHdbtOutput, n, "hdbt " + std::to_string(n));
        FillEntry(NameTable::EdidUser, 1, "user 1");
        const auto untouched = Entry(NameTable::EdidUser, 1);
        EDID_Edit_Page* dialog = openEditDialog();
        FindControl<QPushButton>(dialog, 1096)->click(); // User 5
        FindControl<QPushButton>(dialog, 1093)->click(); // User 2
        QCOMPARE(checkedSlots(dialog), QStringLiteral("01001000"));

        const auto start = PtyMatrix::Clock::now();
        FindControl<QPushButton>(dialog, 1025)->click(); // HDBT 3
        const auto end = PtyMatrix::Clock::now();

        QCOMPARE(Sent(matrix_, 2),
                 QStringList({"#edid_d user2 mode=3 data=3", "#edid_d user5 mode=3 data=3"}));
        const auto bursts = matrix_.bursts();
        QVERIFY(MsBetween(bursts[0].start, bursts[1].start) >= kMinCommandGapMs);
        // Both leave while the dialog still sleeps; the selection clears only after the two
        // command pauses and the 1.5 s pause.
        QVERIFY(bursts[1].start < end);
        QVERIFY(MsBetween(start, end) >= 100 + 100 + 1500);
        QCOMPARE(checkedSlots(dialog), QStringLiteral("00000000"));
        QVERIFY(dialog->isVisible());

        QCOMPARE(Entry(NameTable::EdidUser, 2), Entry(NameTable::EdidHdbtOutput, 3));
        QCOMPARE(Entry(NameTable::EdidUser, 5), Entry(NameTable::EdidHdbtOutput, 3));
        QCOMPARE(Entry(NameTable::EdidUser, 1), untouched);
    }

    // A stored HDMI output EDID shows at once under "User", "Unplug" as what it stands for.
    void editHdmiStoreShowsUnderUser()
    {
        SetName(NameTable::EdidHdmiOutput, 4, "Unplug");
        EDID_Edit_Page* dialog = openEditDialog();
        FindControl<QPushButton>(dialog, 1099)->click(); // User 8
        FindControl<QPushButton>(dialog, 1018)->click(); // HDMI 4
        QCOMPARE(Sent(matrix_, 1), QStringList({"#edid_d user8 mode=2 data=4"}));
        dialog->hide();
        selectMode("User");
        number(8)->click();
        QCOMPARE(info()->toPlainText(), QStringLiteral("4K60 444 HDR AC-35.1"));
    }

    void editWithoutSlotAsksForOne()
    {
        RecordingMessages messages;
        FillEntry(NameTable::EdidHdmiOutput, 1, "hdmi 1");
        EDID_Edit_Page* dialog = openEditDialog();
        FindControl<QPushButton>(dialog, 1015)->click();
        QCOMPARE(messages.shown.size(), size_t(1));
        QCOMPARE(messages.shown[0].text, QStringLiteral("Please select user first..."));
        QCOMPARE(messages.shown[0].caption, QStringLiteral("ERROR"));
        QVERIFY(messages.shown[0].icon == MessageIcon::Error);
        for (int u = 1; u <= 8; ++u)
            QCOMPARE(GlobalDeviceStatus().name(NameTable::EdidUser, u), std::string());
        QVERIFY(!matrix_.waitForBursts(1, 300));
    }

    void editOpensWithoutSelection()
    {
        EDID_Edit_Page* dialog = openEditDialog();
        FindControl<QPushButton>(dialog, 1094)->click();
        FindControl<QPushButton>(dialog, 1031)->click(); // Exit
        QVERIFY(!dialog->isVisible());
        dialog->show();
        QCOMPARE(checkedSlots(dialog), QStringLiteral("00000000"));
    }
};

QTEST_MAIN(EdidPageTest)
#include "tst_edid_page.moc"
