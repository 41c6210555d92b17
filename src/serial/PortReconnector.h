#pragma once
// Brings a lost port back. While it waits it asks the transport to reopen about once a second;
// while the adapter is absent it keeps that pace, and after each reopen that failed for
// another reason (busy, permissions, refused) it waits twice as long, up to a limit. Each new
// reason for failing is reported once, not at every try. Lives on the port thread, with the
// transport it drives; never spins: one timer, nothing else.
#include "PortOpenError.h"

#include <QObject>

class PortTransport;
class QTimer;

class PortReconnector : public QObject {
    Q_OBJECT
public:
    static constexpr int kLookIntervalMs = 1000;
    static constexpr int kMaxBackoffMs = 8000;

    explicit PortReconnector(QObject* parent);

    // Starts waiting for the transport's device to return, reopening it at the baud rate.
    void start(PortTransport* transport, int baudRate);
    void stop();
    bool isWaiting() const { return transport_ != nullptr; }

signals:
    void reconnected();
    void failing(const QString& reason);

private:
    void tryReopen();
    void onReopenFailed(const PortOpenFailure& failure);

    QTimer* next_;
    PortTransport* transport_ = nullptr;
    int baudRate_ = 0;
    int backoffMs_ = kLookIntervalMs;
    QString reported_;
};
