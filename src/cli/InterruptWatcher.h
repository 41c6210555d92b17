#pragma once
// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal on the thread that made the watcher, so a
// long-running subcommand (sim, monitor) can stop cleanly: port drained and closed, link
// removed. One watcher at a time.
#include <QObject>

class QSocketNotifier;

class InterruptWatcher : public QObject
{
    Q_OBJECT
public:
    InterruptWatcher();
    ~InterruptWatcher() override; // restores the default handlers

signals:
    void interrupted();

private:
    QSocketNotifier* notifier_ = nullptr;
};
