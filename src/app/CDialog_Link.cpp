#include "CDialog_Link.h"

#include "CMyComboBox.h"
#include "ControlId.h"
#include "Cp936.h"
#include "DeviceGroup.h"
#include "DeviceStatus.h"
#include "HostCommands.h"
#include "LinkStateLabel.h"
#include "MySerialPortComm.h"
#include "OperatorMessages.h"
#include "ReplyDecoder.h"
#include "RxLogBox.h"
#include "SendCommand.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

const QString CDialog_Link::kStartText =
    QStringLiteral("The system is being initialized...\r\nIt is expected to take three "
                   "seconds...\r\nPlease later,thank you...\r\n\r\n");
const QString CDialog_Link::kTimeoutNoticeText =
    QStringLiteral("Sorry...\r\nGet data timeout...\r\nThe software will continue to get "
                   "data\r\nthank you...\r\n\r\n");
const QString CDialog_Link::kDoneText =
    QStringLiteral("The initialization data was successful...\r\nthank you...\r\n\r\n");
const QString CDialog_Link::kFailedText =
    QStringLiteral("Sorry...\r\nGet all data failed...\r\nPlease Close Port and Open "
                   "again...\r\nthank you...\r\n");
const QString CDialog_Link::kClosedText =
    QStringLiteral("The connection closed ...\r\nStop data acquisition...\r\nthank you...\r\n\r\n");

namespace {

QString lostWaitingText(const QString& port, const QString& reason)
{
    return QStringLiteral("The connection to %1 was lost (%2); waiting for it to return "
                          "...\r\n\r\n")
        .arg(port, reason);
}

// The reason may be that the port is not back at all (a refused connection): the line says
// only what is known.
QString stillWaitingText(const QString& reason)
{
    return QStringLiteral("still waiting: %1\r\n\r\n").arg(reason);
}

// On Linux the operator meets this first of all: adapters belong to the group dialout, and a
// new member of a group has it only from the next login.
QString openFailureLine(const QString& port, PortOpenError error, QString reason)
{
    if (error == PortOpenError::PermissionDenied &&
        DeviceGroupName(port) == QStringLiteral("dialout"))
        reason += QStringLiteral(": add your user to the dialout group, then log in again");
    return QStringLiteral("%1: %2\r\n").arg(port, reason);
}

const QString kReconnectKey = QStringLiteral("link/reconnect");

const std::array<const char*, 9> kBaudRates = {"2400",  "4800",   "9600",   "19200", "38400",
                                               "57600", "115200", "230400", "260800"};

QString lineEnds(QString text) { return text.replace(QLatin1Char('\n'), QStringLiteral("\r\n")); }

bool isReturnKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

} // namespace

CDialog_Link::CDialog_Link(QWidget* parent)
    : QWidget(parent), acquisition_(GlobalDeviceStatus()), enumerate_(&EnumerateSerialPorts)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildParameterGroup());
    layout->addWidget(buildDisplayGroup(), 1);

    pollTimer_ = makeTimer(kPollTimerId, false);
    noticeTimer_ = makeTimer(kNoticeTimerId, true);
    deadlineTimer_ = makeTimer(kDeadlineTimerId, true);
    SetTimings(Timings{});

    connect(&acquisition_, &AcquisitionWorker::completed, this, &CDialog_Link::OnAcquisitionDone);
    connect(&acquisition_, &AcquisitionWorker::failed, this, &CDialog_Link::OnAcquisitionFailed);
    MySerialPortComm& port = GlobalSerialPort();
    connect(&port, &MySerialPortComm::dataReceived, this, &CDialog_Link::OnPortReceive,
            Qt::QueuedConnection);
    connect(&port, &MySerialPortComm::portLost, this, &CDialog_Link::OnPortLost,
            Qt::QueuedConnection);
    connect(&port, &MySerialPortComm::portLostWaiting, this, &CDialog_Link::OnPortLostWaiting,
            Qt::QueuedConnection);
    connect(&port, &MySerialPortComm::portReconnected, this, &CDialog_Link::OnPortReconnected,
            Qt::QueuedConnection);
    connect(&port, &MySerialPortComm::reconnectFailing, this, &CDialog_Link::OnReconnectFailing,
            Qt::QueuedConnection);
    port.SetReconnect(reconnectBox_->isChecked());

    FillPortList();
    for (const char* rate : kBaudRates)
        baudCombo_->addItem(QString::fromLatin1(rate));
    baudCombo_->setCurrentIndex(kDefaultBaudIndex);
}

