// The Link page against a pseudo-terminal played by the test: connection, acquisition,
// polling, the receive log, the Tx box, failures.
#include "LinkPageFixture.h"

#include "CMyComboBox.h"
#include "SerialPortList.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

#include <thread>

using namespace link_test;

namespace {

// Burst start times are taken by the reader thread of the test's terminal, which may see the
// first burst a little late; gaps between bursts are checked with this much slack.
constexpr long long kReadJitterMs = 20;

CDialog_Link::Timings noPolling()
{
    CDialog_Link::Timings t;
    t.pollMs = 600'000;
    return t;
}

QString shown(const QString& text) { return RxLogBox::DisplayText(text); }

} // namespace

class LinkPageTest : public QObject {
    Q_OBJECT
    SettingsSandbox settings_;

private slots:
    void cleanupTestCase() { GlobalSerialPort().ClosePort(); }

    void initialControls();
    void acquisitionPacingNoticeAndPoll();
    void completeRefreshesEveryPageInOrder();
    void refreshRunsAfterTheHandler();
    void failureAfterDeadline();
    void answerWithoutModelBlockCompletes();
    void closeStopsPollingAndEmptyReadAfterClose();
    void rxLogShowsChunks_data();
    void rxLogShowsChunks();
    void statusLinesVanishAtNextChunk();
    void firstChunkWaitsHalfASecond();
    void logEmptiesAtTenMillionCharacters();
    void linesShareBlocks();
    void lastLineShowsAfterLargeChunks();
    void txSend_data();
    void txSend();
    void txReturnAddsOneLineBreak();
    void failedOpen_data();
    void failedOpen();
    void portLost();
    void portListSelectionMemory();
    void portListError();
};

void LinkPageTest::initialControls()
{
    LinkFixture f;
    auto* baud = f.control<QComboBox>(CDialog_Link::kBaudCombo);
    QCOMPARE(baud->count(), 9);
    QCOMPARE(baud->currentText(), QStringLiteral("115200"));
    QCOMPARE(baud->itemText(8), QStringLiteral("260800"));
    QVERIFY(!baud->isEnabled());
    auto* ports = f.control<CMyComboBox>(CDialog_Link::kPortCombo);
    QCOMPARE(ports->currentText(),
             QString::fromStdString(f.pty.slavePath()) + QStringLiteral(" Test matrix"));
    QCOMPARE(f.openButton()->text(), QStringLiteral("Open Port"));
    QVERIFY(f.openButton()->isCheckable());
    QVERIFY(f.control(CDialog_Link::kSearch)->isEnabled());
    QVERIFY(f.rxBox()->isReadOnly());
    for (int id : {CDialog_Link::kClear, CDialog_Link::kSend})
        QVERIFY(f.control<QPushButton>(id) != nullptr);
}

