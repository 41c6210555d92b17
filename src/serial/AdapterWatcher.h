#pragma once
// Tells when a lost serial adapter may be back, from the system's own device events, so that
// the port is reopened at once instead of at the next look. On Linux these are the changes
// in /dev, in /dev/serial/by-id and in the folder that holds the port's name; on Windows the
// arrival of a COM port. A burst of events (a device node, its permissions, its links) is
// reported once, when the burst has settled, so the reopen finds the device ready.
//
// Lives on the thread that starts it (the port thread); the events arrive through that
// thread's event loop and cost nothing while none come.
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QTimer;

class AdapterWatcher : public QObject {
    Q_OBJECT
public:
    // From the last event of a burst to adaptersChanged().
    static constexpr int kSettleMs = 30;

    // The system's events, as each OS delivers them; noticed runs for every one.
    class EventSource {
    public:
        virtual ~EventSource() = default;
    };

    explicit AdapterWatcher(QObject* parent = nullptr);
    ~AdapterWatcher() override;

    // Watches for the adapter a port name stands for (ttyUSB0, a path, COM3). False when the
    // system gives no events for it (a network port, no event source): the caller looks for
    // the device by itself.
    bool start(const QString& portName);
    void stop();
    bool isWatching() const { return source_ != nullptr; }

signals:
    void adaptersChanged();

private:
    // One per OS, in AdapterWatcher_<os>.cpp; null where the system offers no events.
    static std::unique_ptr<EventSource> OpenEventSource(const QString& portName,
                                                        std::function<void()> noticed);

    std::unique_ptr<EventSource> source_;
    QTimer* settle_;
};
