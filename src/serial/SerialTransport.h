#pragma once
// A serial device behind the port object (see PortTransport). Two Tavlo programs never share a
// line: on Unix the device is opened by its canonical path and locked with flock(), whatever
// name each one uses for it and whoever runs them; on Windows a COM port opens for one program
// only. What differs between the systems is in SerialTransportSystem.h.
#include "AdapterIdentity.h"
#include "PortTransport.h"

#include <QSerialPort>

class SerialTransport : public PortTransport {
    Q_OBJECT
public:
    // portName: a short name (ttyUSB0, COM3) or a path, links allowed (/dev/serial/by-id/…).
    explicit SerialTransport(const QString& portName);
    ~SerialTransport() override;

    bool open(int baudRate) override;
    void reopen(int baudRate) override;
    bool configure(int baudRate) override;
    void close() override;
    QIODevice* device() const override { return port_; }
    qint64 queuedInSystem() const override;

private:
    bool openDevice(const QString& devicePath, int baudRate);
    bool failOpen(const QString& devicePath);
    bool lockDevice();
    bool raiseModemLines();
    QString findReturnedAdapter() const;
    void onError(QSerialPort::SerialPortError error);
    bool isPassingError(QSerialPort::SerialPortError error);

    QString name_;       // as given, for every message
    QString stablePath_; // the name as a path: where the adapter is looked for after a loss
    AdapterIdentity identity_;
    QSerialPort* port_ = nullptr; // one per open, so a lost device leaves no stale state behind
    int passingErrors_ = 0;
};
