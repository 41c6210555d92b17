// The Network page against a pseudo-terminal playing the matrix: what goes on the wire, which
// boxes the operator sees, and how the page follows the matrix's network block.
#include "CDialog_Network.h"
#include "ControlId.h"
#include "DeviceStatus.h"
#include "MySerialPortComm.h"
#include "OperatorMessages.h"
#include "PtyMatrix.h"
#include "ReplyDecoder.h"

#include <QElapsedTimer>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <vector>

Q_DECLARE_METATYPE(std::vector<MessageAnswer>)

namespace {

const QString kGatewayQuestion = QStringLiteral(
    "The default gateway is not on the same network segment as the IP address and the subnet "
    "source code,Do you want to save this configuration?");
const QString kStartsWith127 = QStringLiteral("Invalid IP address starting with 127");
const QString kNotValid =
    QStringLiteral("%1 is not valid. Please specify a value between 1 and 223.");

// A network block as the matrix sends it, with its trailing checksum byte.
std::vector<uint8_t> networkBlock(int dhcp)
{
    std::vector<uint8_t> block(40, 0);
    block[0] = uint8_t(dhcp);
    const uint8_t fields[] = {192, 168, 0, 20, 255, 255, 255, 0, 192, 168, 0, 1};
    std::copy(std::begin(fields), std::end(fields), block.begin() + 1);
    const uint8_t mac[] = {0, 26, 43, 60, 77, 94};
    std::copy(std::begin(mac), std::end(mac), block.begin() + 17);
    return block;
}

} // namespace

class NetworkPageTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<PtyMatrix> matrix_;
    std::unique_ptr<RecordingMessages> messages_;
    std::unique_ptr<CDialog_Network> page_;

    QLineEdit* edit(int id) { return FindControl<QLineEdit>(page_.get(), id); }
    QPushButton* button(int id) { return FindControl<QPushButton>(page_.get(), id); }
    QLineEdit* ip() { return edit(CDialog_Network::kIpId); }
    QLineEdit* mask() { return edit(CDialog_Network::kMaskId); }
    QLineEdit* gateway() { return edit(CDialog_Network::kGatewayId); }
    QPushButton* dhcp() { return button(CDialog_Network::kDhcpId); }
    QPushButton* apply() { return button(CDialog_Network::kApplyId); }

    void setAddresses(const QString& ipText, const QString& maskText, const QString& gwText)
    {
        ip()->setText(ipText);
        mask()->setText(maskText);
        gateway()->setText(gwText);
    }

    // The address edits and Apply are usable exactly when the page is in its static state.
    void verifyStaticControls(bool enabled)
    {
        QCOMPARE(ip()->isEnabled(), enabled);
        QCOMPARE(mask()->isEnabled(), enabled);
        QCOMPARE(gateway()->isEnabled(), enabled);
        QCOMPARE(apply()->isEnabled(), enabled);
    }

    bool nothingSent() { return !matrix_->waitForBursts(1, 250); }

    void showBlock(int dhcpValue)
    {
        const auto block = networkBlock(dhcpValue);
        DecodeNetworkBlock(GlobalDeviceStatus(), block);
    }

