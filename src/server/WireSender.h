#pragma once
// The one way onto the wire: every command of every client, and the server's own requests,
// waits in one fair queue and is written by one sender thread, each after its pause. The
// pause blocks that thread only; the clients' event loop never waits for the wire.
//
// The pause in front of a command lasts until both the previous command has been on the wire
// and the command itself was asked for kCommandPauseMs ago: the matrix always sees the quiet
// it needs, and a command never reaches it sooner than if its client had sent it directly.
//
// Threads: Submit, DropSource, DropAll and Finish may be called from any thread;
// commandDone is emitted on the sender thread (receivers elsewhere get it queued).
#include "FairQueue.h"

#include <QObject>
#include <condition_variable>
#include <mutex>
#include <thread>

class MySerialPortComm;

class WireSender : public QObject {
    Q_OBJECT
public:
    enum class Refusal { None, QueueFull, Stopped };

    // perSourceLimit: commands one client may have waiting; totalLimit: all of them together.
    WireSender(MySerialPortComm& port, size_t perSourceLimit, size_t totalLimit = 1024);
    ~WireSender() override; // Finish()

    void Start();
    size_t PerSourceLimit() const { return perSourceLimit_; }
    // Queues the commands (all of one source) behind that source's earlier ones. A refusal for
    // a full queue says in why which bound it met.
    Refusal Submit(std::vector<WireCommand> commands, QString* why = nullptr);
    // A client went away: what it still has waiting is not sent (the command already in its
    // pause still goes out).
    void DropSource(uint64_t source);
    // The line was lost: nothing waiting is sent.
    void DropAll();
    // Takes no more commands, lets the one already in its pause go out and waits until it
    // has left the port; what was still waiting is dropped.
    void Finish();

signals:
    // The last command of a ticket has left the port (onWire) or could not be written.
    void commandDone(quint64 ticket, bool onWire);

private:
    void run();
    bool send(const WireCommand& command);

    MySerialPortComm& port_;
    const size_t perSourceLimit_;
    const size_t totalLimit_;
    std::thread thread_;
    std::mutex mutex_; // guards the three below
    std::condition_variable wake_;
    FairQueue queue_;
    bool stopping_ = false;
    WireCommand::Clock::time_point lastOnWire_{}; // sender thread only
};
