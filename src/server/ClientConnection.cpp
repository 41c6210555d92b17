#include "ClientConnection.h"

#include "ServerErrors.h"
#include "TokenGate.h"

#include <QTcpSocket>
#include <algorithm>
#include <atomic>

namespace {

// A refused client gets this long to read its last words before the line is cut.
constexpr int kLastWordsMs = 2000;
constexpr int kSystemSendBuffer = 256 * 1024;
// What the socket reads ahead of the endpoint; past it, reading stops and TCP holds the client.
constexpr qint64 kReadAhead = 64 * 1024;

uint64_t nextId()
{
    static std::atomic<uint64_t> last{0};
    return ++last;
}

} // namespace

bool SameSecret(const QByteArray& given, const QByteArray& secret)
{
    unsigned difference = given.size() == secret.size() ? 0u : 1u;
    for (qsizetype i = 0; i < given.size(); ++i)
        difference |= static_cast<unsigned char>(given[i]) ^
                      static_cast<unsigned char>(secret.isEmpty() ? 0 : secret[i % secret.size()]);
    return difference == 0;
}

ClientConnection::ClientConnection(QTcpSocket* socket, const ClientLimits& limits, QObject* parent)
    : QObject(parent), socket_(socket), limits_(limits), id_(nextId())
{
    socket_->setParent(this);
    // A fixed send buffer: left to grow, the system would hold megabytes for a client that
    // has stopped reading before anything here could notice.
    socket_->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSystemSendBuffer);
    socket_->setReadBufferSize(kReadAhead);
    deadline_.setSingleShot(true);
    connect(socket_, &QTcpSocket::disconnected, this, [this] {
        // What came just before the close still counts.
        if (socket_->bytesAvailable() > 0)
            onReadyRead();
        finish(why_);
    });
    // A client that has only closed its sending side is still closing: the answers already
    // queued for it go out first, and disconnected follows.
    connect(socket_, &QTcpSocket::errorOccurred, this, [this] {
        if (socket_->state() == QAbstractSocket::UnconnectedState)
            finish(why_);
    });
}

ClientConnection::~ClientConnection() = default;

void ClientConnection::Begin()
{
    connect(socket_, &QTcpSocket::readyRead, this, &ClientConnection::onReadyRead);
    if (!TokenRequired()) {
        authorized_ = true;
    } else {
        connect(&deadline_, &QTimer::timeout, this, [this] {
            Refuse(ServerError::Unauthorized,
                   judging_ ? QStringLiteral("too many wrong tokens from %1; try again later")
                                  .arg(socket_->peerAddress().toString())
                            : QStringLiteral("no token within %1 s; closing")
                                  .arg(limits_.handshakeMs / 1000));
        });
        deadline_.start(limits_.handshakeMs);
    }
    if (socket_->bytesAvailable() > 0)
        onReadyRead();
}

QString ClientConnection::PeerText() const
{
    return QStringLiteral("%1:%2").arg(socket_->peerAddress().toString()).arg(socket_->peerPort());
}

void ClientConnection::Send(const QByteArray& bytes)
{
    if (closing_ || finished_)
        return;
    socket_->write(bytes);
    // Handed to the system at once, not at the next pass of the event loop: a client that has
    // closed its sending side is let go at that pass, with whatever was still unsent.
    socket_->flush();
    CheckOutput();
}

void ClientConnection::CheckOutput()
{
    if (closing_ || finished_ || socket_->bytesToWrite() <= limits_.maxOutput)
        return;
    // It has stopped reading: waiting for it would hold its share of memory for ever, and
    // telling it would only add to what it does not read.
    closing_ = true;
    cutOff_ = true;
    why_ = QStringLiteral("dropped: more than %1 bytes unread").arg(limits_.maxOutput);
    socket_->abort();
    finish(why_);
}

void ClientConnection::Refuse(const char* code, const QString& message)
{
    if (closing_ || finished_)
        return;
    why_ = QStringLiteral("refused: %1").arg(message);
    cutOff_ = true;
    socket_->write(formatRefusal(code, message));
    Close();
}

void ClientConnection::Close()
{
    if (closing_ || finished_)
        return;
    closing_ = true;
    if (!cutOff_)
        why_ = QStringLiteral("closed by the server");
    deadline_.disconnect(this);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        socket_->abort();
        finish(why_);
    });
    deadline_.start(kLastWordsMs);
    socket_->disconnectFromHost();
}

bool ClientConnection::TokenRequired() const { return limits_.gate->Required(); }

void ClientConnection::JudgeToken(const QByteArray& given, std::function<void(bool)> judged)
{
    const QString address = socket_->peerAddress().toString();
    const TokenGate::Clock::duration wait = limits_.gate->Wait(address);
    if (wait <= TokenGate::Clock::duration::zero()) {
        judged(limits_.gate->Judge(address, given));
        return;
    }
    judging_ = true;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait);
    QTimer::singleShot(ms, Qt::PreciseTimer, this, [this, address, given, judged] {
        judging_ = false;
        if (closing_ || finished_)
            return;
        judged(limits_.gate->Judge(address, given));
        if (closing_ || finished_)
            return;
        onJudged();
        ResumeInput();
    });
}

void ClientConnection::MarkAuthorized()
{
    authorized_ = true;
    deadline_.stop();
}

void ClientConnection::ResumeInput()
{
    if (socket_->bytesAvailable() > 0)
        readSoon();
}

void ClientConnection::readSoon()
{
    if (readScheduled_ || finished_ || handedOver_)
        return;
    readScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        readScheduled_ = false;
        if (!finished_)
            onReadyRead();
    });
}

void ClientConnection::onReadyRead()
{
    if (handedOver_)
        return;
    if (closing_) {
        socket_->readAll(); // ignored, but read, so that the close is seen
        return;
    }
    if (judging_)
        return; // TCP holds the rest back until the try is judged
    const qint64 room = std::min<qint64>(inputRoom(), socket_->bytesAvailable());
    if (room <= 0)
        return;
    onInput(socket_->read(room));
    // One read per pass: a client with much to say takes turns with the others.
    if (!closing_ && socket_->bytesAvailable() > 0 && inputRoom() > 0)
        readSoon();
}

void ClientConnection::finish(const QString& why)
{
    if (finished_)
        return;
    const bool byPeer = !closing_;
    finished_ = true;
    closing_ = true;
    deadline_.stop();
    if (byPeer)
        onPeerClosed();
    emit gone(this, why);
    deleteLater();
}
