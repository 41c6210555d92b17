// The Video page against a pseudo-terminal playing the matrix: routing, scenes, the preset
// lapse, the refresh from a status block and the port-name tooltips.
#include "CDialog_Video.h"
#include "ControlId.h"
#include "DeviceStatus.h"
#include "MySerialPortComm.h"
#include "OperatorMessages.h"
#include "PtyMatrix.h"
#include "ReplyDecoder.h"
#include "ReplyFrame.h"
#include "WireLog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolTip>
#include <QtTest>

#include <memory>

namespace {

constexpr int kAll = 0; // stands for the "All" button in click lists

std::vector<std::string> ToStd(const QStringList& list)
{
    std::vector<std::string> out;
    for (const QString& s : list)
        out.push_back(s.toStdString());
    return out;
}

// A status block whose video routing bytes (offsets 16..19) are the given ones.
std::vector<uint8_t> StatusBlockData(const QList<int>& routing)
{
    std::vector<uint8_t> data(96, 0);
    for (int i = 0; i < routing.size(); ++i)
        data[16 + static_cast<size_t>(i)] = static_cast<uint8_t>(routing[i]);
    return data;
}

} // namespace

class TestVideoPage : public QObject {
    Q_OBJECT

    PtyMatrix matrix;
    std::unique_ptr<RecordingMessages> messages;
    std::unique_ptr<CDialog_Video> page;

    QPushButton* button(int id) { return FindControl<QPushButton>(page.get(), id); }
    QPushButton* output(int n) { return button(CDialog_Video::kOutputBase + n); }
    QPushButton* preset(int n) { return button(CDialog_Video::kPresetBase + n); }
    QPushButton* all() { return button(CDialog_Video::kAllOutputs); }

    QStringList shownCaptions()
    {
        QStringList out;
        for (int n = 1; n <= 4; ++n)
            out << output(n)->text();
        return out;
    }

    QList<bool> checkedStates()
    {
        QList<bool> out;
        for (int n = 1; n <= 4; ++n)
            out << output(n)->isChecked();
        out << all()->isChecked();
        for (int n = 1; n <= 8; ++n)
            out << preset(n)->isChecked();
        return out;
    }

    int checkedCount()
    {
        const QList<bool> states = checkedStates();
        return static_cast<int>(std::count(states.begin(), states.end(), true));
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
        page = std::make_unique<CDialog_Video>();
        page->resize(820, 600);
        page->show();
        matrix.clear();
    }

    void cleanup()
    {
        page.reset();
        messages.reset();
    }

    void controlsCarryTheirNumbersAndCaptions()
    {
        const QList<QPair<int, QString>> expected = {
            {1036, "01>>01"}, {1037, "02>>02"},   {1038, "03>>03"},   {1039, "04>>04"},
            {1040, "All"},    {1045, "01"},       {1046, "02"},       {1047, "03"},
            {1048, "04"},     {1091, "Preset 1"}, {1098, "Preset 8"}, {1016, "Save"},
            {1015, "Recall"}, {1032, "Rename"},   {1033, "Name"},
        };
        for (const auto& [id, caption] : expected) {
            QPushButton* b = button(id);
            QVERIFY2(b != nullptr, qPrintable(QString::number(id)));
            QCOMPARE(b->text(), caption);
        }
        QCOMPARE(page->presetTimer().interval(), 5000);
        QVERIFY(page->presetTimer().isSingleShot());
    }

