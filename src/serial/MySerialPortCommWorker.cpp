#include "MySerialPortCommWorker.h"

#include "PortReconnector.h"
#include "PortTransport.h"

#include <QDeadlineTimer>
#include <QIODevice>
#include <QThread>
#include <QTimer>
#include <algorithm>

namespace {
// The matrix sends its blocks in pieces; waiting this long after the threshold is reached lets
// a whole block arrive before the receiver reads.
constexpr int kNotifyDelayMs = MySerialPortComm::kReceiveHoldMs;
constexpr qint64 kNotifyThreshold = 2;
} // namespace

MySerialPortComm::Worker::Worker(MySerialPortComm& owner) : owner_(owner) {}

MySerialPortComm::Worker::~Worker() = default;

PortOpenFailure MySerialPortComm::Worker::open(const QString& portName, int baudRate)
{
    close();
    makeHelpers();
    transport_ = PortTransport::ForPortName(portName);
    if (!transport_->open(baudRate)) {
        const PortOpenFailure failure = transport_->failure();
        transport_.reset();
        return failure;
    }
    baudRate_ = baudRate;
    portName_ = portName;
    attach();
    return {};
}

// Made on the port thread, where their timer events must be handled.
void MySerialPortComm::Worker::makeHelpers()
{
    if (notifyDelay_)
        return;
    notifyDelay_ = new QTimer(this);
    notifyDelay_->setSingleShot(true);
    // A coarse timer may fire up to 5 % early; the delay is a lower bound.
    notifyDelay_->setTimerType(Qt::PreciseTimer);
    notifyDelay_->setInterval(kNotifyDelayMs);
    notifyDelay_->callOnTimeout(this, [this] { notify(); });
    quietGap_ = new QTimer(this);
    quietGap_->setSingleShot(true);
    quietGap_->setTimerType(Qt::PreciseTimer);
    quietGap_->callOnTimeout(this, [this] { notify(); });
    reconnector_ = new PortReconnector(this);
    connect(reconnector_, &PortReconnector::reconnected, this, [this] { onReconnected(); });
    connect(reconnector_, &PortReconnector::failing, this,
            [this](const QString& reason) { emit owner_.reconnectFailing(reason); });
}

// After every open and reopen: the transport's device is up and ours to watch.
void MySerialPortComm::Worker::attach()
{
    ++generation_;
    connect(transport_->device(), &QIODevice::readyRead, this, [this] { onReadyRead(); });
    connect(transport_.get(), &PortTransport::lost, this,
            [this](const QString& reason) { onLost(reason); });
    open_ = true;
}

void MySerialPortComm::Worker::detach()
{
    open_ = false;
    notifyDelay_->stop();
    quietGap_->stop();
    received_.clear();
    transport_->device()->disconnect(this);
    transport_->disconnect(this);
    transport_->close();
}

bool MySerialPortComm::Worker::configure(int baudRate)
{
    if (!open_ || !transport_->configure(baudRate))
        return false;
    baudRate_ = baudRate;
    return true;
}

void MySerialPortComm::Worker::write(const QByteArray& bytes)
{
    if (!open_)
        return;
    // The device writes from its write notifier as soon as this thread is back in its event
    // loop, which is at once: nothing else runs here. No flush(): on a full driver queue it
    // meets EAGAIN and reports that as a failed device.
    transport_->device()->write(bytes);
}

QByteArray MySerialPortComm::Worker::read(qint64 maxBytes) { return received_.take(maxBytes); }

qint64 MySerialPortComm::Worker::takeDropped() { return received_.takeDropped(); }

bool MySerialPortComm::Worker::drain(int timeoutMs)
{
    if (!open_)
        return false;
    QIODevice* device = transport_->device();
    const QDeadlineTimer deadline(std::max(timeoutMs, 0));
    while (device->bytesToWrite() > 0) {
        if (deadline.hasExpired())
            return false;
        if (!device->waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            return device->bytesToWrite() == 0;
    }
    return drainSystemQueue(deadline);
}

// Waits until the system's transmit queue is empty. tcdrain() would do, but it cannot be
// bounded and hangs for good on a stalled line; instead sleep for the wire time of what is
// still queued and look again.
bool MySerialPortComm::Worker::drainSystemQueue(const QDeadlineTimer& deadline)
{
    const int bitsPerMs = std::max(baudRate_ / 1000, 1);
    for (qint64 queued = transport_->queuedInSystem(); queued > 0;
         queued = transport_->queuedInSystem()) {
        if (deadline.hasExpired())
            return false;
        const qint64 wireMs = queued * 10 / bitsPerMs + 1;
        QThread::msleep(static_cast<unsigned long>(std::min(wireMs, deadline.remainingTime())));
    }
    return true;
}

void MySerialPortComm::Worker::close()
{
    stopWaiting();
    if (!transport_)
        return;
    // Unsent output is discarded, as a closing port always did; callers who need their last
    // command on the wire call DrainOutput first.
    if (open_)
        detach();
    transport_.reset();
}

void MySerialPortComm::Worker::setReconnect(bool on)
{
    reconnect_ = on;
    if (on || !waiting_)
        return;
    // Waiting no longer: the loss becomes what it is without reconnecting.
    stopWaiting();
    transport_.reset();
    emit owner_.portLost(lossReason_);
}

void MySerialPortComm::Worker::setQuietGap(int gapMs)
{
    makeHelpers();
    quietGapMs_ = std::max(gapMs, 0);
    quietGap_->setInterval(quietGapMs_);
    quietGap_->stop();
}

void MySerialPortComm::Worker::onReadyRead()
{
    if (!open_)
        return;
    received_.append(transport_->device()->readAll());
    if (received_.size() < kNotifyThreshold)
        return;
    if (!notifyDelay_->isActive())
        notifyDelay_->start();
    // The gap counts from the latest bytes: only a pause ends the hold early.
    if (quietGapMs_ > 0)
        quietGap_->start();
}

// Whichever ends the hold first, the quiet gap or its bound, ends it for both: the next bytes
// start a fresh hold.
void MySerialPortComm::Worker::notify()
{
    notifyDelay_->stop();
    quietGap_->stop();
    emit owner_.dataReceived();
}

// A device that fails while open does not recover by itself: report it once and close. The
// close waits for the next pass of the event loop: the device is still inside its own handler
// here.
void MySerialPortComm::Worker::onLost(const QString& reason)
{
    const quint64 generation = generation_;
    QMetaObject::invokeMethod(
        this, [this, generation, reason] { finishLost(generation, reason); }, Qt::QueuedConnection);
}

void MySerialPortComm::Worker::finishLost(quint64 generation, const QString& reason)
{
    // Closed (or closed and opened again) by the owner in the meantime: nothing was lost.
    if (!open_ || generation != generation_)
        return;
    detach();
    lossReason_ = reason;
    if (!reconnect_) {
        transport_.reset();
        emit owner_.portLost(reason);
        return;
    }
    waiting_ = true;
    emit owner_.portLostWaiting(reason);
    reconnector_->start(transport_.get(), baudRate_, portName_);
}

void MySerialPortComm::Worker::onReconnected()
{
    waiting_ = false;
    attach();
    emit owner_.portReconnected();
}

void MySerialPortComm::Worker::stopWaiting()
{
    if (reconnector_)
        reconnector_->stop();
    waiting_ = false;
}