// Real time: request 100 ms after opening and again 3.6 s later, the data time-out notice at
// 5 s, the status poll at 7 s, and completion as soon as the output-name table arrives.
void LinkPageTest::acquisitionPacingNoticeAndPoll()
{
    LinkFixture f;
    const Clock::time_point opened = f.clickOpen();
    QCOMPARE(f.openButton()->text(), QStringLiteral("Close Port"));
    QVERIFY(f.openButton()->isChecked());
    QVERIFY(!f.control(CDialog_Link::kSearch)->isEnabled());
    QVERIFY(!f.control(CDialog_Link::kPortCombo)->isEnabled());
    QCOMPARE(f.rxShown(), shown(CDialog_Link::kStartText));

    QVERIFY(f.waitBursts(2, 6000));
    auto bursts = f.pty.bursts();
    QCOMPARE(bursts[0].bytes, std::string("#upper:80/00"));
    QCOMPARE(bursts[1].bytes, std::string("#upper:80/00"));
    QVERIFY2(MsBetween(opened, bursts[0].start) >= 100,
             qPrintable(QString::number(MsBetween(opened, bursts[0].start))));
    const long long gap = MsBetween(bursts[0].start, bursts[1].start);
    QVERIFY2(gap >= 3600 - kReadJitterMs && gap < 5000, qPrintable(QString::number(gap)));

    QTRY_VERIFY_WITH_TIMEOUT(f.rxShown().contains("Get data timeout"), 3000);
    QVERIFY(MsBetween(opened, Clock::now()) >= 5000);
    QCOMPARE(f.rxShown(), shown(CDialog_Link::kStartText + CDialog_Link::kTimeoutNoticeText));

    QVERIFY(f.waitBursts(3, 4000));
    bursts = f.pty.bursts();
    QCOMPARE(bursts[2].bytes, std::string("#upper:20/0F"));
    QVERIFY(MsBetween(opened, bursts[2].start) >= 7100);

    const Clock::time_point answered = Clock::now();
    f.pty.write(wholeState({{FrameHdmiOutputPortNames, nameTable("out")}}));
    QTRY_VERIFY_WITH_TIMEOUT(f.rxShown().contains("The initialization data was successful"), 3000);
    // Seen when the table is decoded, not at the next 3.6 s request.
    QVERIFY(MsBetween(answered, Clock::now()) < 2500);
    QCOMPARE(GlobalDeviceStatus().acquisitionDone.load(), 1);
    QCOMPARE(GlobalDeviceStatus().initialDataReceived.load(), 1);
    const size_t sent = f.pty.bursts().size();
    QTest::qWait(3700);
    for (size_t i = sent; i < f.pty.bursts().size(); ++i)
        QCOMPARE(f.pty.bursts()[i].bytes, std::string("#upper:20/0F"));
}

void LinkPageTest::completeRefreshesEveryPageInOrder()
{
    LinkFixture f(noPolling());
    f.clickOpen();
    QVERIFY(f.waitBursts(1, 3000));
    std::vector<uint8_t> status(96, 0);
    status[16] = 0x43; // output 1 shows input 4
    std::vector<uint8_t> network(39, 0);
    network[1] = 192;
    std::vector<uint8_t> model(48, 0);
    const std::string name = "MX-48";
    std::copy(name.begin(), name.end(), model.begin() + 16);
    const Clock::time_point answered = Clock::now();
    f.pty.write(wholeState({{FrameStatus, status},
                            {FrameNetwork, network},
                            {FrameModel, model},
                            {FrameInputPortNames, nameTable("in")},
                            {FrameHdmiOutputPortNames, nameTable("hdmi")}}));
    QTRY_VERIFY_WITH_TIMEOUT(f.rxShown().contains("was successful"), 5000);
    QVERIFY(MsBetween(answered, Clock::now()) < 2000);

    const QStringList all = {"video", "audioIn", "audioOut", "edid", "network", "system"};
    QCOMPARE(f.refreshes, all);
    const DeviceStatus& ds = GlobalDeviceStatus();
    QCOMPARE(ds.statusRefreshPending.load(), 0);
    QCOMPARE(ds.networkRefreshPending.load(), 0);
    QCOMPARE(ds.modelRefreshPending.load(), 0);
    QCOMPARE(ds.videoInput(1), 4);
    QVERIFY(f.page->rxLog().contains(QStringLiteral("VO:1IN:4;")));
    QVERIFY(f.page->rxLog().contains(QStringLiteral("port_ohdmi4:hdmi4;\r\n")));
    QVERIFY(f.page->rxLog().contains(QStringLiteral("Product Model:MX-48\r\n")));
    QVERIFY(f.rxShown().endsWith(shown(CDialog_Link::kDoneText)));

    // From now on each block refreshes the pages that show it, in the fixed order.
    f.refreshes.clear();
    f.pty.write(frameString(FrameNetwork, network) + frameString(FrameStatus, status));
    QTRY_COMPARE_WITH_TIMEOUT(f.refreshes.size(), 5, 3000);
    QCOMPARE(f.refreshes, QStringList({"video", "audioIn", "audioOut", "edid", "network"}));
    f.refreshes.clear();
    f.pty.write(frameString(FrameModel, model));
    QTRY_COMPARE_WITH_TIMEOUT(f.refreshes, QStringList({"system"}), 3000);
    // A name table alone refreshes nothing.
    f.refreshes.clear();
    f.pty.write(frameString(FrameSceneNames, nameTable("scene")));
    QTRY_VERIFY_WITH_TIMEOUT(f.page->rxLog().contains("grp8:scene8;"), 3000);
    QTest::qWait(50);
    QVERIFY(f.refreshes.isEmpty());
}

