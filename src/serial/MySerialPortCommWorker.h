#pragma once
// The half of MySerialPortComm that lives on the port thread. Every member function runs on
// that thread only; the owner reaches it through PortCalls, posted or waited for. Only
// isOpen() and isWaiting() may be read from anywhere.
#include "MySerialPortComm.h"
#include "PortOpenError.h"
#include "ReceiveQueue.h"
#include "RemoteAccess.h"

#include <QObject>
#include <atomic>
#include <memory>

class PortReconnector;
class PortTransport;
class QDeadlineTimer;
class QTimer;

class MySerialPortComm::Worker : public QObject {
public:
    explicit Worker(MySerialPortComm& owner);
    ~Worker() override;

    PortOpenFailure open(const QString& portName, int baudRate);
    bool configure(int baudRate);
    void write(const QByteArray& bytes);
    QByteArray read(qint64 maxBytes); // negative: everything held
    qint64 takeDropped();
    bool drain(int timeoutMs);
    void close();
    void setReconnect(bool on);
    void setQuietGap(int gapMs);
    void setRemoteAccess(const RemoteAccess& access) { access_ = access; }
    PortOpenError lossError() const { return lossError_.load(); }

    bool isOpen() const { return open_.load(); }
    bool isWaiting() const { return waiting_.load(); }

private:
    void makeHelpers();
    void attach();
    void detach();
    void onReadyRead();
    void notify();
    void onLost(const QString& reason);
    void finishLost(quint64 generation, const QString& reason);
    void onReconnected();
    void stopWaiting();
    bool drainSystemQueue(const QDeadlineTimer& deadline);

    MySerialPortComm& owner_;
    std::unique_ptr<PortTransport> transport_; // kept while waiting: it knows what to reopen
    ReceiveQueue received_{kMaxHeldUnread};
    QTimer* notifyDelay_ = nullptr;
    QTimer* quietGap_ = nullptr; // restarted by every arrival; runs only while bytes come in
    int quietGapMs_ = 0;
    PortReconnector* reconnector_ = nullptr;
    quint64 generation_ = 0; // counts opens, so a late loss report cannot close a newer port
    int baudRate_ = 0;
    QString portName_;
    QString lossReason_;
    bool reconnect_ = false;
    std::atomic<bool> open_{false};
    std::atomic<bool> waiting_{false};
    std::atomic<PortOpenError> lossError_{PortOpenError::None};
    RemoteAccess access_;
};