    void routing_data()
    {
        QTest::addColumn<QList<int>>("clicks"); // output numbers, kAll for "All"
        QTest::addColumn<int>("input");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QStringList>("commands");

        QTest::newRow("All, input 2: one command for every output")
            << QList<int>{kAll} << 2 << QStringList{"02>>01", "02>>02", "02>>03", "02>>04"}
            << QStringList{"#video_d out0 matrix=2"};
        QTest::newRow("outputs 1 and 3, input 4")
            << QList<int>{1, 3} << 4 << QStringList{"04>>01", "02>>02", "04>>03", "04>>04"}
            << QStringList{"#video_d out1 matrix=4", "#video_d out3 matrix=4"};
        QTest::newRow("outputs clicked out of order go out ascending")
            << QList<int>{4, 2, 1} << 1 << QStringList{"01>>01", "01>>02", "03>>03", "01>>04"}
            << QStringList{"#video_d out1 matrix=1", "#video_d out2 matrix=1",
                           "#video_d out4 matrix=1"};
        QTest::newRow("four outputs one by one check All: one command")
            << QList<int>{1, 2, 3, 4} << 3 << QStringList{"03>>01", "03>>02", "03>>03", "03>>04"}
            << QStringList{"#video_d out0 matrix=3"};
        QTest::newRow("All then output 2 off: three commands")
            << QList<int>{kAll, 2} << 4 << QStringList{"04>>01", "02>>02", "04>>03", "04>>04"}
            << QStringList{"#video_d out1 matrix=4", "#video_d out3 matrix=4",
                           "#video_d out4 matrix=4"};
    }

    void routing()
    {
        QFETCH(QList<int>, clicks);
        QFETCH(int, input);
        QFETCH(QStringList, captions);
        QFETCH(QStringList, commands);

        for (int n : clicks)
            (n == kAll ? all() : output(n))->click();
        const QList<bool> selection = checkedStates();

        const auto pressed = PtyMatrix::Clock::now();
        button(CDialog_Video::kInputBase + input)->click();
        // The captions change at once, without waiting for the matrix.
        QCOMPARE(shownCaptions(), captions);
        QCOMPARE(checkedStates(), selection);

        QVERIFY(matrix.waitForBursts(static_cast<size_t>(commands.size()), 3000));
        QVERIFY(NothingMoreArrives(matrix, static_cast<size_t>(commands.size())));
        const auto bursts = matrix.bursts();
        QCOMPARE(BurstBytes(matrix), ToStd(commands));
        const QString pacing = PacingFault(bursts, pressed);
        QVERIFY2(pacing.isEmpty(), qPrintable(pacing));
        QVERIFY(messages->shown.empty());
    }

    void inputWithoutOutputIsRefused()
    {
        // "All" on and off again leaves nothing selected.
        all()->click();
        all()->click();
        button(CDialog_Video::kInputBase + 3)->click();

        QCOMPARE(messages->shown.size(), size_t{1});
        QCOMPARE(messages->shown[0].text, QString("Please select output first..."));
        QCOMPARE(messages->shown[0].caption, QString("ERROR"));
        QCOMPARE(messages->shown[0].icon, MessageIcon::Error);
        QCOMPARE(shownCaptions(), (QStringList{"01>>01", "02>>02", "03>>03", "04>>04"}));
        QVERIFY(NothingMoreArrives(matrix, 0));
    }

    void allFollowsTheFourOutputs()
    {
        for (int n = 1; n <= 3; ++n) {
            output(n)->click();
            QVERIFY(!all()->isChecked());
        }
        output(4)->click();
        QVERIFY(all()->isChecked());

        output(2)->click();
        QVERIFY(!all()->isChecked());
        QVERIFY(output(1)->isChecked() && !output(2)->isChecked());
        output(2)->click();
        QVERIFY(all()->isChecked());

        all()->click();
        for (int n = 1; n <= 4; ++n)
            QVERIFY(!output(n)->isChecked());
        all()->click();
        for (int n = 1; n <= 4; ++n)
            QVERIFY(output(n)->isChecked());
        QVERIFY(NothingMoreArrives(matrix, 0, 150));
    }

    void sceneOperation_data()
    {
        QTest::addColumn<QList<int>>("presetClicks");
        QTest::addColumn<int>("operation");
        QTest::addColumn<QString>("command");

        QTest::newRow("recall preset 5")
            << QList<int>{5} << CDialog_Video::kRecallScene << "#group5 exe=2";
        QTest::newRow("save preset 3")
            << QList<int>{3} << CDialog_Video::kSaveScene << "#group3 exe=1";
        QTest::newRow("a second preset click moves the selection")
            << QList<int>{2, 8} << CDialog_Video::kSaveScene << "#group8 exe=1";
    }