// A refresh must not run inside the receive handler that raised its flag.
void LinkPageTest::refreshRunsAfterTheHandler()
{
    LinkFixture f(noPolling());
    QVERIFY(f.openAndComplete());
    f.refreshes.clear();
    f.pty.write(frameString(FrameStatus, std::vector<uint8_t>(96, 0)));
    QTest::qSleep(100); // let the bytes reach the port
    f.page->OnPortReceive();
    QVERIFY(f.page->rxLog().contains("VO:8IN:1;"));
    QVERIFY(f.refreshes.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(f.refreshes, QStringList({"video", "audioIn", "audioOut", "edid"}),
                              1000);
}

// Scaled clock: the deadline at 1.2 s stands for the 30 s one, requests every 0.4 s.
void LinkPageTest::failureAfterDeadline()
{
    LinkFixture f(fastTimings());
    const Clock::time_point opened = f.clickOpen();
    QTRY_VERIFY_WITH_TIMEOUT(!f.messages.shown.empty(), 5000);
    const long long after = MsBetween(opened, Clock::now());
    QVERIFY2(after >= 1200 && after < 3000, qPrintable(QString::number(after)));
    const OperatorMessage& box = f.messages.shown.front();
    QCOMPARE(box.caption, QStringLiteral("ERROR"));
    QCOMPARE(box.icon, MessageIcon::None);
    QCOMPARE(box.buttons, MessageButtons::Ok);
    QCOMPARE(box.text, CDialog_Link::kFailedText);
    QVERIFY(f.rxShown().endsWith(shown(CDialog_Link::kFailedText)));
    QVERIFY(f.refreshes.isEmpty());
    QCOMPARE(GlobalDeviceStatus().acquisitionState.load(), 0);

    // Requests stop with the failure; the status poll goes on.
    std::vector<std::string> texts = f.burstTexts();
    const auto requests = std::count(texts.begin(), texts.end(), "#upper:80/00");
    QVERIFY2(requests >= 3 && requests <= 4, qPrintable(QString::number(requests)));
    QTest::qWait(700);
    texts = f.burstTexts();
    QCOMPARE(std::count(texts.begin(), texts.end(), "#upper:80/00"), requests);
    QVERIFY(std::count(texts.begin(), texts.end(), "#upper:20/0F") >= 2);

    // A failed acquisition still lets later blocks refresh the pages.
    f.pty.write(frameString(FrameStatus, std::vector<uint8_t>(96, 0)));
    QTRY_COMPARE_WITH_TIMEOUT(f.refreshes.size(), 4, 3000);
}

// The first answer loses its status block to a bad checksum; its output-name table arrives
// whole. The acquisition goes on to the next request, whose whole answer completes it.
// A matrix need not send every block: the HDMI output names end the acquisition all the same,
// at the first answer.
void LinkPageTest::answerWithoutModelBlockCompletes()
{
    LinkFixture f(noPolling());
    f.clickOpen();
    QVERIFY(f.waitBursts(1, 3000));
    f.pty.write(wholeState({{FrameHdmiOutputPortNames, nameTable("hdmi")}}, FrameModel));
    QTRY_VERIFY_WITH_TIMEOUT(f.rxShown().contains("The initialization data was successful"), 3000);
    QCOMPARE(GlobalDeviceStatus().initialDataReceived.load(), 1);
    QTest::qWait(AcquisitionWorker::kRequestGapMs);
    QCOMPARE(f.burstTexts(), std::vector<std::string>{"#upper:80/00"});
    QVERIFY(f.messages.shown.empty());
}

void LinkPageTest::closeStopsPollingAndEmptyReadAfterClose()
{
    LinkFixture f(fastTimings());
    QVERIFY(f.openAndComplete());
    QTRY_VERIFY_WITH_TIMEOUT(f.burstTexts().back() == "#upper:20/0F", 2000);

    QTest::mouseClick(f.openButton(), Qt::LeftButton);
    QVERIFY(!GlobalSerialPort().IsOpen());
    QCOMPARE(f.openButton()->text(), QStringLiteral("Open Port"));
    QVERIFY(!f.openButton()->isChecked());
    QVERIFY(f.control(CDialog_Link::kSearch)->isEnabled());
    QVERIFY(f.control(CDialog_Link::kPortCombo)->isEnabled());
    QVERIFY(!f.control(CDialog_Link::kBaudCombo)->isEnabled());
    QVERIFY(f.rxShown().endsWith(shown(CDialog_Link::kClosedText)));
    QCOMPARE(GlobalDeviceStatus().stopRequested.load(), 1);
    QVERIFY(!GlobalDeviceStatus().hasStatusBlock());
    QVERIFY(GlobalDeviceStatus().name(NameTable::HdmiOutputPort, 1).empty());

    // A poll that left just before the close may still be on its way.
    QTest::qWait(150);
    f.pty.clear();
    QTest::qWait(1000);
    const std::vector<std::string> late = f.burstTexts();
    QVERIFY2(late.empty(), late.empty() ? "" : late.front().c_str());

    // A receive notification handled after the close reads nothing: two line breaks, and
    // the box shows the log again.
    const QString before = f.page->rxLog();
    emit GlobalSerialPort().dataReceived();
    QTRY_COMPARE_WITH_TIMEOUT(f.page->rxLog(), before + QStringLiteral("\r\n\r\n"), 2000);
    QCOMPARE(f.rxShown(), shown(f.page->rxLog()));
    QVERIFY(f.refreshes.size() == 6);
}

void LinkPageTest::rxLogShowsChunks_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("logged");
    QTest::newRow("plain text without a line feed") << QByteArray("OK") << "OK\r\n\r\n";
    QTest::newRow("plain lines, fragment dropped")
        << QByteArray("a\nb\nc\nfrag") << "a\r\nb\r\nc\r\n\r\n\r\n";
    QTest::newRow("code page 936 text")
        << QByteArray("\xca\xe4\xc8\xeb") << QStringLiteral("输入\r\n\r\n");
    std::vector<uint8_t> names(128, 0);
    const std::string first = "\xca\xe4\xc8\xeb"
                              "1";
    std::copy(first.begin(), first.end(), names.begin());
    const std::string frame = frameString(FrameInputPortNames, names);
    QTest::newRow("name table frame")
        << QByteArray(frame.data(), static_cast<qsizetype>(frame.size()))
        << QStringLiteral("port_i1:输入1;\r\nport_i2:;\r\nport_i3:;\r\nport_i4:;\r\nport_i5:;\r\n"
                          "port_i6:;\r\nport_i7:;\r\nport_i8:;\r\n\r\n\r\n");
    std::string bad = frameString(FrameStatus, std::vector<uint8_t>(96, 0));
    bad.back() ^= 0x01;
    QTest::newRow("frame with a bad checksum")
        << QByteArray(bad.data(), static_cast<qsizetype>(bad.size())) << "\r\n\r\n";
}

