#include "CDialog_Network.h"

#include "AddressCheck.h"
#include "AddressText.h"
#include "ControlId.h"
#include "DeviceStatus.h"
#include "HostCommands.h"
#include "InfoFont.h"
#include "LineEditText.h"
#include "OperatorMessages.h"
#include "SendCommand.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStringList>
#include <QTimer>
#include <QVBoxLayout>
#include <array>
#include <optional>
#include <string>

namespace {

const QString kDhcpOn = QStringLiteral("DHCP ON");
const QString kDhcpOff = QStringLiteral("DHCP OFF");
const QString kOnlyNumbers = QStringLiteral("Support only Numbers...");
const QString kStartsWith127 = QStringLiteral("Invalid IP address starting with 127");
const QString kCheckAddresses = QStringLiteral("Please check IP & MASK & GW");
const QString kDhcpTimeout = QStringLiteral("Set DHCP timeout...");
const QString kGatewayQuestion = QStringLiteral(
    "The default gateway is not on the same network segment as the IP address and the subnet "
    "source code,Do you want to save this configuration?");

// Inset of the text inside the address edits.
constexpr int kTextInsetX = 10;
constexpr int kTextInsetY = 4;
constexpr int kInfoGroupWidth = 640; // as wide as the System page's groups

QString notValidMessage(const QString& value)
{
    return QStringLiteral("%1 is not valid. Please specify a value between 1 and 223.").arg(value);
}

// The text before the first dot; the whole text when there is no dot or it leads.
QString firstPart(const QString& ip)
{
    const qsizetype dot = ip.indexOf(u'.');
    return dot <= 0 ? ip : ip.left(dot);
}

bool allDigits(const QString& text)
{
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

// A digit string as its decimal value prints, without parsing it: any length is exact.
QString decimalValue(const QString& digits)
{
    qsizetype first = 0;
    while (first < digits.size() && digits[first] == u'0')
        ++first;
    return first == digits.size() ? QStringLiteral("0") : digits.mid(first);
}

// The address text as the 8-bit text the matrix receives; nothing when a character has no
// 8-bit form, which then fails the address check like any other malformed text.
std::optional<std::string> eightBitText(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return std::nullopt;
    }
    return text.toLatin1().toStdString();
}

// Why Apply must not send the three texts, or nothing. Whatever the page has always refused
// keeps its one message; a leading zero or a mask with a gap in its one-bits, refused since,
// is named, or the operator could not tell what is wrong with a text that looks fine.
std::optional<QString> applyRefusal(const std::optional<std::string>& ip,
                                    const std::optional<std::string>& mask,
                                    const std::optional<std::string>& gateway)
{
    if (!ip || !mask || !gateway)
        return kCheckAddresses;
    const AddressVerdict verdicts[] = {CheckAddress(*ip), CheckMask(*mask), CheckAddress(*gateway)};
    for (const AddressVerdict& verdict : verdicts) {
        if (verdict.fault == AddressFault::Malformed)
            return kCheckAddresses;
    }
    for (const AddressVerdict& verdict : verdicts) {
        if (!verdict.passes())
            return QString::fromLatin1(verdict.reason);
    }
    return std::nullopt;
}

QString defaultMaskFor(int firstOctet)
{
    if (firstOctet >= 1 && firstOctet <= 126)
        return QStringLiteral("255.0.0.0");
    if (firstOctet >= 128 && firstOctet <= 191)
        return QStringLiteral("255.255.0.0");
    if (firstOctet >= 192 && firstOctet <= 223)
        return QStringLiteral("255.255.255.0");
    return {};
}

} // namespace

CDialog_Network::CDialog_Network(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildInfoGroup(), 0, Qt::AlignLeft);
    layout->addStretch();

    dhcpTimer_ = new QTimer(this);
    dhcpTimer_->setObjectName(QStringLiteral("timer%1").arg(kDhcpTimerId));
    dhcpTimer_->setSingleShot(true);
    dhcpTimer_->setInterval(kDhcpTimeoutMs);
    connect(dhcpTimer_, &QTimer::timeout, this, &CDialog_Network::onDhcpTimeout);

    ipEdit_->installEventFilter(this);
    maskEdit_->installEventFilter(this);
    connect(applyButton_, &QPushButton::clicked, this, &CDialog_Network::onApply);
    connect(dhcpToggle_, &QPushButton::clicked, this, &CDialog_Network::onDhcpClicked);
}

QWidget* CDialog_Network::buildInfoGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Network INFO."), this);
    group->setFixedWidth(kInfoGroupWidth);
    auto* grid = new QGridLayout(group);

    macEdit_ = makeAddressEdit(kMacId);
    macEdit_->setReadOnly(true);
    macEdit_->setEnabled(false);
    ipEdit_ = makeAddressEdit(kIpId);
    maskEdit_ = makeAddressEdit(kMaskId);
    gatewayEdit_ = makeAddressEdit(kGatewayId);

    dhcpToggle_ = new QPushButton(kDhcpOff, group);
    dhcpToggle_->setCheckable(true);
    SetControlId(dhcpToggle_, kDhcpId);
    applyButton_ = new QPushButton(QStringLiteral("Apply"), group);
    SetControlId(applyButton_, kApplyId);

    const std::array<std::pair<const char*, QWidget*>, 5> rows = {{
        {"MAC Address :", macEdit_},
        {"Ip Address :", ipEdit_},
        {"Net Mask Address :", maskEdit_},
        {"Gate Way Address :", gatewayEdit_},
        {"DHCP :", dhcpToggle_},
    }};
    int row = 0;
    for (const auto& [caption, field] : rows) {
        auto* label = new QLabel(QString::fromLatin1(caption), group);
        label->setBuddy(field);
        field->setAccessibleName(label->text());
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1, field == dhcpToggle_ ? Qt::AlignLeft : Qt::Alignment());
        ++row;
    }
    grid->addWidget(applyButton_, row, 1, Qt::AlignRight);
    return group;
}