    void sceneOperation()
    {
        QFETCH(QList<int>, presetClicks);
        QFETCH(int, operation);
        QFETCH(QString, command);

        for (int n : presetClicks)
            preset(n)->click();
        QCOMPARE(checkedCount(), 1);
        QVERIFY(preset(presetClicks.last())->isChecked());

        QElapsedTimer took;
        took.start();
        const auto pressed = PtyMatrix::Clock::now();
        button(operation)->click();
        // 100 ms before the command, then a full second before the selection is cleared.
        QVERIFY2(took.elapsed() >= 1100, qPrintable(QString::number(took.elapsed())));
        QCOMPARE(checkedCount(), 0);

        QVERIFY(matrix.waitForBursts(1, 2000));
        QVERIFY(NothingMoreArrives(matrix, 1));
        QCOMPARE(BurstBytes(matrix), std::vector<std::string>{command.toStdString()});
        const QString pacing = PacingFault(matrix.bursts(), pressed);
        QVERIFY2(pacing.isEmpty(), qPrintable(pacing));
        QVERIFY(messages->shown.empty());
    }

    void sceneOperationWithoutPresetIsRefused()
    {
        for (int id : {CDialog_Video::kSaveScene, CDialog_Video::kRecallScene}) {
            QElapsedTimer took;
            took.start();
            button(id)->click();
            QVERIFY(took.elapsed() < 900); // no pause when nothing was sent
        }
        QCOMPARE(messages->shown.size(), size_t{2});
        for (const OperatorMessage& shown : messages->shown) {
            QCOMPARE(shown.text, QString("Please select Scenario first..."));
            QCOMPARE(shown.caption, QString("ERROR"));
        }
        QVERIFY(NothingMoreArrives(matrix, 0));
    }