void LinkPageTest::rxLogShowsChunks()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, logged);
    LinkFixture f(noPolling());
    QVERIFY(f.openAndComplete());
    f.page->ClearRx();
    f.pty.write(bytes.toStdString());
    QTRY_COMPARE_WITH_TIMEOUT(f.page->rxLog(), logged, 3000);
    QCOMPARE(f.rxShown(), shown(logged));
}

void LinkPageTest::statusLinesVanishAtNextChunk()
{
    LinkFixture f(noPolling());
    QVERIFY(f.openAndComplete());
    QVERIFY(f.rxShown().endsWith(shown(CDialog_Link::kDoneText)));
    const QString log = f.page->rxLog();
    QVERIFY(!log.contains("successful"));
    f.pty.write(std::string("OK"));
    QTRY_COMPARE_WITH_TIMEOUT(f.page->rxLog(), log + "OK\r\n\r\n", 3000);
    QCOMPARE(f.rxShown(), shown(f.page->rxLog()));

    // A sent line resets the box the same way.
    f.rxBox()->AppendStatus(QStringLiteral("status\r\n"));
    f.txBox()->setPlainText(QStringLiteral("x"));
    QTest::mouseClick(f.control(CDialog_Link::kSend), Qt::LeftButton);
    QCOMPARE(f.rxShown(), shown(f.page->rxLog()));
    QVERIFY(f.page->rxLog().endsWith("OK\r\n\r\nx\r\n"));

    QTest::mouseClick(f.control(CDialog_Link::kClear), Qt::LeftButton);
    QVERIFY(f.page->rxLog().isEmpty());
    QVERIFY(f.rxShown().isEmpty());
}