QGroupBox* CDialog_Link::buildParameterGroup()
{
    portCombo_ = new CMyComboBox;
    SetControlId(portCombo_, kPortCombo);
    portCombo_->setMinimumContentsLength(16);
    portCombo_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    connect(portCombo_, &QComboBox::activated, this,
            [this](int index) { selectedPortText_ = portCombo_->itemText(index); });
    baudCombo_ = new QComboBox;
    SetControlId(baudCombo_, kBaudCombo);
    baudCombo_->setEnabled(false); // the matrix talks at 115200 only

    linkState_ = new LinkStateLabel;
    SetControlId(linkState_, kLinkState);
    reconnectBox_ = new QCheckBox(QStringLiteral("Reconnect automatically"));
    SetControlId(reconnectBox_, kReconnect);
    reconnectBox_->setChecked(QSettings().value(kReconnectKey, false).toBool());
    connect(reconnectBox_, &QCheckBox::toggled, this, &CDialog_Link::SetReconnect);

    auto* group = new QGroupBox(QStringLiteral("Communication  Parameters"));
    auto* groupLayout = new QHBoxLayout(group);
    groupLayout->addWidget(buildInfoGroup(), 3);
    groupLayout->addWidget(buildSettingGroup(), 1);
    return group;
}

// The link's state beside the port and the choice to reconnect beside the baud rate: both
// belong to the line, and in these rows they leave the page's height and captions as they were.
QGroupBox* CDialog_Link::buildInfoGroup()
{
    auto* info = new QGroupBox(QStringLiteral("RS232 INFO."));
    auto* infoLayout = new QGridLayout(info);
    auto* comLabel = new QLabel(QStringLiteral("COM"));
    comLabel->setBuddy(portCombo_);
    auto* baudLabel = new QLabel(QStringLiteral("Baud"));
    baudLabel->setBuddy(baudCombo_);
    infoLayout->addWidget(comLabel, 0, 0);
    infoLayout->addWidget(portCombo_, 0, 1);
    infoLayout->addWidget(linkState_, 0, 2);
    infoLayout->addWidget(baudLabel, 1, 0);
    infoLayout->addWidget(baudCombo_, 1, 1);
    infoLayout->addWidget(reconnectBox_, 1, 2);
    infoLayout->setColumnStretch(1, 1);
    return info;
}

QGroupBox* CDialog_Link::buildSettingGroup()
{
    searchButton_ = new QPushButton(QStringLiteral("Search"));
    SetControlId(searchButton_, kSearch);
    connect(searchButton_, &QPushButton::clicked, this, &CDialog_Link::FillPortList);
    openButton_ = new QPushButton(QStringLiteral("Open Port"));
    SetControlId(openButton_, kOpenPort);
    openButton_->setCheckable(true);
    connect(openButton_, &QPushButton::clicked, this, &CDialog_Link::TogglePort);

    auto* setting = new QGroupBox(QStringLiteral("RS232 Setting"));
    auto* settingLayout = new QVBoxLayout(setting);
    settingLayout->addWidget(searchButton_);
    settingLayout->addWidget(openButton_);
    return setting;
}

