#include "MySerialPortComm.h"

#include "MySerialPortCommWorker.h"
#include "PortCalls.h"
#include "PortTransport.h"

#include <QThread>

MySerialPortComm::MySerialPortComm()
    : thread_(new QThread), worker_(new Worker(*this)), calls_(new PortCalls)
{
    thread_->setObjectName(QStringLiteral("serial port"));
    worker_->moveToThread(thread_);
    calls_->moveToThread(thread_);
}

MySerialPortComm::~MySerialPortComm()
{
    if (thread_->isRunning()) {
        calls_->run([this] {
            worker_->close();
            // The worker's children (timers, reconnector) belong to this thread: free them here.
            qDeleteAll(worker_->children());
            return true;
        });
        thread_->quit();
        thread_->wait();
    }
    delete calls_;
    delete worker_;
    delete thread_;
}

bool MySerialPortComm::OpenPortByName(const QString& portName, int baudRate)
{
    // Started on first use rather than at construction: the thread's event loop needs the
    // application object, which may not exist yet when the global port is made.
    if (!thread_->isRunning())
        thread_->start();
    lastOpenFailure_ =
        calls_->run([this, portName, baudRate] { return worker_->open(portName, baudRate); });
    return !lastOpenFailure_.failed();
}

bool MySerialPortComm::ConfigureLine(int baudRate)
{
    if (!IsOpen())
        return false;
    return calls_->run([this, baudRate] { return worker_->configure(baudRate); });
}

bool MySerialPortComm::IsOpen() const { return worker_->isOpen(); }

int MySerialPortComm::WritePort(const QByteArray& bytes)
{
    if (!IsOpen() || bytes.isEmpty())
        return 0;
    // Posted, never waited for: the port thread takes what it is handed in order, one at a time,
    // so writes from several threads reach the wire whole and in the order they were made.
    calls_->post([worker = worker_, bytes] { worker->write(bytes); });
    emit dataWritten(bytes);
    return static_cast<int>(bytes.size());
}

QByteArray MySerialPortComm::ReadPort()
{
    if (!IsOpen())
        return {};
    return calls_->run([this] { return worker_->read(kMaxRead); });
}

QByteArray MySerialPortComm::ReadAvailable()
{
    if (!IsOpen())
        return {};
    return calls_->run([this] { return worker_->read(-1); });
}

qint64 MySerialPortComm::TakeDroppedBytes()
{
    if (!thread_->isRunning())
        return 0;
    return calls_->run([this] { return worker_->takeDropped(); });
}

bool MySerialPortComm::DrainOutput(int timeoutMs)
{
    if (!IsOpen())
        return false;
    return calls_->run([this, timeoutMs] { return worker_->drain(timeoutMs); });
}

void MySerialPortComm::ClosePort()
{
    if (!IsOpen() && !IsWaitingToReconnect())
        return;
    calls_->run([this] {
        worker_->close();
        return true;
    });
}

void MySerialPortComm::SetReconnect(bool on)
{
    if (!thread_->isRunning())
        thread_->start();
    calls_->run([this, on] {
        worker_->setReconnect(on);
        return true;
    });
}

void MySerialPortComm::SetReceiveQuietGap(int gapMs)
{
    if (!thread_->isRunning())
        thread_->start();
    calls_->run([this, gapMs] {
        worker_->setQuietGap(gapMs);
        return true;
    });
}

bool MySerialPortComm::IsWaitingToReconnect() const { return worker_->isWaiting(); }

void MySerialPortComm::SetRemoteAccess(const RemoteAccess& access)
{
    if (!thread_->isRunning())
        thread_->start();
    calls_->run([this, access] {
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
