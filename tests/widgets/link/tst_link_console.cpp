// The Rx box as the operator's console: its toggles, tools and remembered settings, against a
// pseudo-terminal matrix and the real tavloctl.
#include "LinkPageFixture.h"

#include "ConsoleLog.h"
#include "HostCommands.h"
#include "RxConsole.h"
#include "SendCommand.h"
#include "TxHistory.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace link_test;

namespace {

CDialog_Link::Timings noPolling()
{
    CDialog_Link::Timings t;
    t.pollMs = 600'000;
    return t;
}

QString shown(const QString& text) { return RxLogBox::DisplayText(text); }

// A page whose acquisition is done and whose log is empty, with the settings of the run so far.
struct ConsoleFixture : LinkFixture {
    ConsoleFixture() : LinkFixture(noPolling())
    {
        ready = openAndComplete();
        page->ClearRx();
        pty.clear();
    }
    RxConsole* console() const { return page->console(); }
    void trigger(const QString& action) { console()->action(action)->trigger(); }
    // Writes the bytes as the matrix and waits until the page has logged them.
    bool receive(const QByteArray& bytes)
    {
        const qsizetype before = page->rxLog().size();
        pty.write(bytes.toStdString());
        return QTest::qWaitFor([&] { return page->rxLog().size() > before; }, 3000);
    }
    bool sendFromTxBox(const QString& text)
    {
        const size_t before = pty.bursts().size();
        txBox()->setPlainText(text);
        QTest::mouseClick(control(CDialog_Link::kSend), Qt::LeftButton);
        return waitBursts(before + 1, 3000);
    }
    bool ready = false;
};

void resetSettings() { QSettings().clear(); }

} // namespace

class LinkConsoleTest : public QObject {
    Q_OBJECT
    SettingsSandbox settings_;

private slots:
    void init() { resetSettings(); }
    void cleanupTestCase() { GlobalSerialPort().ClosePort(); }

    void defaultViewIsTheLog();
    void togglesShowWhatTheyPromise_data();
    void togglesShowWhatTheyPromise();
    void settingsSurviveARestart();
    void pauseKeepsTheData();
    void savedRawDecodesBackWithTavloctl_data();
    void savedRawDecodesBackWithTavloctl();
    void savedLogHasTimesAndSentCommands();
    void findWrapsRound();
    void logIsBoundedWhateverItHolds();
};

// Nothing new shows by default: a poll and a chunk leave exactly the log in the box, and the
// tools wait in the box's context menu.
void LinkConsoleTest::defaultViewIsTheLog()
{
    ConsoleFixture f;
    QVERIFY(f.ready);
    SendCommand(Commands::RequestStatus());
    QVERIFY(f.receive("OK"));
    QVERIFY(f.sendFromTxBox(QStringLiteral("#typed")));
    QCOMPARE(f.page->rxLog(), QStringLiteral("OK\r\n\r\n#typed\r\n"));
    QCOMPARE(f.rxShown(), shown(f.page->rxLog()));
    QCOMPARE(f.console()->options(), ConsoleOptions{});

    QStringList offered;
    QTimer::singleShot(0, [&offered] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu != nullptr);
        for (QAction* action : menu->actions())
            offered << action->text();
        menu->close();
    });
    QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(5, 5),
                              f.rxBox()->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(f.rxBox()->viewport(), &request);
    for (const QString& text : f.console()->menuTexts())
        QVERIFY2(offered.contains(text), qPrintable(offered.join(QLatin1Char('|'))));
    QVERIFY(offered.contains(QStringLiteral("Timestamps")));
}

void LinkConsoleTest::togglesShowWhatTheyPromise_data()
{
    QTest::addColumn<QString>("toggle");
    QTest::addColumn<QString>("txText");   // sent from the Tx box instead of a chunk received
    QTest::addColumn<QString>("expected"); // the box's text after it, as a pattern
    QTest::newRow("time of day") << "Time of Day" << QString()
                                 << R"(^first\n\n\[\d\d:\d\d:\d\d\.\d\d\d\] second\n\n$)";
    QTest::newRow("time since previous chunk") << "Time Since Previous Chunk" << QString()
                                               << R"(^first\n\n\[\+(\d)\.\d\d\d s\] second\n\n$)";
    QTest::newRow("hex") << "Show Hex" << QString()
                         << "^first\\n\\nsecond\\n  0000  73 65 63 6F 6E 64\\n\\n$";
    QTest::newRow("sent commands") << "Show Sent Commands" << QStringLiteral("#route\n1")
                                   << R"(^first\n\n\[Tx\] #route\\r\\n1\n$)";
}