QGroupBox* CDialog_Link::buildDisplayGroup()
{
    rxBox_ = new RxLogBox;
    SetControlId(rxBox_, kRxBox);
    rxBox_->setAccessibleName(QStringLiteral("Rx Data"));
    console_ = new RxConsole(rxBox_, this);
    clearButton_ = new QPushButton(QStringLiteral("Clear"));
    SetControlId(clearButton_, kClear);
    connect(clearButton_, &QPushButton::clicked, this, &CDialog_Link::ClearRx);

    auto* rx = new QGroupBox(QStringLiteral("Rx Data"));
    auto* rxLayout = new QGridLayout(rx);
    rxLayout->addWidget(rxBox_, 0, 0, 2, 1);
    rxLayout->addWidget(clearButton_, 1, 1, Qt::AlignBottom);

    txBox_ = new QPlainTextEdit;
    SetControlId(txBox_, kTxBox);
    txBox_->setAccessibleName(QStringLiteral("Tx Data"));
    txBox_->setLineWrapMode(QPlainTextEdit::NoWrap);
    txBox_->installEventFilter(this);
    sendButton_ = new QPushButton(QStringLiteral("Send"));
    SetControlId(sendButton_, kSend);
    connect(sendButton_, &QPushButton::clicked, this, &CDialog_Link::SendTxText);

    auto* tx = new QGroupBox(QStringLiteral("Tx Data"));
    auto* txLayout = new QGridLayout(tx);
    txLayout->addWidget(txBox_, 0, 0, 2, 1);
    txLayout->addWidget(sendButton_, 1, 1, Qt::AlignBottom);

    auto* group = new QGroupBox(QStringLiteral("Data Display"));
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(rx, 4);
    groupLayout->addWidget(tx, 1);
    return group;
}

QTimer* CDialog_Link::makeTimer(int id, bool singleShot)
{
    auto* timer = new QTimer(this);
    timer->setObjectName(QStringLiteral("timer%1").arg(id));
    timer->setSingleShot(singleShot);
    // Coarse timers may fire early; the poll and the deadline must not.
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, id] { OnPageTimer(id); });
    return timer;
}

void CDialog_Link::SetPortEnumerator(PortEnumerator enumerator)
{
    enumerate_ = std::move(enumerator);
}

void CDialog_Link::SetTimings(const Timings& timings)
{
    pollTimer_->setInterval(timings.pollMs);
    noticeTimer_->setInterval(timings.noticeMs);
    deadlineTimer_->setInterval(timings.deadlineMs);
    acquisition_.setRequestGapMs(timings.requestGapMs);
}

void CDialog_Link::FillPortList()
{
    portCombo_->clear();
    listed_.clear();
    try {
        listed_ = enumerate_();
    } catch (const SerialPortListError& error) {
        ShowError(QString::fromLocal8Bit(error.what()));
        return;
    }
    for (const SSerInfo& port : listed_)
        portCombo_->addItem(PortListItem(port));
    if (selectedPortText_.isEmpty()) {
        portCombo_->setCurrentIndex(portCombo_->count() > 0 ? 0 : -1);
        return;
    }
    // The remembered item, matched by its beginning; the search starts after the first item
    // and wraps round to it.
    const int n = portCombo_->count();
    portCombo_->setCurrentIndex(-1);
    for (int k = 1; k <= n; ++k) {
        const int i = k % n;
        if (portCombo_->itemText(i).startsWith(selectedPortText_, Qt::CaseInsensitive)) {
            portCombo_->setCurrentIndex(i);
            return;
        }
    }
}

bool CDialog_Link::ChoosePort(const QString& port)
{
    const auto it = std::find_if(listed_.begin(), listed_.end(), [&](const SSerInfo& listed) {
        return listed.devicePath == port || listed.portName == port;
    });
    if (it == listed_.end())
        return false;
    const int index = static_cast<int>(it - listed_.begin());
    portCombo_->setCurrentIndex(index);
    selectedPortText_ = portCombo_->itemText(index);
    return true;
}

void CDialog_Link::TogglePort(bool checked)
{
    if (checked) {
        if (OpenFromControls())
            StartAcquisition();
        return;
    }
    MySerialPortComm& port = GlobalSerialPort();
    // A port that went away without notice must not leave the controls in the open state.
    if (!port.IsOpen() && !connected_)
        return;
    port.ClosePort();
    CloseUiAfterPortClose();
}

