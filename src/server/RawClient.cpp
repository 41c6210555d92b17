#include "RawClient.h"

#include "BrowserRequest.h"
#include "ServerErrors.h"

#include <utility>

RawClient::RawClient(QTcpSocket* socket, const ClientLimits& limits, int idleGapMs, Submit submit,
                     QObject* parent)
    : ClientConnection(socket, limits, parent), submit_(std::move(submit)),
      tokenLine_(limits.maxLineBytes)
{
    idle_.setSingleShot(true);
    // A coarse timer may fire early and cut a command the client is still sending.
    idle_.setTimerType(Qt::PreciseTimer);
    idle_.setInterval(idleGapMs);
    connect(&idle_, &QTimer::timeout, this, &RawClient::onIdle);
}

void RawClient::onInput(const QByteArray& bytes)
{
    if (!Authorized()) {
        takeToken(bytes);
        return;
    }
    command_ += bytes;
    lastByte_ = WireCommand::Clock::now();
    if (command_.size() > Limits().maxLineBytes) {
        Refuse(ServerError::LineTooLong,
               QStringLiteral("a command of more than %1 bytes without a pause; "
                              "closing")
                   .arg(Limits().maxLineBytes));
        return;
    }
    idle_.start();
}

QByteArray RawClient::formatRefusal(const char*, const QString& message) const
{
    return QStringLiteral("tavloctl serve: %1\n").arg(message).toUtf8();
}

void RawClient::takeToken(const QByteArray& bytes)
{
    // Every command to the matrix begins with '#', no token does: a client that starts with a
    // command has no token to give, and is told so now rather than when its time is up.
    if (!tokenStarted_ && bytes.startsWith('#')) {
        Refuse(ServerError::Unauthorized,
               QStringLiteral("this server needs its token first; closing"));
        return;
    }
    tokenStarted_ = tokenStarted_ || !bytes.isEmpty();
    tokenLine_.append(bytes);
    QByteArray line;
    switch (tokenLine_.takeLine(line)) {
    case LineBuffer::Result::Incomplete:
        return;
    case LineBuffer::Result::TooLong:
        Refuse(ServerError::Unauthorized, QStringLiteral("wrong token; closing"));
        return;
    case LineBuffer::Result::Line:
        break;
    }
    JudgeToken(line.trimmed(), [this, rest = tokenLine_.takeRest()](bool right) {
        if (!right) {
            Refuse(ServerError::Unauthorized, QStringLiteral("wrong token; closing"));
            return;
        }
        MarkAuthorized();
        if (!rest.isEmpty())
            onInput(rest);
    });
}

// A command the client had not finished (its idle gap had not passed) leaves with it, as
// everything else it still had waiting does.
void RawClient::onPeerClosed() { idle_.stop(); }

qsizetype RawClient::inputRoom() const
{
    // One byte past the bound, so that a command too long is seen as one.
    const qsizetype held = Authorized() ? command_.size() : tokenLine_.size();
    return Limits().maxLineBytes + 1 - held;
}

void RawClient::onIdle()
{
    if (!Closing())
        submitCommand();
}

void RawClient::submitCommand()
{
    if (command_.isEmpty())
        return;
    if (std::exchange(firstCommand_, false) && LooksLikeHttpRequest(command_)) {
        command_.clear();
        Refuse(ServerError::Forbidden,
               QStringLiteral("a browser request on the raw endpoint: refused"));
        return;
    }
    WireCommand command;
    command.source = Id();
    command.bytes.swap(command_);
    command.askedAt = lastByte_;
    submit_(*this, std::move(command));
    ResumeInput();
}