// Until an acquisition has succeeded each receive waits 500 ms before reading, so bytes that
// follow within that time join the chunk.
void LinkPageTest::firstChunkWaitsHalfASecond()
{
    LinkFixture f(noPolling());
    f.clickOpen();
    QVERIFY(f.waitBursts(1, 3000));
    // The port announces "AB" after 500 ms and the handler then waits another 500 ms; "CD"
    // comes in between, from another thread since this one is the page's.
    f.pty.write(std::string("AB"));
    std::thread late([&f] {
        std::this_thread::sleep_for(std::chrono::milliseconds(750));
        f.pty.write(std::string("CD"));
    });
    const bool logged = QTest::qWaitFor([&f] { return !f.page->rxLog().isEmpty(); }, 3000);
    late.join();
    QVERIFY(logged);
    QCOMPARE(f.page->rxLog(), QStringLiteral("ABCD\r\n\r\n"));
}

void LinkPageTest::logEmptiesAtTenMillionCharacters()
{
    LinkFixture f(noPolling());
    QVERIFY(f.openAndComplete());
    QString big;
    const QString line = QString(98, QLatin1Char('x')) + QStringLiteral("\r\n");
    while (big.size() + line.size() < CDialog_Link::kRxLogLimit)
        big += line;
    big += QString(CDialog_Link::kRxLogLimit - 1 - big.size(), QLatin1Char('y'));
    f.page->ReplaceRxLog(big);

    f.pty.write(std::string("AB"));
    QTRY_VERIFY_WITH_TIMEOUT(f.page->rxLog().size() > big.size(), 3000);
    QCOMPARE(f.page->rxLog(), big + QStringLiteral("AB\r\n\r\n"));

    f.pty.write(std::string("CD"));
    QTRY_COMPARE_WITH_TIMEOUT(f.page->rxLog(), QStringLiteral("CD\r\n\r\n"), 3000);
    QCOMPARE(f.rxShown(), QStringLiteral("CD\n\n"));
}

// A document block for every line of the log cost the panel about 20 bytes a character; the box
// keeps the lines of each update together, and still shows every one of them.
void LinkPageTest::linesShareBlocks()
{
    LinkFixture f(noPolling());
    QByteArray lines;
    for (int i = 0; i < 1000; ++i)
        lines += "line " + QByteArray::number(i) + "\n";
    for (int chunk = 0; chunk < 3; ++chunk)
        f.page->ReceiveChunk(lines);
    QCOMPARE(f.rxShown(), shown(f.page->rxLog()));
    QCOMPARE(f.rxShown().count(QLatin1Char('\n')), 3 * 1002);
    const int blocks = f.rxBox()->document()->blockCount();
    QVERIFY2(blocks <= 3 * (1002 / RxLogBox::kLinesPerBlock + 1) + 1,
             qPrintable(QString::number(blocks)));
}