bool CDialog_Link::OpenFromControls()
{
    const int chosen = portCombo_->currentIndex();
    // From the record, not the item's text: a path named on the command line may hold a blank.
    const QString name =
        chosen >= 0 ? PortOpenName(listed_[static_cast<size_t>(chosen)]) : QString();
    const int baud = baudCombo_->currentText().toInt();
    if (name.isEmpty() || baud <= 0) {
        failOpen(QStringLiteral("ERROR:COM or Baud is invalid"));
        return false;
    }
    MySerialPortComm& port = GlobalSerialPort();
    if (port.IsOpen()) {
        failOpen(QStringLiteral("ERROR:This com is OPEN"));
        return false;
    }
    if (!port.OpenPortByName(name, baud)) {
        // The box keeps its one text whatever went wrong; the Rx box says what did.
        rxBox_->AppendStatus(openFailureLine(name, port.LastOpenError(), port.LastOpenErrorText()));
        // A device that opened but could not be set up is of no use half open.
        port.ClosePort();
        failOpen(QStringLiteral("ERROR:COM is invalid,please refresh again"));
        return false;
    }
    openPortName_ = name;
    setOpenControls(true);
    linkState_->ShowState(LinkStateLabel::State::Connected);
    GlobalDeviceStatus().acquisitionState = AcquisitionPending;
    return true;
}

void CDialog_Link::failOpen(const QString& error)
{
    openButton_->setChecked(false);
    openButton_->setText(QStringLiteral("Open Port"));
    ShowError(error);
}

void CDialog_Link::setOpenControls(bool open)
{
    connected_ = open;
    openButton_->setChecked(open);
    openButton_->setText(open ? QStringLiteral("Close Port") : QStringLiteral("Open Port"));
    searchButton_->setEnabled(!open);
    portCombo_->setEnabled(!open);
    baudCombo_->setEnabled(false);
}

void CDialog_Link::StartAcquisition()
{
    ResetDeviceStatus(GlobalDeviceStatus());
    console_->Clear();
    refreshRunning_ = false;
    pollTimer_->start();
    noticeTimer_->start();
    deadlineTimer_->start();
    acquisition_.Start();
    rxBox_->ShowStatusOnly(kStartText);
}

void CDialog_Link::OnPageTimer(int id)
{
    DeviceStatus& status = GlobalDeviceStatus();
    switch (id) {
    case kPollTimerId:
        SendCommand(Commands::RequestStatus());
        break;
    case kNoticeTimerId:
        if (status.acquisitionDone.load() == 0)
            rxBox_->AppendStatus(kTimeoutNoticeText);
        break;
    case kDeadlineTimerId:
        status.acquisitionState = AcquisitionFailed;
        acquisition_.Check();
        break;
    default:
        break;
    }
}

void CDialog_Link::OnAcquisitionDone()
{
    DeviceStatus& status = GlobalDeviceStatus();
    // Posted before a close or a loss, handled after it.
    if (status.stopRequested.load() || waiting_)
        return;
    status.initialDataReceived = 1;
    refreshers_.RefreshAll();
    setPagesStale(false);
    rxBox_->AppendStatus(kDoneText);
    ClearAcquisitionFlags();
    refreshRunning_ = true;
}

void CDialog_Link::OnAcquisitionFailed()
{
    if (GlobalDeviceStatus().stopRequested.load() || waiting_)
        return;
    setPagesStale(false);
    rxBox_->AppendStatus(kFailedText);
    ClearAcquisitionFlags();
    refreshRunning_ = true;
    Messages().Show({kFailedText, QStringLiteral("ERROR"), MessageIcon::None, MessageButtons::Ok});
}

void CDialog_Link::ClearAcquisitionFlags()
{
    DeviceStatus& status = GlobalDeviceStatus();
    status.statusRefreshPending = 0;
    status.networkRefreshPending = 0;
    status.modelRefreshPending = 0;
    status.acquisitionState = AcquisitionPending;
}

