// The EDID page against a pseudo-terminal playing the matrix: layouts per mode, what a
// numbered button shows, sends and captions, and what a status block puts back.
#include "CDialog_EDID.h"
#include "ControlId.h"
#include "Cp936.h"
#include "EDID_Edit_Page.h"
#include "InfoFont.h"
#include "MySerialPortComm.h"
#include "PageWire.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace
{

constexpr int kNumberIds[] = {1063, 1016, 1017, 1018, 1019, 1020, 1021, 1022};
constexpr int kInputIds[] = {1054, 1055, 1056, 1057};

void SetName(NameTable table, int entry, const QString& text)
{
    const QByteArray bytes = EncodeCp936(text).value();
    GlobalDeviceStatus().setName(table, entry, std::string_view(bytes.data(), bytes.size()));
}

} // namespace

class EdidPageTest : public QObject
{
    Q_OBJECT

private:
    PtyMatrix matrix_;
    std::unique_ptr<CDialog_EDID> page_;

    template <typename T = QPushButton> T* control(int id)
    {
        return FindControl<T>(page_.get(), id);
    }
    QPushButton* number(int k) { return control(kNumberIds[k - 1]); }
    QPushButton* input(int n) { return control(kInputIds[n - 1]); }
    QComboBox* list() { return control<QComboBox>(1002); }
    QTextEdit* info() { return control<QTextEdit>(1064); }

    void selectMode(const QString& item)
    {
        list()->setCurrentIndex(list()->findText(item));
        QCOMPARE(list()->currentText(), item);
    }

    QStringList captions()
    {
        QStringList out;
        for (int n = 1; n <= 4; ++n)
            out << input(n)->text();
        return out;
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
        page_->resize(820, 600);
        page_->show();
        matrix_.clear();
    }

    void cleanup() { page_.reset(); }

    void startsInHdmiModeWithTemplateCaptions()
    {
        QStringList items;
        for (int i = 0; i < list()->count(); ++i)
            items << list()->itemText(i);
        QCOMPARE(items, QStringList({"HDMI", "HDBT", "User", "Default"}));
        QCOMPARE(list()->currentText(), QStringLiteral("HDMI"));
        QCOMPARE(captions(),
                 QStringList({"HDMI 01>>01", "HDMI 02>>02", "HDMI 03>>03", "HDMI 04>>04"}));
        QCOMPARE(visibleNumbers(), QList({1, 2, 3, 4}));
        QCOMPARE(control(1058)->text(), QStringLiteral("All"));
        QCOMPARE(control(1023)->text(), QStringLiteral("Edit"));
        for (int k = 1; k <= 8; ++k)
            QCOMPARE(number(k)->text(), QStringLiteral("0%1").arg(k));
    }

    // The compact places are derived from the full ones, which the User layout shows.
    void layoutFollowsTheMode()
    {
        selectMode("User");
        QCOMPARE(visibleNumbers(), QList({1, 2, 3, 4, 5, 6, 7, 8}));
        QList<QRect> full;
        for (int k = 1; k <= 8; ++k)
            full << number(k)->geometry();
        const QRect fullEdit = control(1023)->geometry();
        const QRect fullList = list()->geometry();
        // Three to a row, "Edit" closing the third row, the list above the third column.
        QCOMPARE(full[0].y(), full[2].y());
        QCOMPARE(full[0].x(), full[3].x());
        QCOMPARE(full[6].x(), full[0].x());
        QCOMPARE(fullEdit.x(), full[2].x());
        QCOMPARE(fullEdit.y(), full[6].y());
        QVERIFY(fullList.bottom() < full[0].top());

        for (const QString mode : {"HDBT", "HDMI"}) {
            selectMode(mode);
            QCOMPARE(visibleNumbers(), QList({1, 2, 3, 4}));
            QCOMPARE(number(1)->geometry(), full[0].translated(40, 0));
            QCOMPARE(number(2)->geometry(), full[2].translated(-40, 0));
            QCOMPARE(number(3)->geometry(), full[3].translated(40, 0));
            QCOMPARE(number(4)->geometry(), full[5].translated(-40, 0));
            QCOMPARE(control(1023)->geometry(), full[6].translated(40, 0));
            QVERIFY(control(1023)->isVisible());
            const QRect compactList = list()->geometry();
            QCOMPARE(compactList.topLeft(), fullList.topLeft());
            QCOMPARE(compactList.height(), fullList.height());
            QCOMPARE(compactList.right(), fullList.right() - 41);
            // A two-column grid that does not overlap itself.
            QVERIFY(number(1)->geometry().right() < number(2)->geometry().left());
            QCOMPARE(number(1)->geometry().x(), control(1023)->geometry().x());
        }

        for (const QString mode : {"Default", "User"}) {
            selectMode(mode);
            QCOMPARE(visibleNumbers(), QList({1, 2, 3, 4, 5, 6, 7, 8}));
            for (int k = 1; k <= 8; ++k)
                QCOMPARE(number(k)->geometry(), full[k - 1]);
            QCOMPARE(control(1023)->geometry(), fullEdit);
            QCOMPARE(list()->geometry(), fullList);
        }
    }

