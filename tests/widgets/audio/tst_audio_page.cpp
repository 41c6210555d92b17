// The audio page against a pseudo-terminal playing the matrix: the bytes and pacing of each
// click, the waiting state of each side, the refresh rules and the time-out boxes.
#include "CDialog_Audio.h"
#include "ControlId.h"
#include "MySerialPortComm.h"
#include "OperatorMessages.h"
#include "PageWire.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace
{

constexpr int kInputSide[] = {1033, 1034, 1035, 1036, 1037, 1038, 1039, 1040, 1041, 1042};
constexpr int kOutputSide[] = {1006, 1007, 1008, 1009, 1010, 1011, 1012, 1013, 1014, 1015};
constexpr int kInputH[] = {1033, 1035, 1037, 1039};
constexpr int kInputA[] = {1034, 1036, 1038, 1040};
constexpr int kOutputA[] = {1006, 1008, 1010, 1012};
constexpr int kOutputS[] = {1007, 1009, 1011, 1013};

// "1010" for four buttons of which the first and third are checked.
template <size_t N> QString CheckedPattern(QWidget* page, const int (&ids)[N])
{
    QString pattern;
    for (int id : ids)
        pattern += FindControl<QPushButton>(page, id)->isChecked() ? '1' : '0';
    return pattern;
}

std::array<uint8_t, 4> Bytes(const QList<int>& values)
{
    std::array<uint8_t, 4> out{};
    for (size_t i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(values[static_cast<qsizetype>(i)]);
    return out;
}

QList<QMessageBox*> VisibleBoxes()
{
    QList<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible())
            boxes.append(box);
    }
    return boxes;
}

QMessageBox* VisibleBox(const QString& text)
{
    for (QMessageBox* box : VisibleBoxes()) {
        if (box->text() == text)
            return box;
    }
    return nullptr;
}

} // namespace

class AudioPageTest : public QObject
{
    Q_OBJECT

private:
    PtyMatrix matrix_;
    std::unique_ptr<CDialog_Audio> page_;

    QPushButton* button(int id) { return FindControl<QPushButton>(page_.get(), id); }

    template <size_t N> bool sideEnabled(const int (&ids)[N], bool enabled)
    {
        for (int id : ids) {
            if (button(id)->isEnabled() != enabled)
                return false;
        }
        return true;
    }

    QTimer* timer(int id) { return page_->findChild<QTimer*>(QStringLiteral("timer%1").arg(id)); }