void CDialog_Link::CloseUiAfterPortClose()
{
    waiting_ = false;
    setOpenControls(false);
    linkState_->ShowState(LinkStateLabel::State::Closed);
    setPagesStale(false);
    pollTimer_->stop();
    acquisition_.Stop();
    refreshRunning_ = false;
    ClearDeviceStatusOnClose(GlobalDeviceStatus());
    rxBox_->AppendStatus(kClosedText);
}

void CDialog_Link::OnPortLost(const QString& reason)
{
    if (!connected_)
        return;
    // The port object has closed the device already; closing again costs nothing and keeps
    // the page right should that ever change.
    GlobalSerialPort().ClosePort();
    CloseUiAfterPortClose();
    ShowError(QStringLiteral("ERROR:The connection to %1 was lost (%2); the port is closed")
                  .arg(openPortName_, reason));
}

void CDialog_Link::OnPortLostWaiting(const QString& reason)
{
    if (!connected_ || waiting_)
        return;
    waiting_ = true;
    // Nothing can reach the matrix meanwhile: no requests, and no deadline that would call
    // the acquisition failed because of the loss. The return starts them afresh.
    stopAcquisitionTimers();
    openButton_->setText(QStringLiteral("Stop Waiting"));
    linkState_->ShowState(LinkStateLabel::State::Waiting);
    setPagesStale(true);
    rxBox_->AppendStatus(lostWaitingText(openPortName_, reason));
}

void CDialog_Link::OnPortReconnected()
{
    // Stopped waiting just as the port came back: the close has dealt with it.
    if (!waiting_ || !GlobalSerialPort().IsOpen())
        return;
    waiting_ = false;
    setOpenControls(true);
    linkState_->ShowState(LinkStateLabel::State::Reconnected);
    GlobalDeviceStatus().acquisitionState = AcquisitionPending;
    StartAcquisition();
}

void CDialog_Link::OnReconnectFailing(const QString& reason)
{
    if (waiting_)
        rxBox_->AppendStatus(stillWaitingText(reason));
}

void CDialog_Link::stopAcquisitionTimers()
{
    pollTimer_->stop();
    noticeTimer_->stop();
    deadlineTimer_->stop();
    acquisition_.Stop();
}

void CDialog_Link::setPagesStale(bool stale)
{
    if (stale == pagesStale_)
        return;
    pagesStale_ = stale;
    emit pagesStale(stale);
}

void CDialog_Link::SetReconnect(bool on)
{
    QSettings().setValue(kReconnectKey, on);
    // Switched off while waiting, the port reports the loss as it would have without it.
    GlobalSerialPort().SetReconnect(on);
}

void CDialog_Link::OnPortReceive()
{
    // A notification posted before the loss: nothing is held any more, and reading would
    // push the waiting line out of the box.
    if (waiting_)
        return;
    if (GlobalDeviceStatus().initialDataReceived.load() == 0)
        PauseMs(kFirstDataWaitMs);
    ReceiveChunk(GlobalSerialPort().ReadPort());
}

void CDialog_Link::ReceiveChunk(const QByteArray& bytes)
{
    if (console_->IsFull())
        console_->Clear();
    DeviceStatus& status = GlobalDeviceStatus();
    const size_t count = std::min(static_cast<size_t>(bytes.size()), RxRingBuffer::kSize);
    const auto* received = reinterpret_cast<const uint8_t*>(bytes.constData());
    // The ring is drained by what was put, so it is empty here and takes any chunk whole.
    std::array<uint8_t, RxRingBuffer::kSize> chunk{};
    [[maybe_unused]] const bool passed =
        rxRing_.Put(received, count) && rxRing_.Get(chunk.data(), count);
    Q_ASSERT(passed);
    const std::string text = DecodeChunk(status, std::span<const uint8_t>(chunk.data(), count));
    if (text.empty())
        return;
    console_->AddReceived(bytes.first(qsizetype(count)),
                          DecodeCp936(text) + QStringLiteral("\r\n"));
    acquisition_.Check();
    ScheduleRefresh();
}