    // Whatever the layout, the "Output" group shows every control it places, whole, and the
    // list never covers its label.
    void outputGroupHoldsItsControls()
    {
        auto* group = qobject_cast<QGroupBox*>(list()->parentWidget());
        QVERIFY(group);
        QLabel* label = nullptr;
        for (QLabel* candidate : group->findChildren<QLabel*>()) {
            if (candidate->text() == QStringLiteral("Output Mode"))
                label = candidate;
        }
        QVERIFY(label);
        QCOMPARE(label->buddy(), list());
        for (const QString mode : {"HDMI", "User"}) {
            selectMode(mode);
            const QRect inside = group->contentsRect();
            for (QWidget* child : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                if (child->isVisible())
                    QVERIFY2(inside.contains(child->geometry()), qPrintable(child->objectName()));
            }
            QVERIFY(label->geometry().right() < list()->geometry().left());
        }
    }

    void changingModeClearsTheInfoBox()
    {
        SetName(NameTable::EdidHdmiOutput, 1, "Screen A");
        number(1)->click();
        QCOMPARE(info()->toPlainText(), QStringLiteral("Screen A"));
        selectMode("User");
        QCOMPARE(info()->toPlainText(), QString());
    }

    void numberWithoutInputOnlyPreviews_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("table");
        QTest::addColumn<int>("k");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("HDMI") << "HDMI" << int(NameTable::EdidHdmiOutput) << 4 << "TV 4K"
                              << "TV 4K";
        QTest::newRow("HDBT") << "HDBT" << int(NameTable::EdidHdbtOutput) << 2 << "Projector"
                              << "Projector";
        QTest::newRow("User") << "User" << int(NameTable::EdidUser) << 8 << "Lab"
                              << "Lab";
        QTest::newRow("User Unplug") << "User" << int(NameTable::EdidUser) << 5 << "Unplug"
                                     << "4K60 444 HDR AC-35.1";
        QTest::newRow("HDMI Unplug stays")
            << "HDMI" << int(NameTable::EdidHdmiOutput) << 1 << "Unplug"
            << "Unplug";
        QTest::newRow("Default code page 936")
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
        const QStringList before = captions();
        number(k)->click();
        QCOMPARE(info()->toPlainText(), shown);
        QCOMPARE(captions(), before);
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
        QTest::newRow("HDMI, input 2")
            << "HDMI" << 4 << QList{2} << QStringList{"#edid_d in2 mode=2 data=4"}
            << QStringList{"HDMI 01>>01", "HDMI 04>>02", "HDMI 03>>03", "HDMI 04>>04"};
        QTest::newRow("HDBT, inputs 4 and 2")
            << "HDBT" << 1 << QList{4, 2}
            << QStringList{"#edid_d in2 mode=3 data=1", "#edid_d in4 mode=3 data=1"}
            << QStringList{"HDMI 01>>01", "HDBT 01>>02", "HDMI 03>>03", "HDBT 01>>04"};
        QTest::newRow("User, All")
            << "User" << 3 << QList{0} << QStringList{"#edid_d in0 mode=1 data=3"}
            << QStringList{"User 03>>01", "User 03>>02", "User 03>>03", "User 03>>04"};
        QTest::newRow("four inputs one by one check All")
            << "Default" << 8 << QList{1, 2, 3, 4} << QStringList{"#edid_d in0 mode=0 data=8"}
            << QStringList{" Default 08>>01", " Default 08>>02", " Default 08>>03",
                           " Default 08>>04"};
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
        const QList<bool> selection = {input(1)->isChecked(), input(2)->isChecked(),
                                       input(3)->isChecked(), input(4)->isChecked()};

