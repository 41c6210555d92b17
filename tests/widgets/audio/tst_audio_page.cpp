// The audio page against a pseudo-terminal playing the matrix: the bytes and pacing of each
// click, the waiting state of each side, the refresh rules and the time-out boxes.
#include "CDialog_Audio.h"
#include "ControlId.h"
#include "MySerialPortComm.h"
#include "PageWire.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

using Ids = std::vector<int>;
const Ids kInputSide = {1033, 1034, 1035, 1036, 1037, 1038, 1039, 1040, 1041, 1042};
const Ids kOutputSide = {1006, 1007, 1008, 1009, 1010, 1011, 1012, 1013, 1014, 1015};
const Ids kInputH = {1033, 1035, 1037, 1039};
const Ids kInputA = {1034, 1036, 1038, 1040};
const Ids kOutputA = {1006, 1008, 1010, 1012};
const Ids kOutputS = {1007, 1009, 1011, 1013};

QMessageBox* VisibleBox(const QString& text)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible() && box->text() == text)
            return box;
    }
    return nullptr;
}

} // namespace

Q_DECLARE_METATYPE(StatusFields)

class AudioPageTest : public QObject {
    Q_OBJECT

private:
    PtyMatrix matrix_;
    std::unique_ptr<CDialog_Audio> page_;

    QPushButton* button(int id) { return FindControl<QPushButton>(page_.get(), id); }
    QTimer* timer(int id) { return page_->findChild<QTimer*>(QStringLiteral("timer%1").arg(id)); }

    // "1010" for four buttons of which the first and third are checked.
    QString checked(const Ids& ids)
    {
        QString pattern;
        for (int id : ids)
            pattern += button(id)->isChecked() ? '1' : '0';
        return pattern;
    }

    bool enabled(const Ids& ids, bool state)
    {
        return std::all_of(ids.begin(), ids.end(),
                           [&](int id) { return button(id)->isEnabled() == state; });
    }

    // The command leaves 100 ms after the click, while the handler still sleeps, and the
    // handler returns no sooner than that pause plus the page's own.
    [[nodiscard]] bool clickPaced(int id, int pauseMs)
    {
        const size_t before = matrix_.bursts().size();
        const auto start = PtyMatrix::Clock::now();
        button(id)->click();
        const auto end = PtyMatrix::Clock::now();
        if (!matrix_.waitForBursts(before + 1, 2000))
            return false;
        const auto burst = matrix_.bursts()[before];
        return MsBetween(start, end) >= 100 + pauseMs && MsBetween(start, burst.start) >= 100 &&
               burst.start < end;
    }

    void confirm(const StatusFields& fields)
    {
        ReceiveStatus(fields);
        page_->RefreshAudioInputs();
        page_->RefreshAudioOutputs();
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
        page_ = std::make_unique<CDialog_Audio>();
        page_->show();
        matrix_.clear();
    }

    void cleanup() { page_.reset(); }

    void inputPairIsExclusiveAndSendsItsMode()
    {
        confirm({});
        QVERIFY(clickPaced(1035, 500)); // input 2 H
        QCOMPARE(checked(kInputH) + checked(kInputA), QStringLiteral("01000000"));
        QVERIFY(enabled(kInputSide, false) && enabled(kOutputSide, true));
        QVERIFY(timer(404)->isActive());
        QCOMPARE(timer(404)->interval(), 6000);

        confirm({.audioInput = {0, 1, 0, 0}});
        QVERIFY(clickPaced(1036, 500)); // input 2 A while H is checked
        QCOMPARE(checked(kInputH) + checked(kInputA), QStringLiteral("00000100"));

        confirm({.audioInput = {0, 2, 0, 0}});
        QVERIFY(clickPaced(1036, 500)); // A again: neither
        QCOMPARE(checked(kInputH) + checked(kInputA), QStringLiteral("00000000"));

        const std::vector<std::string> expected = {"#audio_d in2 enc=1", "#audio_d in2 enc=2",
                                                   "#audio_d in2 enc=0"};
        QCOMPARE(SentCommands(matrix_, 3), expected);
    }

