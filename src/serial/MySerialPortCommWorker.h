#pragma once
// The half of MySerialPortComm that lives on the port thread. Every member function runs on
// that thread only; the owner reaches it through queued or blocking-queued calls. Only
// isOpen() may be read from anywhere.
#include "MySerialPortComm.h"

#include <QObject>
#include <QSerialPort>
#include <atomic>

class QDeadlineTimer;
class QTimer;

class MySerialPortComm::Worker : public QObject
{
public:
    explicit Worker(MySerialPortComm& owner);

    bool open(const QString& portName, int baudRate);
    bool configure(int baudRate);
    void write(const QByteArray& bytes);
    QByteArray read();
    bool drain(int timeoutMs);
    void close();

    bool isOpen() const { return open_.load(); }

private:
    void makeNotifyDelay();
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    bool isWriteStall(QSerialPort::SerialPortError error);
    void finishLost(quint64 generation, const QString& reason);
    bool drainDriverQueue(const QDeadlineTimer& deadline);
    int driverQueued() const;

    MySerialPortComm& owner_;
    QSerialPort* port_ = nullptr; // one per open, so a lost port leaves no stale state behind
    QTimer* notifyDelay_ = nullptr;
    quint64 generation_ = 0; // counts opens, so a late loss report cannot close a newer port
    int baudRate_ = 0;
    int writeStalls_ = 0;
    std::atomic<bool> open_{false};
};
