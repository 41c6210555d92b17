#include "MySerialPortCommWorker.h"

#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#endif

namespace
{
// The matrix sends its blocks in pieces; waiting this long after the threshold is reached lets
// a whole block arrive before the receiver reads.
constexpr int kNotifyDelayMs = 500;
constexpr qint64 kNotifyThreshold = 2;
// Write stalls in a row, with nothing written in between, after which a device that still
// looks alive is taken for failed all the same: a driver that rejects every write must not
// keep the port thread spinning.
constexpr int kMaxWriteStalls = 100;

// QSerialPort's own error text is taken from errno, which after a read that simply returned
// nothing is whatever an earlier call left there ("Inappropriate ioctl for device"); say what
// happened in plain words instead.
QString LossReason(const QString& portName, QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ReadError:
        return QStringLiteral("%1 can no longer be read; the device may have been removed")
            .arg(portName);
    case QSerialPort::WriteError:
        return QStringLiteral("%1 can no longer be written; the device may have been removed")
            .arg(portName);
    case QSerialPort::ResourceError:
        return QStringLiteral("%1 is no longer available; the device may have been removed")
            .arg(portName);
    default:
        return QStringLiteral("%1 failed (error %2)").arg(portName).arg(int(error));
    }
}

// A hung-up or vanished device says so when polled; a merely full one does not.
bool DeviceLooksAlive(qintptr handle)
{
#ifdef Q_OS_UNIX
    pollfd probe{static_cast<int>(handle), POLLOUT, 0};
    if (::poll(&probe, 1, 0) < 0)
        return false;
    return (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
#else
    Q_UNUSED(handle);
    return true;
#endif
}
} // namespace

MySerialPortComm::Worker::Worker(MySerialPortComm& owner) : owner_(owner) {}

bool MySerialPortComm::Worker::open(const QString& portName, int baudRate)
{
    close();
    makeNotifyDelay();
    port_ = new QSerialPort(this);
    port_->setPortName(portName);
    // The line settings go in before open so that the device never runs at a stale rate;
    // configure() below sets them again and reports whether the driver took them.
    port_->setBaudRate(baudRate);
    if (!port_->open(QIODevice::ReadWrite)) {
        delete port_;
        port_ = nullptr;
        return false;
    }
    ++generation_;
    writeStalls_ = 0;
    open_ = true;
    connect(port_, &QSerialPort::readyRead, this, [this] { onReadyRead(); });
    connect(port_, &QSerialPort::bytesWritten, this, [this] { writeStalls_ = 0; });
    connect(port_, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { onError(e); });
    port_->clear(QSerialPort::AllDirections);
    if (configure(baudRate))
        return true;
    // A port that could not be set up is of no use to the caller, who reports the failure and
    // believes the port closed; leaving it open would hold the device and feed it notifications.
    close();
    return false;
}

// Made on the port thread, where its timer events must be handled.
void MySerialPortComm::Worker::makeNotifyDelay()
{
    if (notifyDelay_)
        return;
    notifyDelay_ = new QTimer(this);
    notifyDelay_->setSingleShot(true);
    // A coarse timer may fire up to 5 % early; the delay is a lower bound.
    notifyDelay_->setTimerType(Qt::PreciseTimer);
    notifyDelay_->setInterval(kNotifyDelayMs);
    notifyDelay_->callOnTimeout(this, [this] { emit owner_.dataReceived(); });
}

bool MySerialPortComm::Worker::configure(int baudRate)
{
    if (!port_)
        return false;
    // Flow control is not touched here: the line keeps whatever the device was opened with.
    const bool ok = port_->setBaudRate(baudRate) && port_->setDataBits(QSerialPort::Data8) &&
                    port_->setParity(QSerialPort::NoParity) &&
                    port_->setStopBits(QSerialPort::OneStop);
    if (ok)
        baudRate_ = baudRate;
    return ok;
}

void MySerialPortComm::Worker::write(const QByteArray& bytes)
{
    if (!port_)
        return;
    // QSerialPort writes from its write notifier as soon as this thread is back in its event
    // loop, which is at once: nothing else runs here. No flush(): on a full driver queue it
    // meets EAGAIN and reports that as a failed device.
    port_->write(bytes);
}