private slots:
    void init()
    {
        ResetDeviceStatus(GlobalDeviceStatus());
        matrix_ = std::make_unique<PtyMatrix>();
        QVERIFY(GlobalSerialPort().OpenPortByName(QString::fromStdString(matrix_->slavePath()),
                                                  115200));
        messages_ = std::make_unique<RecordingMessages>();
        page_ = std::make_unique<CDialog_Network>();
    }

    void cleanup()
    {
        page_.reset();
        messages_.reset();
        GlobalSerialPort().ClosePort();
        matrix_.reset();
    }

    void applySendsTheTypedAddresses_data()
    {
        QTest::addColumn<QString>("gw");
        QTest::addColumn<std::vector<MessageAnswer>>("answers");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QString>("sent");
        const QString same = "#ip ip=192.168.1.10 mask=255.255.255.0 gw=192.168.1.1 dhcp=0";
        const QString other = "#ip ip=192.168.1.10 mask=255.255.255.0 gw=192.168.2.1 dhcp=0";
        QTest::newRow("same segment")
            << "192.168.1.1" << std::vector<MessageAnswer>{} << false << same;
        QTest::newRow("other segment, OK")
            << "192.168.2.1" << std::vector{MessageAnswer::Ok} << true << other;
        QTest::newRow("other segment, Cancel")
            << "192.168.2.1" << std::vector{MessageAnswer::Cancel} << true << QString();
    }

    void applySendsTheTypedAddresses()
    {
        QFETCH(QString, gw);
        QFETCH(std::vector<MessageAnswer>, answers);
        QFETCH(bool, asked);
        QFETCH(QString, sent);
        setAddresses("192.168.1.10", "255.255.255.0", gw);
        messages_->answers = answers;

        QElapsedTimer clock;
        clock.start();
        apply()->click();
        const qint64 took = clock.elapsed();

        QCOMPARE(messages_->shown.size(), size_t(asked ? 1 : 0));
        if (asked) {
            const OperatorMessage& question = messages_->shown.front();
            QCOMPARE(question.text, kGatewayQuestion);
            QCOMPARE(question.caption, QStringLiteral("ERROR"));
            QCOMPARE(question.icon, MessageIcon::Error);
            QCOMPARE(question.buttons, MessageButtons::OkCancel);
        }
        if (sent.isEmpty()) {
            QVERIFY(nothingSent());
            return;
        }
        QVERIFY(matrix_->waitForBursts(1, 2000));
        QCOMPARE(QString::fromStdString(matrix_->received()), sent);
        // The command's own pause, then the page's 1000 ms with the edits disabled.
        QVERIFY2(took >= 1100, qPrintable(QString::number(took)));
        verifyStaticControls(true);
    }

    void applyChecksEveryAddress_data()
    {
        QTest::addColumn<QString>("ipText");
        QTest::addColumn<QString>("maskText");
        QTest::addColumn<QString>("gwText");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("refusal");
        const QString mask = "255.0.0.0";
        const QString checkAll = "Please check IP & MASK & GW";
        QTest::newRow("last part 254 passes")
            << "10.0.0.254" << mask << "10.0.0.1"
            << "#ip ip=10.0.0.254 mask=255.0.0.0 gw=10.0.0.1 dhcp=0" << QString();
        QTest::newRow("no lower bound")
            << "0.0.0.0" << mask << "0.0.0.0"
            << "#ip ip=0.0.0.0 mask=255.0.0.0 gw=0.0.0.0 dhcp=0" << QString();
        QTest::newRow("last part 255")
            << "10.0.0.255" << mask << "10.0.0.1" << QString() << checkAll;
        QTest::newRow("mask all ones") << "10.0.0.2"
                                       << "255.255.255.255"
                                       << "10.0.0.1" << QString() << checkAll;
        QTest::newRow("inner part 256")
            << "10.256.0.2" << mask << "10.0.0.1" << QString() << checkAll;
        QTest::newRow("ends in a dot") << "1.2.3." << mask << "1.0.0.1" << QString() << checkAll;
        QTest::newRow("five parts") << "1.2.3.4.9" << mask << "1.0.0.1" << QString() << checkAll;
        QTest::newRow("three parts") << "1.2.3" << mask << "1.0.0.1" << QString() << checkAll;
        QTest::newRow("leading dot") << ".1.2.3" << mask << "1.0.0.1" << QString() << checkAll;
        QTest::newRow("four digits") << "1.2.3.1000" << mask << "1.0.0.1" << QString() << checkAll;
        QTest::newRow("trailing space")
            << "10.0.0.2 " << mask << "10.0.0.1" << QString() << checkAll;
        QTest::newRow("empty gateway") << "10.0.0.2" << mask << "" << QString() << checkAll;
        QTest::newRow("wide digit")
            << "10.0.0.2" << mask << "10.0.0.\uFF11" << QString() << checkAll;
        // Refused since the page was first written, each with its reason.
        QTest::newRow("leading zero")
            << "010.0.0.2" << mask << "10.0.0.1" << QString()
            << "'010.0.0.2': part 1 has a leading zero, which devices read as octal or as "
               "decimal";
        QTest::newRow("gap in the mask")
            << "10.0.0.2"
            << "255.0.255.0"
            << "10.0.0.1" << QString()
            << "'255.0.255.0' is not a subnet mask: its one-bits must run unbroken from the "
               "left, as in 255.255.255.0";
        QTest::newRow("empty mask")
            << "10.0.0.2"
            << "0.0.0.0"
            << "10.0.0.1" << QString()
            << "'0.0.0.0' is not a subnet mask: its one-bits must run unbroken from the left, "
               "as in 255.255.255.0";
        QTest::newRow("old fault outweighs a new one") << "010.0.0.2"
                                                       << "255.0.255.0"
                                                       << "10.0.0.1000" << QString() << checkAll;
    }

    void applyChecksEveryAddress()
    {
        QFETCH(QString, ipText);
        QFETCH(QString, maskText);
        QFETCH(QString, gwText);
        QFETCH(QString, sent);
        QFETCH(QString, refusal);
        setAddresses(ipText, maskText, gwText);
        apply()->click();
        if (!sent.isEmpty()) {
            QVERIFY(messages_->shown.empty());
            QVERIFY(matrix_->waitForBursts(1, 2000));
            QCOMPARE(QString::fromStdString(matrix_->received()), sent);
            return;
        }
        QCOMPARE(messages_->shown.size(), size_t(1));
        QCOMPARE(messages_->shown.front().text, refusal);
        QCOMPARE(messages_->shown.front().caption, QStringLiteral("ERROR"));
        QCOMPARE(messages_->shown.front().icon, MessageIcon::Error);
        QCOMPARE(messages_->shown.front().buttons, MessageButtons::Ok);
        QVERIFY(nothingSent());
    }

    void firstOctetCheckOnKeyRelease_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("after");
        QTest::newRow("127") << ""
                             << "127" << QStringList{kStartsWith127} << "1";
        QTest::newRow("0") << ""
                           << "0" << QStringList{kNotValid.arg(0)} << "1";
        QTest::newRow("300") << ""
                             << "300" << QStringList{kNotValid.arg(300)} << "223";
        QTest::newRow("1a") << ""
                            << "1a" << QStringList{"Support only Numbers..."} << "1a";
        QTest::newRow("whole text replaced")
            << ""
            << "224.1" << QStringList{kNotValid.arg(224)} << "223.1";
        QTest::newRow("only the first part counts") << ""
                                                    << "10.300" << QStringList{} << "10.300";
        QTest::newRow("leading zeros") << "0127"
                                       << "" << QStringList{kStartsWith127} << "1";
        QTest::newRow("leading dot") << ".5"
                                     << "" << QStringList{"Support only Numbers..."} << ".5";
        QTest::newRow("beyond int") << "99999999999.1"
                                    << "" << QStringList{kNotValid.arg("99999999999")} << "223";
    }

    void firstOctetCheckOnKeyRelease()
    {
        QFETCH(QString, before);
        QFETCH(QString, typed);
        QFETCH(QStringList, shown);
        QFETCH(QString, after);
        ip()->setText(before);
        if (typed.isEmpty())
            QTest::keyClick(ip(), Qt::Key_End);
        else
            QTest::keyClicks(ip(), typed);
        QStringList texts;
        for (const OperatorMessage& message : messages_->shown) {
            QCOMPARE(message.caption, QStringLiteral("ERROR"));
            QCOMPARE(message.icon, MessageIcon::Error);
            texts << message.text;
        }
        QCOMPARE(texts, shown);
        QCOMPARE(ip()->text(), after);
    }

    void keyReleasedWhileTheBoxIsOpenAddsNoBox()
    {
        messages_->onShow = [this](const OperatorMessage&) {
            if (messages_->shown.size() == 1)
                QTest::keyClick(ip(), Qt::Key_0);
        };
        QTest::keyClicks(ip(), "300");
        QCOMPARE(messages_->shown.size(), size_t(1));
        QCOMPARE(ip()->text(), QStringLiteral("223"));
    }

    void keyReleaseKeepsTheCaret()
    {
        ip()->setText("192.168.1.10");
        ip()->setCursorPosition(3);
        QTest::keyClick(ip(), Qt::Key_Shift);
        QCOMPARE(ip()->cursorPosition(), 3);
        QVERIFY(messages_->shown.empty());
    }

    void defaultMaskOnEnteringTheMaskEdit_data()
    {
        QTest::addColumn<QString>("ipText");
        QTest::addColumn<QString>("typedMask");
        QTest::addColumn<QString>("maskAfter");
        QTest::newRow("class A") << "10.1.2.3"
                                 << ""
                                 << "255.0.0.0";
        QTest::newRow("126") << "126.1.2.3"
                             << ""
                             << "255.0.0.0";
        QTest::newRow("class B") << "172.16.0.1"
                                 << ""
                                 << "255.255.0.0";
        QTest::newRow("class C") << "200.1.1.1"
                                 << ""
                                 << "255.255.255.0";
        QTest::newRow("loopback") << "127.0.0.1"
                                  << ""
                                  << "";
        QTest::newRow("multicast") << "230.0.0.1"
                                   << ""
                                   << "";
        QTest::newRow("no digits") << "x.1"
                                   << ""
                                   << "";
        QTest::newRow("no address") << ""
                                    << ""
                                    << "";
        QTest::newRow("typed mask kept") << "10.1.2.3"
                                         << "255.255.255.128"
                                         << "255.255.255.128";
    }

    void defaultMaskOnEnteringTheMaskEdit()
    {
        QFETCH(QString, ipText);
        QFETCH(QString, typedMask);
        QFETCH(QString, maskAfter);
        setAddresses(ipText, typedMask, "");
        // Entered by Tab: the edit's own handling would select its text.
        QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(mask(), &focusIn);
        QCOMPARE(mask()->text(), maskAfter);
        if (typedMask.isEmpty() && !maskAfter.isEmpty()) {
            QCOMPARE(mask()->cursorPosition(), int(maskAfter.size()));
            QVERIFY(!mask()->hasSelectedText());
        }
        QVERIFY(messages_->shown.empty());
    }

    void refreshShowsTheNetworkBlock_data()
    {
        QTest::addColumn<int>("dhcpValue");
        QTest::addColumn<bool>("dhcpOn");
        QTest::newRow("static") << 0 << false;
        QTest::newRow("dhcp") << 1 << true;
        QTest::newRow("only 1 means on") << 0x41 << false;
    }

    void refreshShowsTheNetworkBlock()
    {
        QFETCH(int, dhcpValue);
        QFETCH(bool, dhcpOn);
        showBlock(dhcpValue);
        QVERIFY(page_->RefreshFromStatus());
        QCOMPARE(edit(CDialog_Network::kMacId)->text(), QStringLiteral("00:1A:2B:3C:4D:5E"));
        QCOMPARE(ip()->text(), QStringLiteral("192.168.0.20"));
        QCOMPARE(mask()->text(), QStringLiteral("255.255.255.0"));
        QCOMPARE(gateway()->text(), QStringLiteral("192.168.0.1"));
        QCOMPARE(dhcp()->isChecked(), dhcpOn);
        QCOMPARE(dhcp()->text(), dhcpOn ? QStringLiteral("DHCP ON") : QStringLiteral("DHCP OFF"));
        QVERIFY(dhcp()->isEnabled());
        verifyStaticControls(!dhcpOn);
        QVERIFY(nothingSent()); // shown, not clicked
    }

    void refreshBeforeAnyNetworkBlockChangesNothing()
    {
        setAddresses("10.0.0.2", "255.0.0.0", "10.0.0.1");
        QVERIFY(!page_->RefreshFromStatus());
        QCOMPARE(ip()->text(), QStringLiteral("10.0.0.2"));
        QCOMPARE(mask()->text(), QStringLiteral("255.0.0.0"));
        QCOMPARE(gateway()->text(), QStringLiteral("10.0.0.1"));
        QVERIFY(edit(CDialog_Network::kMacId)->text().isEmpty());
        QCOMPARE(dhcp()->text(), QStringLiteral("DHCP OFF"));
        verifyStaticControls(true);
    }

    void dhcpWithoutAnswerTimesOut()
    {
        QElapsedTimer clock;
        clock.start();
        dhcp()->click();
        QCOMPARE(dhcp()->text(), QStringLiteral("DHCP ON"));
        QVERIFY(!dhcp()->isEnabled());
        verifyStaticControls(false);
        QVERIFY(matrix_->waitForBursts(1, 2000));
        QCOMPARE(matrix_->bursts()[0].bytes, std::string("#ip dhcp=1"));

        QTRY_COMPARE_WITH_TIMEOUT(messages_->shown.size(), size_t(1), 8000);
        QVERIFY2(clock.elapsed() >= CDialog_Network::kDhcpTimeoutMs,
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(messages_->shown.front().text, QStringLiteral("Set DHCP timeout..."));
        QCOMPARE(messages_->shown.front().caption, QStringLiteral("ERROR"));
        QVERIFY(dhcp()->isEnabled());
        QVERIFY(dhcp()->isChecked());
        QCOMPARE(dhcp()->text(), QStringLiteral("DHCP ON"));
        verifyStaticControls(false);

        dhcp()->click();
        QCOMPARE(dhcp()->text(), QStringLiteral("DHCP OFF"));
        verifyStaticControls(true);
        QVERIFY(matrix_->waitForBursts(2, 2000));
        QCOMPARE(matrix_->bursts()[1].bytes, std::string("#ip dhcp=0"));
    }

    void networkBlockEndsTheWait_data()
    {
        QTest::addColumn<int>("dhcpValue");
        QTest::newRow("confirmed") << 1;
        QTest::newRow("refused") << 0;
    }

    void networkBlockEndsTheWait()
    {
        QFETCH(int, dhcpValue);
        dhcp()->click();
        showBlock(dhcpValue);
        QVERIFY(page_->RefreshFromStatus());
        QVERIFY(dhcp()->isEnabled());
        QCOMPARE(dhcp()->isChecked(), dhcpValue == 1);
        verifyStaticControls(dhcpValue != 1);
        QTest::qWait(CDialog_Network::kDhcpTimeoutMs + 300);
        QVERIFY(messages_->shown.empty());
    }
};

QTEST_MAIN(NetworkPageTest)
#include "NetworkPageTest.moc"
