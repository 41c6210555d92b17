#include "CDialog_System.h"

#include "ControlId.h"
#include "Cp936.h"
#include "DeviceStatus.h"
#include "HostCommands.h"
#include "InfoFont.h"
#include "LineEditText.h"
#include "MySerialPortComm.h"
#include "OperatorMessages.h"
#include "SendCommand.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <array>

namespace {

const QString kProductType = QStringLiteral("4x8 HDMI2.0 Matrix");
const QString kPanelVersion = QStringLiteral("Version :1.0.0.1");

// Inset of the text inside the information fields.
constexpr int kTextInsetX = 10;
constexpr int kTextInsetY = 5;
constexpr int kGroupWidth = 640;

} // namespace

CDialog_System::CDialog_System(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    QWidget* settingGroup = buildSettingGroup();
    layout->addWidget(settingGroup, 0, Qt::AlignLeft);
    layout->addWidget(buildInfoGroup(), 0, Qt::AlignLeft);
    layout->addStretch();
    layout->addWidget(new QLabel(kPanelVersion, this), 0, Qt::AlignRight | Qt::AlignBottom);
    // Nothing is pressed by a stray key while the page is first shown.
    settingGroup->setFocus(Qt::OtherFocusReason);
}

QWidget* CDialog_System::buildSettingGroup()
{
    auto* group = new QGroupBox(QStringLiteral("System Setting"), this);
    SetControlId(group, kSettingGroupId);
    group->setFixedWidth(kGroupWidth);
    auto* row = new QHBoxLayout(group);
    auto* reboot = new QPushButton(QStringLiteral("Reboot"), group);
    SetControlId(reboot, kRebootId);
    auto* factory = new QPushButton(QStringLiteral("Factory"), group);
    SetControlId(factory, kFactoryId);
    row->addWidget(reboot);
    row->addWidget(factory);
    connect(reboot, &QPushButton::clicked, this, &CDialog_System::onReboot);
    connect(factory, &QPushButton::clicked, this, &CDialog_System::onFactory);
    return group;
}

QWidget* CDialog_System::buildInfoGroup()
{
    auto* group = new QGroupBox(QStringLiteral("System INFO."), this);
    group->setFixedWidth(kGroupWidth);
    auto* grid = new QGridLayout(group);
    modelField_ = makeInfoField(kModelId);
    versionField_ = makeInfoField(kVersionId);
    productTypeField_ = makeInfoField(kProductTypeId);
    productTypeField_->setText(kProductType);

    const std::array<std::pair<const char*, QLineEdit*>, 3> rows = {{
        {"Product Model:", modelField_},
        {"Firmware Version:", versionField_},
        {"Product Type :", productTypeField_},
    }};
    int row = 0;
    for (const auto& [caption, field] : rows) {
        auto* label = new QLabel(QString::fromLatin1(caption), group);
        label->setBuddy(field);
        field->setAccessibleName(label->text());
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
        ++row;
    }
    return group;
}

QLineEdit* CDialog_System::makeInfoField(int id)
{
    auto* field = new QLineEdit(this);
    SetControlId(field, id);
    field->setFont(InfoBoxFont());
    field->setTextMargins(kTextInsetX, kTextInsetY, 0, 0);
    field->setReadOnly(true);
    field->setEnabled(false);
    return field;
}

void CDialog_System::writeControls()
{
    SetTextIfChanged(modelField_, modelText_);
    SetTextIfChanged(versionField_, versionText_);
}

void CDialog_System::onReboot()
{
    confirmAndSend(QStringLiteral("System will restart, Are you sure ?"),
                   QStringLiteral("System Restart"), Commands::Restart());
}

void CDialog_System::onFactory()
{
    confirmAndSend(QStringLiteral("System will set default setting , Are you sure ?"),
                   QStringLiteral("Default Setting"), Commands::FactoryReset());
}

void CDialog_System::confirmAndSend(const QString& question, const QString& caption,
                                    const std::string& command)
{
    if (!AskOkCancel(question, caption, MessageIcon::Information))
        return;
    SendCommand(command);
    MySerialPortComm& port = GlobalSerialPort();
    if (!port.IsOpen())
        return;
    // Closing discards unsent output: the command must be on the wire first. A line that
    // will not drain is closed all the same, the matrix is restarting either way.
    port.DrainOutput(kDrainTimeoutMs);
    port.ClosePort();
    if (closeUi_)
        closeUi_();
}

void CDialog_System::RefreshFromStatus()
{
    const DeviceStatus& status = GlobalDeviceStatus();
    if (!status.hasModelBlock())
        return;
    modelText_ = DecodeCp936(status.productModel());
    versionText_ = DecodeCp936(status.releaseVersion());
    writeControls();
}
