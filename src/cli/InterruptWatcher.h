#pragma once
// Turns an interrupt into a Qt signal on the thread that made the watcher, so a long-running
// subcommand (sim, monitor, serve) can stop cleanly: port drained and closed, link removed.
// On Unix: SIGINT, SIGTERM and SIGHUP (InterruptWatcher_unix.cpp); SIGHUP is hangUp() instead
// when something listens for it (serve reads its token file again), as daemons take it. On
// Windows: Ctrl+C, Ctrl+Break, the console closed, logoff and shutdown
// (InterruptWatcher_win.cpp); there is no hang-up to report. One watcher at a time.
#include <QObject>

class InterruptWatcher : public QObject
{
    Q_OBJECT
public:
    InterruptWatcher();
    ~InterruptWatcher() override; // restores the default handlers

signals:
    void interrupted();
    void hangUp();
};
