#include "MySerialPortComm.h"

#include "MySerialPortCommWorker.h"
#include "PortTransport.h"

#include <QThread>

namespace {
// Runs fn on the worker's thread and waits for its result; a call made on that thread itself
// runs directly, where a blocking queued call would wait for itself.
template <typename Fn> auto RunOnPortThread(QObject* worker, Fn fn)
{
    using Result = decltype(fn());
    if (QThread::currentThread() == worker->thread())
        return fn();
    Result result{};
    QMetaObject::invokeMethod(worker, fn, Qt::BlockingQueuedConnection, &result);
    return result;
}
} // namespace

MySerialPortComm::MySerialPortComm() : thread_(new QThread), worker_(new Worker(*this))
{
    thread_->setObjectName(QStringLiteral("serial port"));
    worker_->moveToThread(thread_);
}

MySerialPortComm::~MySerialPortComm()
{
    if (thread_->isRunning()) {
        RunOnPortThread(worker_, [this] {
            worker_->close();
            // The worker's children (timers, reconnector) belong to this thread: free them here.
            qDeleteAll(worker_->children());
            return true;
        });
        thread_->quit();
        thread_->wait();
    }
    delete worker_;
    delete thread_;
}

bool MySerialPortComm::OpenPortByName(const QString& portName, int baudRate)
{
    // Started on first use rather than at construction: the thread's event loop needs the
    // application object, which may not exist yet when the global port is made.
    if (!thread_->isRunning())
        thread_->start();
    lastOpenFailure_ = RunOnPortThread(
        worker_, [this, portName, baudRate] { return worker_->open(portName, baudRate); });
    return !lastOpenFailure_.failed();
}

bool MySerialPortComm::ConfigureLine(int baudRate)
{
    if (!IsOpen())
        return false;
    return RunOnPortThread(worker_, [this, baudRate] { return worker_->configure(baudRate); });
}

bool MySerialPortComm::IsOpen() const { return worker_->isOpen(); }

int MySerialPortComm::WritePort(const QByteArray& bytes)
{
    if (!IsOpen() || bytes.isEmpty())
        return 0;
    // Queued, never waited for: events to one thread are handled in order, one at a time, so
    // writes from several threads reach the wire whole and in the order they were made.
    Worker* worker = worker_;
    QMetaObject::invokeMethod(
        worker, [worker, bytes] { worker->write(bytes); }, Qt::QueuedConnection);
    emit dataWritten(bytes);
    return static_cast<int>(bytes.size());
}

QByteArray MySerialPortComm::ReadPort()
{
    if (!IsOpen())
        return {};
    return RunOnPortThread(worker_, [this] { return worker_->read(kMaxRead); });
}

QByteArray MySerialPortComm::ReadAvailable()
{
    if (!IsOpen())
        return {};
    return RunOnPortThread(worker_, [this] { return worker_->read(-1); });
}

qint64 MySerialPortComm::TakeDroppedBytes()
{
    if (!thread_->isRunning())
        return 0;
    return RunOnPortThread(worker_, [this] { return worker_->takeDropped(); });
}

bool MySerialPortComm::DrainOutput(int timeoutMs)
{
    if (!IsOpen())
        return false;
    return RunOnPortThread(worker_, [this, timeoutMs] { return worker_->drain(timeoutMs); });
}

void MySerialPortComm::ClosePort()
{
    if (!IsOpen() && !IsWaitingToReconnect())
        return;
    RunOnPortThread(worker_, [this] {
        worker_->close();
        return true;
    });
}

void MySerialPortComm::SetReconnect(bool on)
{
    if (!thread_->isRunning())
        thread_->start();
    RunOnPortThread(worker_, [this, on] {
        worker_->setReconnect(on);
        return true;
    });
}

void MySerialPortComm::SetReceiveQuietGap(int gapMs)
{
    if (!thread_->isRunning())
        thread_->start();
    RunOnPortThread(worker_, [this, gapMs] {
        worker_->setQuietGap(gapMs);
        return true;
    });
}

bool MySerialPortComm::IsWaitingToReconnect() const { return worker_->isWaiting(); }

void MySerialPortComm::SetRemoteAccess(const RemoteAccess& access)
{
    if (!thread_->isRunning())
        thread_->start();
    RunOnPortThread(worker_, [this, access] {
        worker_->setRemoteAccess(access);
        return true;
    });
}

PortOpenError MySerialPortComm::LastLossError() const { return worker_->lossError(); }

bool MySerialPortComm::IsSocketPortName(const QString& portName)
{
    return PortTransport::IsSocketPortName(portName);
}

MySerialPortComm& GlobalSerialPort()
{
    static MySerialPortComm port;
    return port;
}