// The document lays out only what it must; the box still ends with its last line in view,
// chunk after chunk.
void LinkPageTest::lastLineShowsAfterLargeChunks()
{
    LinkFixture f(noPolling());
    QVERIFY(QTest::qWaitForWindowExposed(f.page.get()));
    RxLogBox* box = f.rxBox();
    const auto inView = [box](const QString& text) {
        const QTextCursor found = box->document()->find(text);
        if (found.isNull())
            return false;
        const QRect line = box->cursorRect(found);
        return box->viewport()->rect().contains(line);
    };
    for (int chunk = 1; chunk <= 3; ++chunk) {
        QByteArray lines;
        for (int i = 1; i <= 1000; ++i)
            lines += "c" + QByteArray::number(chunk) + " l" + QByteArray::number(i) + ".\n";
        f.page->ReceiveChunk(lines);
        const QString last = QStringLiteral("c%1 l1000.").arg(chunk);
        QVERIFY2(inView(last), qPrintable(last));
        QTextCursor end(box->document());
        end.movePosition(QTextCursor::End);
        QVERIFY(box->viewport()->rect().contains(box->cursorRect(end)));
        QCoreApplication::processEvents(); // painted as the operator sees it, still in view
        QVERIFY2(inView(last), qPrintable(last));
    }
    // A log shown whole again, and lines that wrap.
    QString big;
    for (int i = 1; i <= 3000; ++i)
        big += QStringLiteral("r%1 ").arg(i).repeated(i % 7 == 0 ? 40 : 1) + QStringLiteral("\r\n");
    big += QStringLiteral("zzlast.\r\n");
    f.page->ReplaceRxLog(big);
    QVERIFY2(inView(QStringLiteral("zzlast.")), "replace");
    QByteArray wide;
    for (int i = 1; i <= 60; ++i)
        wide += QByteArray("w").repeated(200) + QByteArray::number(i) + "\n";
    f.page->ReceiveChunk(wide);
    QVERIFY2(inView(QStringLiteral("w60")), "wide");
}

void LinkPageTest::txSend_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("wire");   // what the matrix receives; empty: nothing
    QTest::addColumn<QString>("errorPart"); // part of the refusal; empty: accepted
    QTest::newRow("line breaks go out as CR LF")
        << "#video_d out1\nmatrix=2" << QByteArray("#video_d out1\r\nmatrix=2") << QString();
    QTest::newRow("code page 936")
        << QStringLiteral("输入") << QByteArray("\xca\xe4\xc8\xeb") << QString();
    QTest::newRow("empty box sends nothing") << QString() << QByteArray() << QString();
    QTest::newRow("largest accepted")
        << QString(16383, QLatin1Char('a')) << QByteArray(16383, 'a') << QString();
    QTest::newRow("one byte too many")
        << QString(16384, QLatin1Char('a')) << QByteArray() << "16384 bytes";
    QTest::newRow("two-byte characters count as bytes")
        << QString(8192, QChar(0x8F93)) << QByteArray() << "16384 bytes";
    QTest::newRow("not in code page 936")
        << QStringLiteral("a\U0001F600") << QByteArray() << "code page 936";
}

void LinkPageTest::txSend()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, wire);
    QFETCH(QString, errorPart);
    LinkFixture f(noPolling());
    QVERIFY(f.openAndComplete());
    f.page->ClearRx();
    f.pty.clear();
    f.txBox()->setPlainText(text);

    const Clock::time_point clicked = Clock::now();
    QTest::mouseClick(f.control(CDialog_Link::kSend), Qt::LeftButton);
    if (!errorPart.isEmpty()) {
        QCOMPARE(f.messages.shown.size(), size_t(1));
        QCOMPARE(f.messages.shown[0].caption, QStringLiteral("ERROR"));
        QVERIFY2(f.messages.shown[0].text.contains(errorPart),
                 qPrintable(f.messages.shown[0].text));
        QCOMPARE(f.txBox()->toPlainText(), text);
        QVERIFY(f.page->rxLog().isEmpty());
    } else {
        QVERIFY(f.messages.shown.empty());
        QVERIFY(f.txBox()->toPlainText().isEmpty());
        QString logged = text;
        logged.replace("\n", "\r\n");
        QCOMPARE(f.page->rxLog(), logged + QStringLiteral("\r\n"));
    }
    if (wire.isEmpty()) {
        QTest::qWait(300);
        QVERIFY(f.pty.received().empty());
        return;
    }
    QVERIFY(f.waitBursts(1, 3000));
    QCOMPARE(f.pty.bursts().size(), size_t(1));
    QCOMPARE(QByteArray::fromStdString(f.pty.bursts().front().bytes), wire);
    QVERIFY(MsBetween(clicked, f.pty.bursts().front().start) >= 100);
}