    void inputAllSetsEveryInput()
    {
        confirm({.audioInput = {2, 2, 2, 2}});
        QVERIFY(clickPaced(1041, 500));
        QCOMPARE(checked(kInputH) + checked(kInputA), QStringLiteral("11110000"));
        QVERIFY(button(1041)->isChecked() && !button(1042)->isChecked());
        QVERIFY(enabled(kInputSide, false) && enabled(kOutputSide, true));
        QCOMPARE(timer(404)->interval(), 3000);

        confirm({.audioInput = {1, 1, 1, 1}});
        QVERIFY(clickPaced(1041, 500)); // unchecking "All" H clears all eight
        QCOMPARE(checked(kInputH) + checked(kInputA), QStringLiteral("00000000"));

        const std::vector<std::string> expected = {"#audio_d in0 enc=1", "#audio_d in0 enc=0"};
        QCOMPARE(SentCommands(matrix_, 2), expected);
    }

    void fourInputsOneByOneCheckAllWithoutSendingIt()
    {
        StatusFields status;
        for (size_t n = 0; n < 4; ++n) {
            confirm(status);
            QVERIFY(!button(1041)->isChecked());
            button(kInputH[n])->click();
            status.audioInput[n] = 1;
        }
        // The last click itself shows "All" H, before any status block.
        QVERIFY(button(1041)->isChecked() && !button(1042)->isChecked());
        const std::vector<std::string> expected = {"#audio_d in1 enc=1", "#audio_d in2 enc=1",
                                                   "#audio_d in3 enc=1", "#audio_d in4 enc=1"};
        QCOMPARE(SentCommands(matrix_, 4), expected);
    }

    void outputSwitchesLeaveTheOtherAlone()
    {
        confirm({.spdif = {1, 0, 1, 0}});
        QVERIFY(clickPaced(1014, 500)); // "Output All" A
        QCOMPARE(checked(kOutputA) + checked(kOutputS), QStringLiteral("11111010"));
        QVERIFY(!button(1015)->isChecked());
        QVERIFY(enabled(kOutputSide, false) && enabled(kInputSide, true));
        QCOMPARE(timer(505)->interval(), 6000);

        confirm({.iis = {1, 1, 1, 1}, .spdif = {1, 0, 1, 0}});
        QVERIFY(clickPaced(1009, 200)); // output 2 S
        QCOMPARE(checked(kOutputA) + checked(kOutputS), QStringLiteral("11111110"));

        const std::vector<std::string> expected = {"#audio_d out0 iis=1", "#audio_d out2 spdif=1"};
        QCOMPARE(SentCommands(matrix_, 2), expected);
    }

    void refreshShowsTheMatrix_data()
    {
        QTest::addColumn<StatusFields>("before");
        QTest::addColumn<StatusFields>("status");
        QTest::addColumn<QString>("shown"); // H, A, "All" H, "All" A; then A, S, "All" A, "All" S
        QTest::newRow("all H, all iis 1")
            << StatusFields{} << StatusFields{.audioInput = {1, 1, 1, 1}, .iis = {1, 1, 1, 1}}
            << "1111000010 1111000010";
        QTest::newRow("all A, iis 2 is on but not All")
            << StatusFields{} << StatusFields{.audioInput = {2, 2, 2, 2}, .iis = {2, 2, 2, 2}}
            << "0000111101 1111000000";
        QTest::newRow("high bits ignored, unknown mode keeps the pair")
            << StatusFields{.audioInput = {2, 2, 2, 2}}
            << StatusFields{.audioInput = {0x41, 3, 0xC2, 0x80}, .spdif = {0x41, 1, 1, 0x81}}
            << "1000011000 0000111101";
    }