QByteArray MySerialPortComm::Worker::read()
{
    if (!port_)
        return {};
    return port_->read(kMaxRead);
}

bool MySerialPortComm::Worker::drain(int timeoutMs)
{
    if (!port_)
        return false;
    const QDeadlineTimer deadline(std::max(timeoutMs, 0));
    while (port_ && port_->bytesToWrite() > 0) {
        if (deadline.hasExpired())
            return false;
        if (!port_->waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            return port_ && port_->bytesToWrite() == 0;
    }
    return port_ && drainDriverQueue(deadline);
}

// Waits until the driver's transmit queue is empty. tcdrain() would do, but it cannot be
// bounded and hangs for good on a line held by flow control; instead sleep for the wire time
// of what is still queued and look again.
bool MySerialPortComm::Worker::drainDriverQueue(const QDeadlineTimer& deadline)
{
    const int bitsPerMs = std::max(baudRate_ / 1000, 1);
    for (int queued = driverQueued(); queued > 0; queued = driverQueued()) {
        if (deadline.hasExpired())
            return false;
        const qint64 wireMs = queued * 10 / bitsPerMs + 1;
        QThread::msleep(static_cast<unsigned long>(std::min(wireMs, deadline.remainingTime())));
    }
    return true;
}

// Bytes the driver holds that have not left the line yet; -1 when it cannot tell.
int MySerialPortComm::Worker::driverQueued() const
{
#if defined(Q_OS_UNIX) && defined(TIOCOUTQ)
    int queued = 0;
    return ::ioctl(port_->handle(), TIOCOUTQ, &queued) == 0 ? queued : -1;
#else
    return -1;
#endif
}

void MySerialPortComm::Worker::close()
{
    if (!port_)
        return;
    open_ = false;
    notifyDelay_->stop();
    // Unsent output is discarded, as a closing port always did; callers who need their last
    // command on the wire call DrainOutput first. QSerialPort drops its own buffer on close;
    // the driver's queue is flushed only when it still holds bytes, because on a
    // pseudo-terminal a flush also throws away what the other side has not read yet, which
    // has long left this port.
    if (driverQueued() != 0)
        port_->clear(QSerialPort::Output);
    port_->disconnect(this);
    port_->close();
    delete port_;
    port_ = nullptr;
}

void MySerialPortComm::Worker::onReadyRead()
{
    if (!port_ || notifyDelay_->isActive())
        return;
    if (port_->bytesAvailable() >= kNotifyThreshold)
        notifyDelay_->start();
}

// A device that fails while open does not recover: report it once and close. Some drivers
// (a pseudo-terminal whose master is gone) keep signalling the same error for as long as the
// descriptor is watched, so further signals are cut off first. The close itself waits for the
// next pass of the event loop: QSerialPort is still inside its own read handler here.
void MySerialPortComm::Worker::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || !port_)
        return;
    if (isWriteStall(error)) {
        port_->clearError();
        return;
    }
    disconnect(port_, &QSerialPort::errorOccurred, this, nullptr);
    const QString reason = LossReason(port_->portName(), error);
    const quint64 generation = generation_;
    QMetaObject::invokeMethod(
        this, [this, generation, reason] { finishLost(generation, reason); }, Qt::QueuedConnection);
}

// QSerialPort reports a write into a full driver queue (EAGAIN) as ResourceError, the same
// code as a device that is gone. Output still waiting and a device that does not report a
// hang-up tell the stall apart; QSerialPort keeps the bytes and writes them when it can.
bool MySerialPortComm::Worker::isWriteStall(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError && error != QSerialPort::WriteError)
        return false;
    if (port_->bytesToWrite() == 0 || !DeviceLooksAlive(port_->handle()))
        return false;
    return ++writeStalls_ <= kMaxWriteStalls;
}

void MySerialPortComm::Worker::finishLost(quint64 generation, const QString& reason)
{
    // Closed (or closed and opened again) by the owner in the meantime: nothing was lost.
    if (!port_ || generation != generation_)
        return;
    close();
    emit owner_.portLost(reason);
}