// The first chunk arrives with the toggle off, then it is turned on in the menu and the second
// chunk (or a line from the Tx box) shows what it promises; the first stays as it was.
void LinkConsoleTest::togglesShowWhatTheyPromise()
{
    QFETCH(QString, toggle);
    QFETCH(QString, txText);
    QFETCH(QString, expected);
    ConsoleFixture f;
    QVERIFY(f.ready);
    QVERIFY(f.receive("first"));
    f.trigger(toggle);
    if (txText.isEmpty())
        QVERIFY(f.receive("second"));
    else
        QVERIFY(f.sendFromTxBox(txText));
    QTRY_VERIFY_WITH_TIMEOUT(f.rxShown().count(QLatin1Char('\n')) >= 3, 2000);
    const QRegularExpressionMatch match = QRegularExpression(expected).match(f.rxShown());
    QVERIFY2(match.hasMatch(), qPrintable(f.rxShown()));
    if (match.lastCapturedIndex() == 1) // seconds since the first chunk: it came ~0.5 s before
        QVERIFY2(match.captured(1).toInt() < 3, qPrintable(match.captured(0)));
    // The log itself is what it always was, a typed line included.
    QVERIFY(f.page->rxLog().startsWith(QStringLiteral("first\r\n\r\n")));
    if (!txText.isEmpty())
        QCOMPARE(f.page->rxLog(), QStringLiteral("first\r\n\r\n") + txText.replace("\n", "\r\n") +
                                      QStringLiteral("\r\n"));
}

// The toggles and the Tx history outlive the page: a new page object reads the same settings.
void LinkConsoleTest::settingsSurviveARestart()
{
    {
        ConsoleFixture f;
        f.trigger(QStringLiteral("Time Since Previous Chunk"));
        f.trigger(QStringLiteral("Show Hex"));
        QVERIFY(f.sendFromTxBox(QStringLiteral("#first")));
        QVERIFY(f.sendFromTxBox(QStringLiteral("#second\nline")));
    }
    ConsoleFixture f;
    ConsoleOptions expected;
    expected.timestamps = ConsoleOptions::Timestamps::SincePreviousChunk;
    expected.hex = true;
    QCOMPARE(f.console()->options(), expected);
    QVERIFY(f.console()->action(QStringLiteral("Time Since Previous Chunk"))->isChecked());
    QVERIFY(f.console()->action(QStringLiteral("Show Hex"))->isChecked());

    QPlainTextEdit* tx = f.txBox();
    tx->setFocus();
    QTest::keyClicks(tx, "dra");
    const auto press = [tx](Qt::Key key) {
        QTest::keyClick(tx, key);
        return tx->toPlainText();
    };
    QCOMPARE(press(Qt::Key_Up), QStringLiteral("#second\nline"));
    QCOMPARE(press(Qt::Key_Up), QStringLiteral("#first"));
    QCOMPARE(press(Qt::Key_Up), QStringLiteral("#first")); // the oldest
    QCOMPARE(press(Qt::Key_Down), QStringLiteral("#second\nline"));
    // Inside a recalled text of two lines Up moves the caret, and Down past the last line
    // brings back what was being typed.
    QCOMPARE(press(Qt::Key_Up), QStringLiteral("#second\nline"));
    QCOMPARE(tx->textCursor().blockNumber(), 0);
    QCOMPARE(press(Qt::Key_Down), QStringLiteral("#second\nline"));
    QCOMPARE(press(Qt::Key_Down), QStringLiteral("dra"));

    // At most the newest 50, in order.
    TxHistory history;
    for (int i = 0; i < 60; ++i)
        history.Add(QStringLiteral("#%1").arg(i));
    QCOMPARE(TxHistory().lines().size(), TxHistory::kMaxLines);
    QCOMPARE(TxHistory().lines().front(), QStringLiteral("#10"));
}

void LinkConsoleTest::pauseKeepsTheData()
{
    ConsoleFixture f;
    QByteArray lines;
    for (int i = 0; i < 200; ++i)
        lines += "line " + QByteArray::number(i) + "\n";
    QVERIFY(f.receive(lines));
    QScrollBar* bar = f.rxBox()->verticalScrollBar();
    QCOMPARE(bar->value(), bar->maximum());
    f.trigger(QStringLiteral("Pause Autoscroll"));
    bar->setValue(10); // the operator reads further up
    QVERIFY(f.receive("while paused"));
    QVERIFY(f.rxShown().endsWith(QStringLiteral("while paused\n\n")));
    QCOMPARE(bar->value(), 10);
    f.trigger(QStringLiteral("Pause Autoscroll"));
    QVERIFY(!f.console()->autoscrollPaused());
    QCOMPARE(bar->value(), bar->maximum());
}

void LinkConsoleTest::savedRawDecodesBackWithTavloctl_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const std::string answer = wholeState({{FrameInputPortNames, nameTable("\xca\xe4\xc8\xeb")},
                                           {FrameHdmiOutputPortNames, nameTable("out")}});
    QTest::newRow("whole state") << QByteArray::fromStdString(answer);
    QTest::newRow("code page 936 lines") << QByteArray("\xca\xe4\xc8\xeb\r\nOK\n");
}