    void refreshShowsTheMatrix()
    {
        QFETCH(StatusFields, before);
        QFETCH(StatusFields, status);
        QFETCH(QString, shown);
        confirm(before);
        button(1033)->click(); // both sides waiting
        button(1006)->click();
        confirm(status);
        QCOMPARE(checked(kInputH) + checked(kInputA) + checked({1041, 1042}) + ' ' +
                     checked(kOutputA) + checked(kOutputS) + checked({1014, 1015}),
                 shown);
        QVERIFY(enabled(kInputSide, true) && enabled(kOutputSide, true));
    }

    // Any block ends the wait, whatever it reports; before the first block nothing does.
    void anyStatusBlockEndsTheWait()
    {
        button(1033)->click();
        button(1007)->click();
        page_->RefreshAudioInputs();
        page_->RefreshAudioOutputs();
        QVERIFY(enabled(kInputSide, false) && enabled(kOutputSide, false));
        QVERIFY(timer(404)->isActive() && timer(505)->isActive());

        confirm({.audioInput = {0, 2, 0, 0}});
        QVERIFY(enabled(kInputSide, true) && enabled(kOutputSide, true));
        QVERIFY(!timer(404)->isActive() && !timer(505)->isActive());
        QCOMPARE(checked(kInputH) + checked(kInputA) + checked(kOutputS),
                 QStringLiteral("000001000000"));
    }

    // With the real message service, no status block ever: "Input All" times out 3 s after
    // its command (the timer starts once the command is out, 100 ms after the click);
    // while its box is open the output side takes a click and sends, and that side's own box
    // opens beside the first 6 s later. The older box dismissed first gives its side back at
    // once, while the newer box still stands.
    void timeoutBoxesStandSideBySide()
    {
        QElapsedTimer clock;
        qint64 inputBoxAt = -1, outputClickAt = -1, outputBoxAt = -1;
        bool outputUsable = false, bothOpen = false, inputsBackFirst = false;
        int stage = 0;

        // Runs inside the boxes' event loops, as an operator's clicks would.
        QTimer watcher;
        watcher.setInterval(20);
        connect(&watcher, &QTimer::timeout, this, [&] {
            QMessageBox* inputBox = VisibleBox(QStringLiteral("Set Input Audio timeout..."));
            QMessageBox* outputBox = VisibleBox(QStringLiteral("Set Output Audio timeout..."));
            if (stage == 0 && inputBox) {
                inputBoxAt = clock.elapsed();
                outputUsable = enabled(kOutputSide, true) && enabled(kInputSide, false) &&
                               inputBox->windowTitle() == QStringLiteral("ERROR") &&
                               inputBox->icon() == QMessageBox::Critical;
                stage = 1;
                outputClickAt = clock.elapsed();
                button(1006)->click();
            } else if (stage == 1 && outputBox) {
                outputBoxAt = clock.elapsed();
                bothOpen = inputBox != nullptr;
                stage = 2;
                inputBox->button(QMessageBox::Ok)->click();
            } else if (stage == 2 && !inputBox && enabled(kInputSide, true)) {
                inputsBackFirst = outputBox != nullptr && enabled(kOutputSide, false);
                stage = 3;
                if (outputBox)
                    outputBox->button(QMessageBox::Ok)->click();
            }
        });
        watcher.start();

        clock.start();
        button(1041)->click();
        QTRY_VERIFY_WITH_TIMEOUT(stage == 3 && enabled(kOutputSide, true), 20000);
        watcher.stop();

        QVERIFY2(inputBoxAt >= 3100 && inputBoxAt < 5500, qPrintable(QString::number(inputBoxAt)));
        QVERIFY(outputUsable);
        QVERIFY(outputBoxAt - outputClickAt >= 6100);
        QVERIFY(bothOpen && inputsBackFirst);
        QCOMPARE(checked(kInputH) + checked({1041}) + checked(kOutputA),
                 QStringLiteral("111111000"));
        const std::vector<std::string> expected = {"#audio_d in0 enc=1", "#audio_d out1 iis=1"};
        QCOMPARE(SentCommands(matrix_, 2), expected);
    }
};

QTEST_MAIN(AudioPageTest)
#include "tst_audio_page.moc"