// The application drops the key-down of Return; the Tx box adds one line break per press,
// at the end of its text, and typing goes on after it.
void LinkPageTest::txReturnAddsOneLineBreak()
{
    LinkFixture f;
    QPlainTextEdit* tx = f.txBox();
    tx->setFocus();
    QTest::keyClicks(tx, "ab");
    QTest::keyClick(tx, Qt::Key_Return);
    QTest::keyClicks(tx, "cd");
    QTest::keyClick(tx, Qt::Key_Enter);
    QCOMPARE(tx->toPlainText(), QStringLiteral("ab\ncd\n"));

    // Held down, the key repeats; only the final release counts.
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(tx, &repeat);
    QCOMPARE(tx->toPlainText(), QStringLiteral("ab\ncd\n"));

    // Return in the Rx box does nothing.
    QTest::keyClick(f.rxBox(), Qt::Key_Return);
    QVERIFY(f.rxBox()->toPlainText().isEmpty());
}

void LinkPageTest::failedOpen_data()
{
    QTest::addColumn<QString>("portPath"); // empty: no port listed at all
    QTest::addColumn<bool>("alreadyOpen");
    QTest::addColumn<QString>("error");
    QTest::newRow("device missing")
        << "/nonexistent/ttyTavlo" << false << "ERROR:COM is invalid,please refresh again";
    QTest::newRow("empty list") << QString() << false << "ERROR:COM or Baud is invalid";
    QTest::newRow("port already open") << "pty" << true << "ERROR:This com is OPEN";
}

void LinkPageTest::failedOpen()
{
    QFETCH(QString, portPath);
    QFETCH(bool, alreadyOpen);
    QFETCH(QString, error);
    LinkFixture f(fastTimings());
    f.ports.clear();
    if (portPath == "pty")
        f.ports.push_back(LinkFixture::portRecord(f.pty.slavePath(), "Test matrix"));
    else if (!portPath.isEmpty())
        f.ports.push_back(LinkFixture::portRecord(portPath.toStdString(), "Missing"));
    f.page->FillPortList();
    if (alreadyOpen)
        QVERIFY(
            GlobalSerialPort().OpenPortByName(QString::fromStdString(f.pty.slavePath()), 115200));

    f.clickOpen();
    QCOMPARE(f.messages.shown.size(), size_t(1));
    QCOMPARE(f.messages.shown[0].text, error);
    QCOMPARE(f.messages.shown[0].caption, QStringLiteral("ERROR"));
    QCOMPARE(f.messages.shown[0].icon, MessageIcon::Error);
    QVERIFY(!f.openButton()->isChecked());
    QCOMPARE(f.openButton()->text(), QStringLiteral("Open Port"));
    QVERIFY(f.control(CDialog_Link::kSearch)->isEnabled());
    QVERIFY(f.control(CDialog_Link::kPortCombo)->isEnabled());
    QCOMPARE(GlobalSerialPort().IsOpen(), alreadyOpen);
    for (int id : {CDialog_Link::kPollTimerId, CDialog_Link::kDeadlineTimerId})
        QVERIFY(!f.page->findChild<QTimer*>(QStringLiteral("timer%1").arg(id))->isActive());
    // No acquisition: nothing is asked of any matrix, no further box.
    QTest::qWait(1500);
    QVERIFY(f.pty.bursts().empty());
    QCOMPARE(f.messages.shown.size(), size_t(1));
}