QLineEdit* CDialog_Network::makeAddressEdit(int id)
{
    auto* edit = new QLineEdit(this);
    SetControlId(edit, id);
    edit->setFont(InfoBoxFont());
    edit->setTextMargins(kTextInsetX, kTextInsetY, 0, 0);
    return edit;
}

void CDialog_Network::readControls()
{
    macText_ = macEdit_->text();
    ipText_ = ipEdit_->text();
    maskText_ = maskEdit_->text();
    gatewayText_ = gatewayEdit_->text();
}

void CDialog_Network::writeControls()
{
    SetTextIfChanged(macEdit_, macText_);
    SetTextIfChanged(ipEdit_, ipText_);
    SetTextIfChanged(maskEdit_, maskText_);
    SetTextIfChanged(gatewayEdit_, gatewayText_);
}

bool CDialog_Network::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ipEdit_ && event->type() == QEvent::KeyRelease) {
        checkFirstOctet();
        return false;
    }
    if (watched == maskEdit_ && event->type() == QEvent::FocusIn) {
        // The edit's own focus handling goes first: entered by Tab it selects all its text,
        // which would swallow the caret put after a filled-in mask.
        static_cast<QObject*>(maskEdit_)->event(event);
        fillDefaultMask();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CDialog_Network::checkFirstOctet()
{
    // The box does not block the page: keys released in the edit while it is open would
    // stack one box on another for the same text. The release after it closes checks again.
    if (checkingFirstOctet_)
        return;
    const QScopedValueRollback guard(checkingFirstOctet_, true);
    readControls();
    if (ipText_.isEmpty())
        return;
    const QString part = firstPart(ipText_);
    if (!allDigits(part)) {
        ShowError(kOnlyNumbers);
        return;
    }
    const QString value = decimalValue(part);
    const int octet = value.size() > 3 ? 1000 : value.toInt();
    // The replacement is set after the box: a refresh shown while it was open keeps its
    // other texts, and the operator's bad address is still replaced.
    if (octet < 1) {
        ShowError(notValidMessage(value));
        ipText_ = QStringLiteral("1");
    } else if (octet == 127) {
        ShowError(kStartsWith127);
        ipText_ = QStringLiteral("1");
    } else if (octet > 223) {
        ShowError(notValidMessage(value));
        ipText_ = QStringLiteral("223");
    }
    writeControls();
}

void CDialog_Network::fillDefaultMask()
{
    readControls();
    if (!maskText_.isEmpty() || ipText_.isEmpty())
        return;
    maskText_ = defaultMaskFor(LeadingNumber(firstPart(ipText_).toLatin1().toStdString()));
    writeControls();
    maskEdit_->setCursorPosition(int(maskEdit_->text().size()));
}

void CDialog_Network::onApply()
{
    readControls();
    // Kept apart from the page's texts: a refresh while the question is open must not change
    // what the operator confirmed.
    const auto ip = eightBitText(ipText_);
    const auto mask = eightBitText(maskText_);
    const auto gateway = eightBitText(gatewayText_);
    if (const auto refusal = applyRefusal(ip, mask, gateway)) {
        ShowError(*refusal);
        return;
    }
    if (!IsSameSegment(*ip, *mask, *gateway) &&
        !AskOkCancel(kGatewayQuestion, QStringLiteral("ERROR"), MessageIcon::Error))
        return;

    SendCommand(Commands::IpStatic(*ip, *mask, *gateway, dhcpToggle_->isChecked()));
    ipEdit_->setEnabled(false);
    gatewayEdit_->setEnabled(false);
    maskEdit_->setEnabled(false);
    PauseMs(kApplyPauseMs);
    ipEdit_->setEnabled(true);
    gatewayEdit_->setEnabled(true);
    maskEdit_->setEnabled(true);
}

void CDialog_Network::onDhcpClicked(bool checked)
{
    showDhcpState(checked);
    SendCommand(Commands::IpDhcp(checked));
    if (!checked)
        return;
    // Awaiting the matrix: the next network block confirms, the timer reports its absence.
    dhcpTimer_->start();
    dhcpToggle_->setEnabled(false);
}

void CDialog_Network::onDhcpTimeout()
{
    dhcpTimer_->stop();
    dhcpToggle_->setEnabled(true);
    ShowError(kDhcpTimeout);
}

void CDialog_Network::showDhcpState(bool on)
{
    dhcpToggle_->setChecked(on);
    dhcpToggle_->setText(on ? kDhcpOn : kDhcpOff);
    setAddressEditsEnabled(!on);
    applyButton_->setEnabled(!on);
}

void CDialog_Network::setAddressEditsEnabled(bool enabled)
{
    ipEdit_->setEnabled(enabled);
    maskEdit_->setEnabled(enabled);
    gatewayEdit_->setEnabled(enabled);
}

bool CDialog_Network::RefreshFromStatus()
{
    const DeviceStatus& status = GlobalDeviceStatus();
    if (!status.hasNetworkBlock())
        return false;
    macText_ = MacText(status.macAddress());
    ipText_ = DottedText(status.ipAddress());
    maskText_ = DottedText(status.subnetMask());
    gatewayText_ = DottedText(status.gateway());
    showDhcpState(status.dhcp() == 1);
    writeControls();
    // Any network block ends the wait for DHCP, whatever it says.
    dhcpTimer_->stop();
    dhcpToggle_->setEnabled(true);
    return true;
}
