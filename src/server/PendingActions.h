#pragma once
// JSON requests between the queue and their reply. Without a wait a request is answered once
// its last command has left the port; with one, once the matrix has confirmed it (the frames
// it answers with have arrived after that and the state shows the change), or with a
// "timeout" error when it has not within the time asked for.
//
// I/O thread only.
#include "DecodedChunk.h"
#include "MatrixAction.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class ApiPeer;

class PendingActions : public QObject {
    Q_OBJECT
public:
    struct Request {
        ApiPeer* peer = nullptr;
        QPointer<QObject> peerAlive; // the peer's Lifetime()
        QJsonValue id;
        MatrixAction action;
        int waitMs = 0;           // 0: answer once on the wire
        bool wantsAnswer = false; // raw text: what the matrix sends next, shown decoded
    };
    // The state document as the reply to a confirmed request carries it.
    using StateSource = std::function<QJsonObject()>;

    explicit PendingActions(StateSource state, QObject* parent = nullptr);

    // The ticket its commands carry.
    uint64_t Add(Request request);
    void Forget(uint64_t ticket);
    // The peer has gone: nothing of its requests is answered or kept.
    void ForgetPeer(const ApiPeer* peer);
    void OnCommandDone(uint64_t ticket, bool onWire);
    // A chunk has been decoded; status holds what it carried.
    void OnChunk(const DeviceStatus& status, const FrameCounts& frames, const QString& text);
    void FailAll(const char* code, const QString& message);

private:
    struct Entry {
        Request request;
        bool onWire = false;
        int framesSeen = 0;
        bool answering = false; // the answer's first bytes have come
        QString answer;
        std::unique_ptr<QTimer> timer; // the wait, then the answer's gathering
    };

    void startWaiting(uint64_t ticket, Entry& entry);
    void gatherAnswer(uint64_t ticket, Entry& entry, const QString& text);
    void startTimer(Entry& entry, int ms, std::function<void()> onTimeout);
    static int sentCount(const Entry& entry);
    bool confirmedBy(Entry& entry, const DeviceStatus& status, const FrameCounts& frames) const;
    void finish(uint64_t ticket, const QJsonObject& fields);
    void fail(uint64_t ticket, const char* code, const QString& message);
    std::optional<Request> take(uint64_t ticket);
    void erase(std::map<uint64_t, Entry>::iterator it);

    StateSource state_;
    std::map<uint64_t, Entry> entries_;
    uint64_t lastTicket_ = 0;
};