void CDialog_Link::ReplaceRxLog(const QString& log) { console_->Replace(log); }

void CDialog_Link::ScheduleRefresh()
{
    const DeviceStatus& status = GlobalDeviceStatus();
    const bool pending = status.statusRefreshPending.load() ||
                         status.networkRefreshPending.load() || status.modelRefreshPending.load();
    if (!refreshRunning_ || !pending || refreshQueued_)
        return;
    refreshQueued_ = true;
    QMetaObject::invokeMethod(this, &CDialog_Link::RunPendingRefreshes, Qt::QueuedConnection);
}

void CDialog_Link::RunPendingRefreshes()
{
    refreshQueued_ = false;
    DeviceStatus& status = GlobalDeviceStatus();
    if (!refreshRunning_ || status.stopRequested.load())
        return;
    // Each flag is taken before its refresh runs, so a block decoded while a refresh waits
    // (a message box has its own event loop) raises it again rather than being lost.
    if (status.statusRefreshPending.exchange(0))
        refreshers_.RefreshStatusPages();
    if (status.networkRefreshPending.exchange(0))
        refreshers_.RefreshNetworkPage();
    if (status.modelRefreshPending.exchange(0))
        refreshers_.RefreshSystemPage();
}

void CDialog_Link::SendTxText()
{
    const QString text = lineEnds(txBox_->toPlainText());
    const std::optional<QByteArray> bytes = EncodeCp936(text);
    if (!bytes) {
        ShowError(QStringLiteral("ERROR:The Tx text holds characters that code page 936 cannot "
                                 "carry; nothing was sent"));
        return;
    }
    if (bytes->size() >= kTxByteLimit) {
        ShowError(QStringLiteral("ERROR:The Tx text is %1 bytes long, at most %2 bytes can be "
                                 "sent at once; nothing was sent")
                      .arg(bytes->size())
                      .arg(kTxByteLimit - 1));
        return;
    }
    const bool goesOut = !bytes->isEmpty() && GlobalSerialPort().IsOpen();
    console_->AddTyped(text + QStringLiteral("\r\n"), goesOut);
    txHistory_.Add(txBox_->toPlainText());
    if (!bytes->isEmpty())
        SendCommandBytes(*bytes);
    txBox_->clear();
}

void CDialog_Link::ClearRx() { console_->Clear(); }

bool CDialog_Link::eventFilter(QObject* watched, QEvent* event)
{
    if (FilterKeys(watched, event) || RecallTxHistory(watched, event))
        return true;
    return QWidget::eventFilter(watched, event);
}

bool CDialog_Link::FilterKeys(QObject* watched, QEvent* event)
{
    // The application drops the key-down of Return, so its key-up is the one press. Ctrl+A
    // needs nothing here: both edit boxes select all on it by themselves.
    if (event->type() != QEvent::KeyRelease || watched != txBox_)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (!isReturnKey(key->key()))
        return false;
    if (!key->isAutoRepeat()) {
        QTextCursor cursor = txBox_->textCursor();
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(QStringLiteral("\n"));
        txBox_->setTextCursor(cursor);
        txBox_->ensureCursorVisible();
    }
    return true;
}

bool CDialog_Link::RecallTxHistory(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || watched != txBox_)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool up = key->key() == Qt::Key_Up;
    if ((!up && key->key() != Qt::Key_Down) || key->modifiers() != Qt::NoModifier)
        return false;
    // Up on the first line and Down on the last step through the sent lines; elsewhere they
    // move the caret, as in any box of several lines.
    QTextCursor probe = txBox_->textCursor();
    if (probe.movePosition(up ? QTextCursor::Up : QTextCursor::Down))
        return false;
    const std::optional<QString> line =
        up ? txHistory_.Older(txBox_->toPlainText()) : txHistory_.Newer();
    if (!line)
        return false;
    txBox_->setPlainText(*line);
    // At the end the line came from, so the next press in the same direction steps on.
    txBox_->moveCursor(up ? QTextCursor::Start : QTextCursor::End);
    return true;
}