    void presetLapsesFiveSecondsAfterTheLastClick()
    {
        preset(2)->click();
        QTest::qWait(2500);
        preset(4)->click();
        QElapsedTimer sinceLastClick;
        sinceLastClick.start();
        qint64 unchecked = -1;
        connect(preset(4), &QPushButton::toggled, this, [&](bool on) {
            if (!on)
                unchecked = sinceLastClick.elapsed();
        });

        // Past five seconds after the first click: the second click restarted the lapse.
        QTest::qWait(3000);
        QVERIFY(preset(4)->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(unchecked >= 0, 6000);
        QVERIFY2(unchecked >= 5000, qPrintable(QString::number(unchecked)));
        QCOMPARE(checkedCount(), 0);
        QVERIFY(!page->presetTimer().isActive());
        QVERIFY(NothingMoreArrives(matrix, 0, 100));
    }

    void statusBlockRecaptionsAndClears_data()
    {
        QTest::addColumn<QList<int>>("routing");
        QTest::addColumn<QStringList>("captions");

        QTest::newRow("only the low six bits count")
            << QList<int>{0x42, 0x01, 0x03, 0x00}
            << QStringList{"03>>01", "02>>02", "04>>03", "01>>04"};
        QTest::newRow("high bits set everywhere")
            << QList<int>{0xC3, 0x80, 0x41, 0x82}
            << QStringList{"04>>01", "01>>02", "02>>03", "03>>04"};
    }

    void statusBlockRecaptionsAndClears()
    {
        QFETCH(QList<int>, routing);
        QFETCH(QStringList, captions);

        all()->click();
        preset(6)->click();
        const std::vector<uint8_t> frame = BuildReplyFrame(FrameStatus, StatusBlockData(routing));
        DecodeChunk(GlobalDeviceStatus(), frame);
        QVERIFY(GlobalDeviceStatus().hasStatusBlock());

        QVERIFY(page->RefreshVideoOutputs());
        QCOMPARE(shownCaptions(), captions);
        QCOMPARE(checkedCount(), 0);
    }

    void refreshBeforeAnyStatusBlockOnlyClears()
    {
        QCOMPARE(shownCaptions(), (QStringList{"01>>01", "02>>02", "03>>03", "04>>04"}));
        output(2)->click();
        button(CDialog_Video::kInputBase + 3)->click();
        all()->click();
        preset(1)->click();
        QCOMPARE(checkedCount(), 6);

        QVERIFY(!page->RefreshVideoOutputs());
        QCOMPARE(shownCaptions(), (QStringList{"01>>01", "03>>02", "03>>03", "04>>04"}));
        QCOMPARE(checkedCount(), 0);
    }

    void tooltipsNameThePorts_data()
    {
        QTest::addColumn<int>("control");
        QTest::addColumn<QString>("tip");

        QTest::newRow("input with a name filling its 16 bytes")
            << 1045 << QString("Portname_Input:ABCDEFGHIJKLMNOP");
        QTest::newRow("input 2") << 1046 << QString("Portname_Input:DVD player");
        QTest::newRow("input named in Chinese")
            << 1047 << QString::fromUtf8("Portname_Input:会议室");
        QTest::newRow("input without a name") << 1048 << QString("Portname_Input:");
        QTest::newRow("output 1 shows two lines")
            << 1036 << QString("Portname_hdmi:Projector\nportname_hdbt:Lobby");
        QTest::newRow("output without names") << 1039 << QString("Portname_hdmi:\nportname_hdbt:");
    }

    void tooltipsNameThePorts()
    {
        QFETCH(int, control);
        QFETCH(QString, tip);

        // The input table as the matrix sends it: entry 1 fills its width with no zero.
        std::vector<uint8_t> inputs(128, 0);
        const std::string first = "ABCDEFGHIJKLMNOP", second = "DVD player";
        const std::string third = "\xbb\xe1\xd2\xe9\xca\xd2"; // 会议室 in code page 936
        std::copy(first.begin(), first.end(), inputs.begin());
        std::copy(second.begin(), second.end(), inputs.begin() + 16);
        std::copy(third.begin(), third.end(), inputs.begin() + 32);
        DecodeNameTable(GlobalDeviceStatus(), FrameInputPortNames, inputs);
        GlobalDeviceStatus().setName(NameTable::HdmiOutputPort, 1, "Projector");
        GlobalDeviceStatus().setName(NameTable::HdbtOutputPort, 1, "Lobby");

        QPushButton* target = button(control);
        QHelpEvent help(QEvent::ToolTip, QPoint(4, 4), target->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(target, &help);
        QTRY_COMPARE(QToolTip::text(), tip);
        QCOMPARE(page->ToolTipText(control), tip);
    }

    void allHasNoTooltip()
    {
        GlobalDeviceStatus().setName(NameTable::HdmiOutputPort, 1, "Projector");
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());

        QHelpEvent help(QEvent::ToolTip, QPoint(4, 4), all()->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(all(), &help);
        QTest::qWait(100);
        QVERIFY(!QToolTip::isVisible());
        QVERIFY(page->ToolTipText(CDialog_Video::kAllOutputs).isEmpty());
    }

    void dialogsOpenModally_data()
    {
        QTest::addColumn<int>("opener");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("exitId");

        QTest::newRow("Rename") << CDialog_Video::kRename << "Rename Page" << 1024;
        QTest::newRow("Name") << CDialog_Video::kNameScenes << "Scenes Page" << 1089;
    }

    void dialogsOpenModally()
    {
        QFETCH(int, opener);
        QFETCH(QString, title);
        QFETCH(int, exitId);

        QString seenTitle;
        bool exitFound = false;
        QTimer::singleShot(0, this, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (dialog == nullptr)
                return;
            seenTitle = dialog->windowTitle();
            auto* exit = FindControl<QPushButton>(dialog, exitId);
            exitFound = exit != nullptr;
            exit ? exit->click() : void(dialog->close());
        });
        button(opener)->click();
        QCOMPARE(seenTitle, title);
        QVERIFY(exitFound);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(NothingMoreArrives(matrix, 0, 100));
    }
};

QTEST_MAIN(TestVideoPage)
#include "tst_video_page.moc"
