#pragma once
// The server's own requests, the same the panel makes: the whole state, asked for at once and
// again every 3.6 s until every block and table has arrived (giving up after the deadline, as
// `tavloctl status` does), and the status request every 7 s for as long as the line is up.
// Both go through the sender's queue like any client's command.
//
// I/O thread only.
#include <QObject>
#include <QTimer>
#include <functional>

class WireSender;

class StatePoller : public QObject {
    Q_OBJECT
public:
    struct Timings {
        int repeatMs = 3600;
        int deadlineMs = 30000;
        int pollMs = 7000;
    };

    // whole: whether every block and table has arrived since the last Start().
    StatePoller(WireSender& sender, std::function<bool()> whole, Timings timings,
                QObject* parent = nullptr);

    // A fresh acquisition; also what follows a line coming back.
    void Start();
    void Stop();
    // Called after each decoded chunk: the repeats end once the state is whole.
    void CheckWhole();
    bool Acquiring() const { return repeat_.isActive(); }

signals:
    void acquired();
    void overdue(); // the deadline passed without the whole state

private:
    void request(const QByteArray& command);
    void giveUp();

    WireSender& sender_;
    std::function<bool()> whole_;
    QTimer repeat_;
    QTimer deadline_;
    QTimer poll_;
};