void LinkPageTest::portLost()
{
    LinkFixture f(noPolling());
    QVERIFY(f.openAndComplete());
    f.pty.closeMaster();
    QTRY_VERIFY_WITH_TIMEOUT(!f.messages.shown.empty(), 5000);
    const OperatorMessage& box = f.messages.shown.front();
    QCOMPARE(box.caption, QStringLiteral("ERROR"));
    QVERIFY2(box.text.startsWith("ERROR:") &&
                 box.text.contains(QString::fromStdString(f.pty.slavePath())),
             qPrintable(box.text));
    QVERIFY(!GlobalSerialPort().IsOpen());
    QCOMPARE(f.openButton()->text(), QStringLiteral("Open Port"));
    QVERIFY(!f.openButton()->isChecked());
    QVERIFY(f.control(CDialog_Link::kSearch)->isEnabled());
    QVERIFY(f.rxShown().endsWith(shown(CDialog_Link::kClosedText)));
    QCOMPARE(GlobalDeviceStatus().stopRequested.load(), 1);
    QTest::qWait(300);
    QCOMPARE(f.messages.shown.size(), size_t(1));
}

void LinkPageTest::portListSelectionMemory()
{
    LinkFixture f;
    auto* combo = f.control<CMyComboBox>(CDialog_Link::kPortCombo);
    const auto record = [](const char* path, const char* description) {
        return LinkFixture::portRecord(path, QString::fromLatin1(description));
    };
    f.ports = {record("ttyA", "First"), record("ttyB", "Second")};
    QTest::mouseClick(f.control(CDialog_Link::kSearch), Qt::LeftButton);
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->currentText(), QStringLiteral("ttyA First"));

    combo->setCurrentIndex(1);
    emit combo->activated(1);
    QCOMPARE(f.page->selectedPortText(), QStringLiteral("ttyB Second"));

    f.ports = {record("ttyC", "Third"), record("ttyB", "Second")};
    QTest::mouseClick(f.control(CDialog_Link::kSearch), Qt::LeftButton);
    QCOMPARE(combo->currentIndex(), 1);

    // The search starts after the first item and wraps round to it.
    f.ports = {record("ttyB", "Second"), record("ttyB", "Second (again)")};
    QTest::mouseClick(f.control(CDialog_Link::kSearch), Qt::LeftButton);
    QCOMPARE(combo->currentIndex(), 1);
    f.ports = {record("ttyB", "Second"), record("ttyA", "First")};
    QTest::mouseClick(f.control(CDialog_Link::kSearch), Qt::LeftButton);
    QCOMPARE(combo->currentIndex(), 0);

    // A remembered port that is gone leaves no selection; matching ignores case.
    f.ports = {record("ttyA", "First"), record("ttyC", "Third")};
    QTest::mouseClick(f.control(CDialog_Link::kSearch), Qt::LeftButton);
    QCOMPARE(combo->currentIndex(), -1);
    f.ports = {record("ttyA", "First"), record("TTYB", "SECOND")};
    QTest::mouseClick(f.control(CDialog_Link::kSearch), Qt::LeftButton);
    QCOMPARE(combo->currentIndex(), 1);

    f.ports.clear();
    QTest::mouseClick(f.control(CDialog_Link::kSearch), Qt::LeftButton);
    QCOMPARE(combo->count(), 0);
    QVERIFY(f.messages.shown.empty());
}

void LinkPageTest::portListError()
{
    LinkFixture f;
    f.page->SetPortEnumerator([]() -> std::vector<SSerInfo> {
        throw SerialPortListError("Could not list the serial ports (permission denied)");
    });
    QTest::mouseClick(f.control(CDialog_Link::kSearch), Qt::LeftButton);
    QCOMPARE(f.control<QComboBox>(CDialog_Link::kPortCombo)->count(), 0);
    QCOMPARE(f.messages.shown.size(), size_t(1));
    QCOMPARE(f.messages.shown[0].text,
             QStringLiteral("Could not list the serial ports (permission denied)"));
    QCOMPARE(f.messages.shown[0].caption, QStringLiteral("ERROR"));
}

QTEST_MAIN(LinkPageTest)
#include "tst_link_page.moc"
