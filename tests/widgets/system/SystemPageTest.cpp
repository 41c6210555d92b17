// The System page against a pseudo-terminal playing the matrix: the restart and factory reset
// commands reach the wire before the port closes, and the fields follow the model block.
#include "CDialog_System.h"
#include "ControlId.h"
#include "DeviceStatus.h"
#include "MySerialPortComm.h"
#include "OperatorMessages.h"
#include "PtyMatrix.h"
#include "ReplyDecoder.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

namespace {

// A model block: 16 bytes not shown, the model at 16 (16 bytes), the version from 32, and the
// trailing checksum byte.
std::vector<uint8_t> modelBlock(const std::string& model, const std::string& version)
{
    std::vector<uint8_t> block(16, 'x');
    std::string modelField = model;
    modelField.resize(16, '\0');
    block.insert(block.end(), modelField.begin(), modelField.end());
    block.insert(block.end(), version.begin(), version.end());
    block.push_back(0);
    block.push_back(0x5A);
    return block;
}

} // namespace

class SystemPageTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<PtyMatrix> matrix_;
    std::unique_ptr<RecordingMessages> messages_;
    std::unique_ptr<CDialog_System> page_;
    int closeUiCalls_ = 0;
    bool openWhenClosingUi_ = false;

    QLineEdit* field(int id) { return FindControl<QLineEdit>(page_.get(), id); }

    void showModel(const std::string& model, const std::string& version)
    {
        const auto block = modelBlock(model, version);
        DecodeModelBlock(GlobalDeviceStatus(), block);
        page_->RefreshFromStatus();
    }

private slots:
    void init()
    {
        ResetDeviceStatus(GlobalDeviceStatus());
        matrix_ = std::make_unique<PtyMatrix>();
        QVERIFY(GlobalSerialPort().OpenPortByName(QString::fromStdString(matrix_->slavePath()),
                                                  115200));
        messages_ = std::make_unique<RecordingMessages>();
        page_ = std::make_unique<CDialog_System>();
        closeUiCalls_ = 0;
        page_->SetCloseUiHandler([this] {
            ++closeUiCalls_;
            openWhenClosingUi_ = GlobalSerialPort().IsOpen();
        });
    }

    void cleanup()
    {
        page_.reset();
        messages_.reset();
        GlobalSerialPort().ClosePort();
        matrix_.reset();
    }

    void actionsAskThenSendAndClose_data()
    {
        QTest::addColumn<int>("buttonId");
        QTest::addColumn<MessageAnswer>("answer");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("sent");
        const QString restart = "System will restart, Are you sure ?";
        const QString reset = "System will set default setting , Are you sure ?";
        QTest::newRow("Reboot OK")
            << CDialog_System::kRebootId << MessageAnswer::Ok << restart << "System Restart"
            << "#power start=1";
        QTest::newRow("Reboot Cancel") << CDialog_System::kRebootId << MessageAnswer::Cancel
                                       << restart << "System Restart" << QString();
        QTest::newRow("Factory OK")
            << CDialog_System::kFactoryId << MessageAnswer::Ok << reset << "Default Setting"
            << "#factory";
        QTest::newRow("Factory Cancel") << CDialog_System::kFactoryId << MessageAnswer::Cancel
                                        << reset << "Default Setting" << QString();
    }

    void actionsAskThenSendAndClose()
    {
        QFETCH(int, buttonId);
        QFETCH(MessageAnswer, answer);
        QFETCH(QString, question);
        QFETCH(QString, caption);
        QFETCH(QString, sent);
        messages_->answers = {answer};
        FindControl<QPushButton>(page_.get(), buttonId)->click();

        QCOMPARE(messages_->shown.size(), size_t(1));
        QCOMPARE(messages_->shown.front().text, question);
        QCOMPARE(messages_->shown.front().caption, caption);
        QCOMPARE(messages_->shown.front().icon, MessageIcon::Information);
        QCOMPARE(messages_->shown.front().buttons, MessageButtons::OkCancel);
        if (sent.isEmpty()) {
            QVERIFY(!matrix_->waitForBursts(1, 250));
            QVERIFY(GlobalSerialPort().IsOpen());
            QCOMPARE(closeUiCalls_, 0);
            return;
        }
        // Every byte arrived although the port was closed right after the write.
        QVERIFY(matrix_->waitForBursts(1, 2000));
        QCOMPARE(matrix_->received(), sent.toStdString());
        QVERIFY(!GlobalSerialPort().IsOpen());
        QCOMPARE(closeUiCalls_, 1);
        QVERIFY(!openWhenClosingUi_);
    }

    void actionWithThePortClosedSendsNothing()
    {
        GlobalSerialPort().ClosePort();
        FindControl<QPushButton>(page_.get(), CDialog_System::kRebootId)->click();
        QCOMPARE(messages_->shown.size(), size_t(1));
        QVERIFY(!matrix_->waitForBursts(1, 250));
        QCOMPARE(closeUiCalls_, 0);
    }

    void fieldsBeforeAnyModelBlock()
    {
        page_->RefreshFromStatus();
        QVERIFY(field(CDialog_System::kModelId)->text().isEmpty());
        QVERIFY(field(CDialog_System::kVersionId)->text().isEmpty());
        QCOMPARE(field(CDialog_System::kProductTypeId)->text(),
                 QStringLiteral("4x8 HDMI2.0 Matrix"));
        bool versionShown = false;
        for (const QLabel* label : page_->findChildren<QLabel*>())
            versionShown |= label->text() == QStringLiteral("Version :1.0.0.1");
        QVERIFY(versionShown);
    }

    void fieldsFollowTheModelBlock_data()
    {
        QTest::addColumn<QByteArray>("model");
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<QString>("modelShown");
        QTest::addColumn<QString>("versionShown");
        QTest::newRow("plain") << QByteArray("HDM-448") << QByteArray("V1.02") << "HDM-448"
                               << "V1.02";
        QTest::newRow("model fills its 16 bytes")
            << QByteArray("ABCDEFGHIJKLMNOP") << QByteArray("V2") << "ABCDEFGHIJKLMNOP"
            << "V2";
        QTest::newRow("code page 936")
            << QByteArray("\xBE\xD8\xD5\xF3") << QByteArray("") << QString::fromUtf8("矩阵") << "";
    }

    void fieldsFollowTheModelBlock()
    {
        QFETCH(QByteArray, model);
        QFETCH(QByteArray, version);
        QFETCH(QString, modelShown);
        QFETCH(QString, versionShown);
        showModel("OLD", "V0");
        showModel(model.toStdString(), version.toStdString());
        QCOMPARE(field(CDialog_System::kModelId)->text(), modelShown);
        QCOMPARE(field(CDialog_System::kVersionId)->text(), versionShown);

        // A close clears the model; the page keeps what it last showed.
        ClearDeviceStatusOnClose(GlobalDeviceStatus());
        page_->RefreshFromStatus();
        QCOMPARE(field(CDialog_System::kModelId)->text(), modelShown);
    }
};

QTEST_MAIN(SystemPageTest)
#include "SystemPageTest.moc"
