#include "MatrixSession.h"

#include "DeviceGroup.h"
#include "MySerialPortComm.h"
#include "ReplyDecoder.h"
#include "ReplyFrame.h"
#include "SendCommand.h"
#include "SerialPortList.h"

#include <QEventLoop>
#include <QTimer>

namespace {

constexpr int kBaudRate = 115200;
constexpr int kDrainMs = 3000;
// A server's refusal follows the command that shows it at once; a round trip on any network a
// matrix is driven over takes less.
constexpr int kRefusalGraceMs = 150;
// The loss of a port that has already closed is on its way to this thread.
constexpr int kLossNoticeMs = 1000;

// The group hint only where it helps: a device of the dialout group, as Debian and its
// relatives give serial devices. Elsewhere the group (or the device's own rules) differ.
std::string OpenFailureText(const MySerialPortComm& port, const QString& path)
{
    std::string text = port.LastOpenErrorText().toStdString();
    if (port.LastOpenError() == PortOpenError::PermissionDenied &&
        DeviceGroupName(path) == QLatin1String("dialout"))
        text += "; to use serial ports, add your user to the dialout group "
                "(sudo usermod -aG dialout \"$USER\"), then log out and in again";
    return text;
}

} // namespace

QString ResolvePortName(const std::string& port)
{
    const QString given = QString::fromStdString(port);
    if (MySerialPortComm::IsSocketPortName(given))
        return given;
    try {
        for (const SSerInfo& info : EnumerateSerialPorts()) {
            if (info.portName == given)
                return info.devicePath;
        }
    } catch (const SerialPortListError&) {
        // Without a list the name is tried as given.
    }
    return given;
}

MatrixSession::MatrixSession(std::string port, RemoteAccess access)
    : port_(std::move(port)), access_(std::move(access)), status_(std::make_unique<DeviceStatus>())
{
}

MatrixSession::~MatrixSession() { Close(); }

void MatrixSession::Open()
{
    if (port_.empty())
        throw CliFailure{3, "no port given: use --port PORT (see `tavloctl ports`)"};
    MySerialPortComm& port = GlobalSerialPort();
    connect(&port, &MySerialPortComm::dataReceived, this, &MatrixSession::onData);
    connect(&port, &MySerialPortComm::portLost, this, &MatrixSession::onLost);
    port.SetRemoteAccess(access_);
    const QString path = ResolvePortName(port_);
    if (!port.OpenPortByName(path, kBaudRate))
        throw CliFailure{3, "cannot open " + port_ + ": " + OpenFailureText(port, path)};
    open_ = true;
    ResetDeviceStatus(*status_);
}

void MatrixSession::Send(const std::string& command)
{
    throwIfLost();
    SendCommand(command);
    // The pause in front of the next command must be measured on the wire: the write is
    // queued to the port's thread, so wait until it has left before that pause begins.
    GlobalSerialPort().DrainOutput(kDrainMs);
    // Lost during the pause (a server that refused the token, say): the command never left.
    if (open_ && !GlobalSerialPort().IsOpen())
        WaitUntil([] { return false; }, kLossNoticeMs);
    throwIfLost();
}

// A server takes a raw command once the line has been quiet for its idle gap, and drops one whose
// client left before that; a refusal, too, comes back within the grace. So a network port is
// held open for the grace after the last command, with a token or without.
void MatrixSession::ConfirmTaken()
{
    if (!open_ || !MySerialPortComm::IsSocketPortName(QString::fromStdString(port_)))
        return;
    GlobalSerialPort().DrainOutput(kDrainMs);
    WaitUntil([] { return false; }, kRefusalGraceMs);
}

bool MatrixSession::WaitUntil(const std::function<bool()>& done, int timeoutMs,
                              const std::function<void()>& every, int everyMs)
{
    throwIfLost();
    QEventLoop loop;
    QTimer deadline;
    QTimer repeat;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (timeoutMs >= 0)
        deadline.start(timeoutMs);
    if (every && everyMs > 0) {
        connect(&repeat, &QTimer::timeout, this, [&] {
            if (!lost_)
                every();
        });
        repeat.start(everyMs);
    }
    done_ = done;
    satisfied_ = false;
    loop_ = &loop;
    loop.exec();
    loop_ = nullptr;
    done_ = nullptr;
    throwIfLost();
    return satisfied_;
}

void MatrixSession::Stop()
{
    if (loop_)
        loop_->quit();
}

void MatrixSession::Close()
{
    if (!open_)
        return;
    open_ = false;
    MySerialPortComm& port = GlobalSerialPort();
    port.DrainOutput(kDrainMs);
    port.ClosePort();
    disconnect(&port, nullptr, this, nullptr);
}

void MatrixSession::FollowLosses(LossHandlers handlers)
{
    MySerialPortComm& port = GlobalSerialPort();
    connect(&port, &MySerialPortComm::portLostWaiting, this, handlers.lost);
    connect(&port, &MySerialPortComm::portReconnected, this, handlers.back);
    connect(&port, &MySerialPortComm::reconnectFailing, this, handlers.failing);
    port.SetReconnect(true);
}

int MatrixSession::FramesSeen(int type) const
{
    const auto it = framesSeen_.find(type);
    return it == framesSeen_.end() ? 0 : it->second;
}

void MatrixSession::onData()
{
    MySerialPortComm& port = GlobalSerialPort();
    // Asked only for a listener: each ask is a blocking call to the port thread.
    if (onDropped_) {
        if (const qint64 dropped = port.TakeDroppedBytes(); dropped > 0)
            onDropped_(dropped);
    }
    const QByteArray chunk = port.ReadAvailable();
    const auto bytes = std::span(reinterpret_cast<const uint8_t*>(chunk.constData()),
                                 static_cast<size_t>(chunk.size()));
    const std::string text = DecodeChunk(*status_, bytes);
    for (const auto& [type, count] : CountValidFrames(bytes))
        framesSeen_[type] += count;
    if (onChunk_)
        onChunk_(chunk, text);
    if (loop_ && done_ && done_()) {
        satisfied_ = true;
        loop_->quit();
    }
}

void MatrixSession::onLost(const QString& reason)
{
    lost_ = true;
    lostReason_ = reason;
    lostError_ = GlobalSerialPort().LastLossError();
    open_ = false;
    if (loop_)
        loop_->quit();
}

void MatrixSession::throwIfLost() const
{
    if (!lost_)
        return;
    if (lostError_ == PortOpenError::TokenNeeded || lostError_ == PortOpenError::TokenRefused)
        throw CliFailure{3, lostReason_.toStdString()};
    if (lost_)
        throw CliFailure{3, "lost the line to the matrix on " + port_ + ": " +
                                lostReason_.toStdString()};
}
