#include "PendingActions.h"

#include "ApiPeer.h"
#include "MySerialPortComm.h"
#include "ServerErrors.h"

PendingActions::PendingActions(StateSource state, QObject* parent)
    : QObject(parent), state_(std::move(state))
{
}

uint64_t PendingActions::Add(Request request)
{
    const uint64_t ticket = ++lastTicket_;
    entries_[ticket].request = std::move(request);
    return ticket;
}

void PendingActions::Forget(uint64_t ticket)
{
    const auto it = entries_.find(ticket);
    if (it != entries_.end())
        erase(it);
}

void PendingActions::ForgetPeer(const ApiPeer* peer)
{
    for (auto it = entries_.begin(); it != entries_.end();) {
        const Request& request = it->second.request;
        if (request.peer == peer || !request.peerAlive)
            erase(it++);
        else
            ++it;
    }
}

void PendingActions::OnCommandDone(uint64_t ticket, bool onWire)
{
    const auto it = entries_.find(ticket);
    if (it == entries_.end())
        return;
    Entry& entry = it->second;
    if (!onWire) {
        fail(ticket, ServerError::LinkDown,
             QStringLiteral("the command could not be written: the line to the matrix is down"));
        return;
    }
    const bool answerExpected = entry.request.wantsAnswer || entry.request.action.confirmType != 0;
    if (entry.request.waitMs <= 0 || !answerExpected) {
        finish(ticket, {{"sent", sentCount(entry)}});
        return;
    }
    entry.onWire = true;
    startWaiting(ticket, entry);
}

void PendingActions::OnChunk(const DeviceStatus& status, const FrameCounts& frames,
                             const QString& text)
{
    std::vector<std::pair<uint64_t, QJsonObject>> done;
    for (auto& [ticket, entry] : entries_) {
        if (!entry.onWire)
            continue;
        if (entry.request.wantsAnswer)
            gatherAnswer(ticket, entry, text);
        else if (confirmedBy(entry, status, frames))
            done.push_back({ticket, {{"sent", sentCount(entry)}, {"state", state_()}}});
    }
    for (const auto& [ticket, fields] : done)
        finish(ticket, fields);
}

void PendingActions::FailAll(const char* code, const QString& message)
{
    std::vector<uint64_t> tickets;
    for (const auto& [ticket, entry] : entries_)
        tickets.push_back(ticket);
    for (uint64_t ticket : tickets)
        fail(ticket, code, message);
}

void PendingActions::startWaiting(uint64_t ticket, Entry& entry)
{
    const int waitMs = entry.request.waitMs;
    startTimer(entry, waitMs, [this, ticket, waitMs] {
        fail(ticket, ServerError::Timeout,
             QStringLiteral("the matrix did not confirm within %1 ms").arg(waitMs));
    });
}

// The answer is what the matrix sends within the port's full hold of its first bytes, as a
// reader of the port itself would get it in one piece: the server reads after shorter pauses,
// and a reply whose frames the matrix spaces out must not be cut after the first of them.
void PendingActions::gatherAnswer(uint64_t ticket, Entry& entry, const QString& text)
{
    entry.answer += text;
    if (entry.answering)
        return;
    entry.answering = true;
    startTimer(entry, MySerialPortComm::kReceiveHoldMs, [this, ticket] {
        const auto it = entries_.find(ticket);
        if (it != entries_.end())
            finish(ticket, {{"sent", sentCount(it->second)}, {"answer", it->second.answer}});
    });
}

void PendingActions::startTimer(Entry& entry, int ms, std::function<void()> onTimeout)
{
    if (entry.timer)
        entry.timer.release()->deleteLater();
    entry.timer = std::make_unique<QTimer>();
    entry.timer->setSingleShot(true);
    connect(entry.timer.get(), &QTimer::timeout, this, std::move(onTimeout));
    entry.timer->start(ms);
}

int PendingActions::sentCount(const Entry& entry)
{
    return static_cast<int>(entry.request.action.commands.size());
}

// Frames sent before the command left could be the answer to something else; only those that
// arrive after it count, as many as the action's commands produce.
bool PendingActions::confirmedBy(Entry& entry, const DeviceStatus& status,
                                 const FrameCounts& frames) const
{
    const MatrixAction& action = entry.request.action;
    const auto it = frames.find(action.confirmType);
    if (it != frames.end())
        entry.framesSeen += it->second;
    return entry.framesSeen >= action.confirmCount && action.confirmed(status);
}

// The entry goes before the peer hears: answering may end the peer's connection, and with it
// everything it still waits for.
void PendingActions::finish(uint64_t ticket, const QJsonObject& fields)
{
    if (const std::optional<Request> request = take(ticket); request && request->peerAlive)
        request->peer->Reply(request->id, fields);
}

void PendingActions::fail(uint64_t ticket, const char* code, const QString& message)
{
    if (const std::optional<Request> request = take(ticket); request && request->peerAlive)
        request->peer->Fail(request->id, code, message);
}

// The ticket's request, no longer pending; nothing when it was not.
std::optional<PendingActions::Request> PendingActions::take(uint64_t ticket)
{
    const auto it = entries_.find(ticket);
    if (it == entries_.end())
        return std::nullopt;
    Request request = std::move(it->second.request);
    erase(it);
    return request;
}

// The entry's timer may be the one whose time-out is being handled: it goes once that is over.
void PendingActions::erase(std::map<uint64_t, Entry>::iterator it)
{
    if (it->second.timer)
        it->second.timer.release()->deleteLater();
    entries_.erase(it);
}