        number(k)->click();
        QCOMPARE(this->captions(), captions);
        const auto sent = SentCommands(matrix_, static_cast<size_t>(commands.size()));
        QStringList sentText;
        for (const std::string& bytes : sent)
            sentText << QString::fromStdString(bytes);
        QCOMPARE(sentText, commands);
        const auto bursts = matrix_.bursts();
        for (size_t i = 1; i < bursts.size(); ++i)
            QVERIFY2(MsBetween(bursts[i - 1].start, bursts[i].start) >= kMinCommandGapMs,
                     qPrintable(QString::number(MsBetween(bursts[i - 1].start, bursts[i].start))));
        // The selection stays for the next click.
        QCOMPARE(QList<bool>({input(1)->isChecked(), input(2)->isChecked(), input(3)->isChecked(),
                              input(4)->isChecked()}),
                 selection);
    }

    void inputSelectionDrivesAll()
    {
        for (int n = 1; n <= 4; ++n)
            SetName(NameTable::EdidInput, n, QStringLiteral("EDID of input %1").arg(n));
        for (int n = 1; n <= 4; ++n) {
            QVERIFY(!control(1058)->isChecked());
            input(n)->click();
            QCOMPARE(info()->toPlainText(), QStringLiteral("EDID of input %1").arg(n));
        }
        QVERIFY(control(1058)->isChecked());

        input(2)->click(); // unchecking shows the input's EDID too
        QVERIFY(!control(1058)->isChecked());
        QCOMPARE(info()->toPlainText(), QStringLiteral("EDID of input 2"));

        control(1058)->click();
        QCOMPARE(info()->toPlainText(), QString());
        for (int n = 1; n <= 4; ++n)
            QVERIFY(input(n)->isChecked());
        control(1058)->click();
        for (int n = 1; n <= 4; ++n)
            QVERIFY(!input(n)->isChecked());
        QVERIFY(!matrix_.waitForBursts(1, 200));
    }

    void refreshCaptionsFromStatus()
    {
        selectMode("Default");
        input(1)->click();
        input(4)->click();
        number(2)->click();
        QCOMPARE(captions(),
                 QStringList({" Default 02>>01", "HDMI 02>>02", "HDMI 03>>03", " Default 02>>04"}));
        QCOMPARE(SentCommands(matrix_, 2).size(), size_t(2));
        const QString infoBefore = info()->toPlainText();

        // No block yet: nothing changes, the selection stays.
        page_->RefreshEdidInputs();
        QVERIFY(input(1)->isChecked() && input(4)->isChecked());
        QCOMPARE(captions()[0], QStringLiteral(" Default 02>>01"));

        // Input 1: Default 2 as the matrix reports it; input 2: User from a stored 2; input 3:
        // HDBT with high bits set; input 4: a mode the page does not know.
        ReceiveStatus({.edidMode = {0, 1, 0x43, 7}, .edidData = {1, 2, 0x40, 5}});
        page_->RefreshEdidInputs();
        QCOMPARE(captions(),
                 QStringList({"Default 02>>01", "User 03>>02", "HDBT 01>>03", " Default 02>>04"}));
        for (int n = 1; n <= 4; ++n)
            QVERIFY(!input(n)->isChecked());
        QVERIFY(!control(1058)->isChecked());
        QCOMPARE(list()->currentText(), QStringLiteral("Default"));
        QCOMPARE(info()->toPlainText(), infoBefore);
        QCOMPARE(visibleNumbers().size(), 8);

        ReceiveStatus({.edidMode = {1, 2, 3, 0}, .edidData = {2, 0, 3, 7}});
        page_->RefreshEdidInputs();
        QCOMPARE(captions(),
                 QStringList({"User 03>>01", "HDMI 01>>02", "HDBT 04>>03", "Default 08>>04"}));
    }

    void infoBoxShowsTextButTakesNoInput()
    {
        QTextEdit* box = info();
        QCOMPARE(box->font().pointSize(), 15);
        QCOMPARE(box->font().family(), InfoBoxFont().family());
        QVERIFY(!box->isEnabled());
        QVERIFY(box->isReadOnly());
        SetName(NameTable::EdidHdmiOutput, 3, "Monitor");
        number(3)->click();
        QCOMPARE(box->toPlainText(), QStringLiteral("Monitor"));
        // The inset holds for text put in after construction.
        QCOMPARE(box->document()->documentMargin(), 10.0);
    }

    void editOpensTheDialogModally()
    {
        SetName(NameTable::EdidHdmiOutput, 1, "Screen");
        number(1)->click();
        QString title;
        bool modal = false;
        QTimer::singleShot(100, this, [&] {
            auto* dialog = page_->findChild<EDID_Edit_Page*>();
            title = dialog->windowTitle();
            modal = dialog->isVisible() && QApplication::activeModalWidget() == dialog;
            FindControl<QPushButton>(dialog, 1031)->click();
        });
        control(1023)->click(); // returns when the dialog is closed
        QCOMPARE(title, QStringLiteral("EDID Edit Page"));
        QVERIFY(modal);
        QCOMPARE(info()->toPlainText(), QString());
        QVERIFY(!matrix_.waitForBursts(1, 200));
    }

    // A user EDID stored by the edit dialog shows on this page at once, under "User".
    void storedUserEdidShowsUnderUser_data()
    {
        QTest::addColumn<QString>("hdmiName");
        QTest::addColumn<QString>("shown");
        QTest::newRow("name") << "Boardroom TV"
                              << "Boardroom TV";
        QTest::newRow("Unplug") << "Unplug"
                                << "4K60 444 HDR AC-35.1";
    }

    void storedUserEdidShowsUnderUser()
    {
        QFETCH(QString, hdmiName);
        QFETCH(QString, shown);
        SetName(NameTable::EdidHdmiOutput, 1, hdmiName);
        auto* dialog = page_->findChild<EDID_Edit_Page*>();
        QVERIFY(dialog);
        dialog->show();
        FindControl<QPushButton>(dialog, 1095)->click(); // User 4
        FindControl<QPushButton>(dialog, 1015)->click(); // HDMI 1
        dialog->hide();

        selectMode("User");
        number(4)->click();
        QCOMPARE(info()->toPlainText(), shown);
        QCOMPARE(SentCommands(matrix_, 1), std::vector<std::string>{"#edid_d user4 mode=2 data=1"});
    }
};

QTEST_MAIN(EdidPageTest)
#include "tst_edid_page.moc"