    // Clicks and checks the pacing: the command leaves 100 ms after the click, while the
    // handler still sleeps, and the handler returns no sooner than the command's pause plus
    // the page's own pause.
    [[nodiscard]] bool clickPaced(int id, int pauseMs)
    {
        const size_t before = matrix_.bursts().size();
        const auto start = PtyMatrix::Clock::now();
        button(id)->click();
        const auto end = PtyMatrix::Clock::now();
        if (!matrix_.waitForBursts(before + 1, 2000)) {
            qWarning("button %d sent nothing", id);
            return false;
        }
        const auto burst = matrix_.bursts()[before];
        const long long handlerMs = MsBetween(start, end);
        const long long sendMs = MsBetween(start, burst.start);
        if (handlerMs < 100 + pauseMs || sendMs < 100 || burst.start >= end) {
            qWarning("button %d: handler %lld ms, command after %lld ms", id, handlerMs, sendMs);
            return false;
        }
        return true;
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

    void startsEnabledAndUnchecked()
    {
        QVERIFY(sideEnabled(kInputSide, true));
        QVERIFY(sideEnabled(kOutputSide, true));
        for (int id : kInputSide)
            QVERIFY(button(id)->isCheckable() && !button(id)->isChecked());
        for (int id : kOutputSide)
            QVERIFY(button(id)->isCheckable() && !button(id)->isChecked());
        QCOMPARE(button(1041)->text(), QStringLiteral("H"));
        QCOMPARE(button(1042)->text(), QStringLiteral("A"));
        QCOMPARE(button(1014)->text(), QStringLiteral("A"));
        QCOMPARE(button(1015)->text(), QStringLiteral("S"));
    }

    void inputPairIsExclusiveAndSendsItsMode()
    {
        confirm({});
        QVERIFY(clickPaced(1035, 500)); // input 2 H
        QCOMPARE(CheckedPattern(page_.get(), kInputH), QStringLiteral("0100"));
        QCOMPARE(CheckedPattern(page_.get(), kInputA), QStringLiteral("0000"));
        QVERIFY(sideEnabled(kInputSide, false));
        QVERIFY(sideEnabled(kOutputSide, true));
        QVERIFY(timer(404)->isActive());
        QCOMPARE(timer(404)->interval(), 6000);

        confirm({.audioInput = {0, 1, 0, 0}});
        QVERIFY(clickPaced(1036, 500)); // input 2 A while H is checked
        QCOMPARE(CheckedPattern(page_.get(), kInputH), QStringLiteral("0000"));
        QCOMPARE(CheckedPattern(page_.get(), kInputA), QStringLiteral("0100"));

        confirm({.audioInput = {0, 2, 0, 0}});
        QVERIFY(clickPaced(1036, 500)); // A again: neither
        QCOMPARE(CheckedPattern(page_.get(), kInputH), QStringLiteral("0000"));
        QCOMPARE(CheckedPattern(page_.get(), kInputA), QStringLiteral("0000"));

        const std::vector<std::string> expected = {"#audio_d in2 enc=1", "#audio_d in2 enc=2",
                                                   "#audio_d in2 enc=0"};
        QCOMPARE(SentCommands(matrix_, 3), expected);
    }

    void inputAllSetsEveryInput()
    {
        confirm({.audioInput = {2, 2, 2, 2}});
        QVERIFY(button(1042)->isChecked());

        QVERIFY(clickPaced(1041, 500));
        QCOMPARE(CheckedPattern(page_.get(), kInputH), QStringLiteral("1111"));
        QCOMPARE(CheckedPattern(page_.get(), kInputA), QStringLiteral("0000"));
        QVERIFY(button(1041)->isChecked() && !button(1042)->isChecked());
        QVERIFY(sideEnabled(kInputSide, false));
        QVERIFY(sideEnabled(kOutputSide, true));
        QVERIFY(timer(404)->isActive());
        QCOMPARE(timer(404)->interval(), 3000);

        confirm({.audioInput = {1, 1, 1, 1}});
        QVERIFY(clickPaced(1041, 500)); // unchecking "All" H clears all eight
        QCOMPARE(CheckedPattern(page_.get(), kInputH), QStringLiteral("0000"));
        QCOMPARE(CheckedPattern(page_.get(), kInputA), QStringLiteral("0000"));
        QVERIFY(!button(1041)->isChecked() && !button(1042)->isChecked());

        confirm({});
        QVERIFY(clickPaced(1042, 500));
        QCOMPARE(CheckedPattern(page_.get(), kInputA), QStringLiteral("1111"));
        QVERIFY(!button(1041)->isChecked());

        const std::vector<std::string> expected = {"#audio_d in0 enc=1", "#audio_d in0 enc=0",
                                                   "#audio_d in0 enc=2"};
        QCOMPARE(SentCommands(matrix_, 3), expected);
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
        QVERIFY(button(1041)->isChecked());
        QVERIFY(!button(1042)->isChecked());
        const std::vector<std::string> expected = {"#audio_d in1 enc=1", "#audio_d in2 enc=1",
                                                   "#audio_d in3 enc=1", "#audio_d in4 enc=1"};
        QCOMPARE(SentCommands(matrix_, 4), expected);
    }

    void outputSwitchesAreIndependent()
    {
        confirm({.iis = {1, 1, 1, 0}, .spdif = {0, 1, 0, 0}});
        QVERIFY(!button(1014)->isChecked());

        QVERIFY(clickPaced(1012, 200)); // output 4 A
        QCOMPARE(CheckedPattern(page_.get(), kOutputA), QStringLiteral("1111"));
        QCOMPARE(CheckedPattern(page_.get(), kOutputS), QStringLiteral("0100"));
        QVERIFY(button(1014)->isChecked()); // shown by the click, not sent
        QVERIFY(!button(1015)->isChecked());
        QVERIFY(sideEnabled(kOutputSide, false));
        QVERIFY(sideEnabled(kInputSide, true));
        QVERIFY(timer(505)->isActive());
        QCOMPARE(timer(505)->interval(), 6000);

        confirm({.iis = {1, 1, 1, 1}, .spdif = {0, 1, 0, 0}});
        QVERIFY(clickPaced(1009, 200)); // output 2 S off
        QCOMPARE(CheckedPattern(page_.get(), kOutputA), QStringLiteral("1111"));
        QCOMPARE(CheckedPattern(page_.get(), kOutputS), QStringLiteral("0000"));

        const std::vector<std::string> expected = {"#audio_d out4 iis=1", "#audio_d out2 spdif=0"};
        QCOMPARE(SentCommands(matrix_, 2), expected);
    }

    void outputAllSetsOnlyItsOwnSwitch()
    {
        confirm({.spdif = {1, 0, 1, 0}});

        QVERIFY(clickPaced(1014, 500));
        QCOMPARE(CheckedPattern(page_.get(), kOutputA), QStringLiteral("1111"));
        QCOMPARE(CheckedPattern(page_.get(), kOutputS), QStringLiteral("1010"));
        QVERIFY(!button(1015)->isChecked());
        QVERIFY(sideEnabled(kOutputSide, false));
        QVERIFY(timer(505)->isActive());

        confirm({.iis = {1, 1, 1, 1}, .spdif = {1, 0, 1, 0}});
        QVERIFY(clickPaced(1015, 500));
        QCOMPARE(CheckedPattern(page_.get(), kOutputA), QStringLiteral("1111"));
        QCOMPARE(CheckedPattern(page_.get(), kOutputS), QStringLiteral("1111"));

        confirm({.iis = {1, 1, 1, 1}, .spdif = {1, 1, 1, 1}});
        QVERIFY(clickPaced(1014, 500));
        QCOMPARE(CheckedPattern(page_.get(), kOutputA), QStringLiteral("0000"));
        QCOMPARE(CheckedPattern(page_.get(), kOutputS), QStringLiteral("1111"));

        const std::vector<std::string> expected = {"#audio_d out0 iis=1", "#audio_d out0 spdif=1",
                                                   "#audio_d out0 iis=0"};
        QCOMPARE(SentCommands(matrix_, 3), expected);
    }

    void refreshShowsInputModes_data()
    {
        QTest::addColumn<QList<int>>("before");
        QTest::addColumn<QList<int>>("modes");
        QTest::addColumn<QString>("h");
        QTest::addColumn<QString>("a");
        QTest::addColumn<bool>("allH");
        QTest::addColumn<bool>("allA");
        QTest::newRow("mixed") << QList{0, 0, 0, 0} << QList{1, 2, 0, 1} << "1001"
                               << "0100" << false << false;
        QTest::newRow("all H") << QList{0, 0, 0, 0} << QList{1, 1, 1, 1} << "1111"
                               << "0000" << true << false;
        QTest::newRow("all A") << QList{1, 1, 1, 1} << QList{2, 2, 2, 2} << "0000"
                               << "1111" << false << true;
        QTest::newRow("all off") << QList{2, 2, 2, 2} << QList{0, 0, 0, 0} << "0000"
                                 << "0000" << false << false;
        QTest::newRow("high bits ignored")
            << QList{0, 0, 0, 0} << QList{0x41, 0xC1, 0x42, 0x80} << "1100"
            << "0010" << false << false;
        QTest::newRow("unknown mode keeps the pair")
            << QList{1, 2, 1, 1} << QList{1, 3, 1, 1} << "1011"
            << "0100" << false << false;
    }

    void refreshShowsInputModes()
    {
        QFETCH(QList<int>, before);
        QFETCH(QList<int>, modes);
        QFETCH(QString, h);
        QFETCH(QString, a);
        QFETCH(bool, allH);
        QFETCH(bool, allA);
        confirm({.audioInput = Bytes(before)});
        confirm({.audioInput = Bytes(modes)});
        QCOMPARE(CheckedPattern(page_.get(), kInputH), h);
        QCOMPARE(CheckedPattern(page_.get(), kInputA), a);
        QCOMPARE(button(1041)->isChecked(), allH);
        QCOMPARE(button(1042)->isChecked(), allA);
        QVERIFY(sideEnabled(kInputSide, true));
    }

    void refreshShowsOutputSwitches_data()
    {
        QTest::addColumn<QList<int>>("iis");
        QTest::addColumn<QList<int>>("spdif");
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("s");
        QTest::addColumn<bool>("allA");
        QTest::addColumn<bool>("allS");
        QTest::newRow("all one") << QList{1, 1, 1, 1} << QList{1, 1, 1, 1} << "1111"
                                 << "1111" << true << true;
        QTest::newRow("two is on but not all") << QList{2, 2, 2, 2} << QList{1, 1, 1, 2} << "1111"
                                               << "1111" << false << false;
        QTest::newRow("one port off") << QList{1, 1, 0, 1} << QList{0, 0, 0, 0} << "1101"
                                      << "0000" << false << false;
        QTest::newRow("high bits ignored")
            << QList{0x41, 0x81, 1, 1} << QList{0x40, 0, 0, 0} << "1111"
            << "0000" << true << false;
    }

    void refreshShowsOutputSwitches()
    {
        QFETCH(QList<int>, iis);
        QFETCH(QList<int>, spdif);
        QFETCH(QString, a);
        QFETCH(QString, s);
        QFETCH(bool, allA);
        QFETCH(bool, allS);
        confirm({.iis = Bytes(iis), .spdif = Bytes(spdif)});
        QCOMPARE(CheckedPattern(page_.get(), kOutputA), a);
        QCOMPARE(CheckedPattern(page_.get(), kOutputS), s);
        QCOMPARE(button(1014)->isChecked(), allA);
        QCOMPARE(button(1015)->isChecked(), allS);
    }

    void anyStatusBlockEndsTheWait()
    {
        button(1033)->click();
        button(1007)->click();
        QVERIFY(sideEnabled(kInputSide, false));
        QVERIFY(sideEnabled(kOutputSide, false));

        // No block since the reset: the refreshes leave both sides waiting.
        page_->RefreshAudioInputs();
        page_->RefreshAudioOutputs();
        QVERIFY(sideEnabled(kInputSide, false));
        QVERIFY(sideEnabled(kOutputSide, false));
        QVERIFY(timer(404)->isActive() && timer(505)->isActive());

        // A block that does not reflect either click still ends the wait; the matrix wins.
        confirm({.audioInput = {0, 2, 0, 0}});
        QVERIFY(sideEnabled(kInputSide, true));
        QVERIFY(sideEnabled(kOutputSide, true));
        QVERIFY(!timer(404)->isActive() && !timer(505)->isActive());
        QCOMPARE(CheckedPattern(page_.get(), kInputH), QStringLiteral("0000"));
        QCOMPARE(CheckedPattern(page_.get(), kInputA), QStringLiteral("0100"));
        QCOMPARE(CheckedPattern(page_.get(), kOutputS), QStringLiteral("0000"));
    }

    // Both sides wait at once and each reports its own time-out after 6 s; the buttons come
    // back as the clicks left them, and nothing is sent again.
    void unconfirmedClicksTimeOut()
    {
        RecordingMessages messages;
        QElapsedTimer clock;
        QList<qint64> shownAt;
        QList<bool> sideStillDisabled;
        messages.onShow = [&](const OperatorMessage& message) {
            shownAt.append(clock.elapsed());
            sideStillDisabled.append(message.text.startsWith(QStringLiteral("Set Input"))
                                         ? sideEnabled(kInputSide, false)
                                         : sideEnabled(kOutputSide, false));
        };
        clock.start();
        button(1037)->click(); // input 3 H
        const qint64 outputClickAt = clock.elapsed();
        button(1011)->click(); // output 3 S

        QTRY_COMPARE_WITH_TIMEOUT(messages.shown.size(), size_t(2), 12000);
        QCOMPARE(messages.shown[0].text, QStringLiteral("Set Input Audio timeout..."));
        QCOMPARE(messages.shown[1].text, QStringLiteral("Set Output Audio timeout..."));
        for (const OperatorMessage& shown : messages.shown) {
            QCOMPARE(shown.caption, QStringLiteral("ERROR"));
            QVERIFY(shown.icon == MessageIcon::Error);
            QVERIFY(shown.buttons == MessageButtons::Ok);
        }
        QVERIFY2(shownAt[0] >= 6000 && shownAt[0] < 9000, qPrintable(QString::number(shownAt[0])));
        QVERIFY(shownAt[1] - outputClickAt >= 6000);
        QCOMPARE(sideStillDisabled, QList({true, true}));

        QVERIFY(sideEnabled(kInputSide, true));
        QVERIFY(sideEnabled(kOutputSide, true));
        QVERIFY(button(1037)->isChecked());
        QVERIFY(button(1011)->isChecked());
        QVERIFY(!timer(404)->isActive() && !timer(505)->isActive());
        QCOMPARE(SentCommands(matrix_, 2).size(), size_t(2));
    }

    // With the real message service: while the input side's time-out box is open, the output
    // side still takes a click and sends, and its own time-out box opens beside the first.
    void timeoutBoxesStandSideBySide()
    {
        QElapsedTimer clock;
        qint64 inputBoxAt = -1;
        qint64 outputClickAt = -1;
        qint64 outputBoxAt = -1;
        bool outputUsableUnderInputBox = false;
        bool bothOpenAtOnce = false;
        bool outputsBackBeforeInputs = false;
        int stage = 0;

        // Runs inside the boxes' own event loops, as an operator's clicks would.
        QTimer watcher;
        watcher.setInterval(20);
        connect(&watcher, &QTimer::timeout, this, [&] {
            QMessageBox* inputBox = VisibleBox(QStringLiteral("Set Input Audio timeout..."));
            QMessageBox* outputBox = VisibleBox(QStringLiteral("Set Output Audio timeout..."));
            if (stage == 0 && inputBox) {
                inputBoxAt = clock.elapsed();
                outputUsableUnderInputBox = sideEnabled(kOutputSide, true) &&
                                            sideEnabled(kInputSide, false) &&
                                            inputBox->windowTitle() == QStringLiteral("ERROR") &&
                                            inputBox->icon() == QMessageBox::Critical;
                stage = 1;
                outputClickAt = clock.elapsed();
                button(1006)->click();
            } else if (stage == 1 && outputBox) {
                outputBoxAt = clock.elapsed();
                bothOpenAtOnce = inputBox != nullptr;
                stage = 2;
                outputBox->button(QMessageBox::Ok)->click();
            } else if (stage == 2 && !outputBox && sideEnabled(kOutputSide, true)) {
                outputsBackBeforeInputs = sideEnabled(kInputSide, false);
                stage = 3;
                if (inputBox)
                    inputBox->button(QMessageBox::Ok)->click();
            }
        });
        watcher.start();

        clock.start();
        button(1041)->click(); // "Input All" H: 3 s
        QTRY_VERIFY_WITH_TIMEOUT(stage == 3 && sideEnabled(kInputSide, true), 20000);
        watcher.stop();

        QVERIFY2(inputBoxAt >= 3000 && inputBoxAt < 5500, qPrintable(QString::number(inputBoxAt)));
        QVERIFY(outputUsableUnderInputBox);
        QVERIFY(outputBoxAt - outputClickAt >= 6000);
        QVERIFY(bothOpenAtOnce);
        QVERIFY(outputsBackBeforeInputs);
        QVERIFY(VisibleBoxes().isEmpty());
        const std::vector<std::string> expected = {"#audio_d in0 enc=1", "#audio_d out1 iis=1"};
        QCOMPARE(SentCommands(matrix_, 2), expected);
    }
};

QTEST_MAIN(AudioPageTest)
#include "tst_audio_page.moc"
