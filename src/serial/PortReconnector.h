#pragma once
// Brings a lost port back. Where the system reports arriving devices (AdapterWatcher), each
// report is answered with a reopen at once, and the regular look is only a safety net, every
// few seconds. Without such reports it asks the transport to reopen about once a second. While
// the adapter is absent it keeps that pace, and after each reopen that failed for another
// reason (busy, permissions, refused) it waits twice as long, up to a limit. Each new reason
// for failing is reported once, not at every try. Lives on the port thread, with the
// transport it drives; never spins: a timer and the system's events, nothing else.
#include "PortOpenError.h"

#include <QObject>

class AdapterWatcher;
class PortTransport;
class QTimer;

class PortReconnector : public QObject {
    Q_OBJECT
public:
    static constexpr int kLookIntervalMs = 1000;
    static constexpr int kWatchedLookIntervalMs = 5000; // the system reports arrivals
    static constexpr int kMaxBackoffMs = 8000;

    explicit PortReconnector(QObject* parent);

    // Starts waiting for the transport's device to return, reopening it at the baud rate;
    // portName is what the port was opened by, where the device will reappear.
    void start(PortTransport* transport, int baudRate, const QString& portName);
    void stop();
    bool isWaiting() const { return transport_ != nullptr; }

signals:
    void reconnected();
    void failing(const QString& reason);

private:
    void tryReopen();
    void onReopenFailed(const PortOpenFailure& failure);

    QTimer* next_;
    AdapterWatcher* watcher_;
    int lookMs_ = kLookIntervalMs;
    PortTransport* transport_ = nullptr;
    int baudRate_ = 0;
    int backoffMs_ = kLookIntervalMs;
    QString reported_;
};