// The raw file holds exactly the bytes received, and tavloctl reads back from it the text the
// box showed for them.
void LinkConsoleTest::savedRawDecodesBackWithTavloctl()
{
    QFETCH(QByteArray, bytes);
    ConsoleFixture f;
    f.trigger(QStringLiteral("Show Hex")); // the raw file does not depend on the toggles
    f.trigger(QStringLiteral("Show Hex"));
    QVERIFY(f.receive(bytes));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("raw.bin"));
    QString error;
    QVERIFY2(f.console()->SaveRaw(path, &error), qPrintable(error));
    QFile raw(path);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QCOMPARE(raw.readAll(), bytes);

    QProcess tavloctl;
    tavloctl.start(QStringLiteral(TAVLOCTL_PATH), {QStringLiteral("decode"), path});
    QVERIFY(tavloctl.waitForFinished(10'000));
    QCOMPARE(tavloctl.exitCode(), 0);
    const QString decoded = QString::fromUtf8(tavloctl.readAllStandardOutput());
    QCOMPARE(shown(decoded), f.rxShown());
}

void LinkConsoleTest::savedLogHasTimesAndSentCommands()
{
    ConsoleFixture f; // every toggle off: the file has the times and commands all the same
    QVERIFY(f.receive("OK"));
    QVERIFY(f.sendFromTxBox(QStringLiteral("#x")));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    QString error;
    QVERIFY2(f.console()->SaveLog(path, &error), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString saved = QString::fromUtf8(file.readAll());
    const QString stamp = QStringLiteral(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d\d\d\] )");
    const QRegularExpression expected(QStringLiteral("^%1OK\\n\\n%1\\[Tx\\] #x\\n$").arg(stamp));
    QVERIFY2(expected.match(saved).hasMatch(), qPrintable(saved));

    QVERIFY(!f.console()->SaveLog(dir.filePath(QStringLiteral("missing/log.txt")), &error));
    QVERIFY(!error.isEmpty());
}

void LinkConsoleTest::findWrapsRound()
{
    ConsoleFixture f;
    f.page->ReplaceRxLog(QStringLiteral("alpha\r\nbeta\r\nalpha\r\n"));
    RxConsole* console = f.console();
    const auto found = [&f] {
        const QTextCursor cursor = f.rxBox()->textCursor();
        return std::pair(cursor.selectedText(), cursor.selectionStart());
    };
    QVERIFY(console->FindNext(QStringLiteral("ALPHA")));
    QCOMPARE(found(), std::pair(QStringLiteral("alpha"), 0));
    QVERIFY(console->FindNext(QStringLiteral("ALPHA")));
    QCOMPARE(found(), std::pair(QStringLiteral("alpha"), 11));
    QVERIFY(console->FindNext(QStringLiteral("ALPHA")));
    QCOMPARE(found(), std::pair(QStringLiteral("alpha"), 0));
    QVERIFY(!console->FindNext(QStringLiteral("gamma")));
}

// With every toggle off the log fills exactly when its text reaches the cap, as it always did,
// and hex lines count towards it. The bytes kept beside the text stay bounded on their own,
// the newest kept: a stream of damaged frames or commands to a silent matrix never empties
// the log sooner.
void LinkConsoleTest::logIsBoundedWhateverItHolds()
{
    ConsoleLog plain;
    const QString line = QString(98, QLatin1Char('x')) + QStringLiteral("\r\n");
    while (plain.text().size() + line.size() < ConsoleLog::kLimit)
        plain.AddReceived(0, QByteArray(), line, ConsoleOptions{});
    QVERIFY(!plain.IsFull());
    plain.AddReceived(0, QByteArray(), line, ConsoleOptions{});
    QVERIFY(plain.IsFull());

    ConsoleOptions hex;
    hex.hex = true;
    ConsoleLog withHex;
    while (!withHex.IsFull())
        withHex.AddReceived(0, QByteArray(1000, 'x'), line, hex);
    QVERIFY(withHex.text().size() < ConsoleLog::kLimit / 3);

    ConsoleLog damaged; // 16 KB of bytes for every empty line
    QByteArray chunk(16384, '\x01');
    for (int i = 0; i < 2000; ++i) {
        chunk[0] = char(i % 256);
        damaged.AddReceived(0, chunk, QStringLiteral("\r\n\r\n"), ConsoleOptions{});
    }
    QVERIFY(!damaged.IsFull());
    QCOMPARE(damaged.text().size(), 2000 * 4);
    const QByteArray kept = damaged.ReceivedBytes();
    QVERIFY2(kept.size() <= ConsoleLog::kHeldBytesLimit &&
                 kept.size() > ConsoleLog::kHeldBytesLimit / 2,
             qPrintable(QString::number(kept.size())));
    QCOMPARE(kept.right(chunk.size()), chunk); // the newest

    ConsoleLog silent; // the poll every 7 s for months, nothing answering
    for (int i = 0; i < 400'000; ++i)
        silent.AddSent(i, QByteArrayLiteral("#upper:20/0F"), ConsoleOptions{});
    const QString saved = silent.SavedText(false);
    const qsizetype commands = saved.count(QStringLiteral("[Tx]"));
    QVERIFY2(commands > 100'000 && commands < 300'000, qPrintable(QString::number(commands)));
    QVERIFY(saved.endsWith(QStringLiteral("[Tx] #upper:20/0F\n")));
}

QTEST_MAIN(LinkConsoleTest)
#include "tst_link_console.moc"
