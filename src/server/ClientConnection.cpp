#include "ClientConnection.h"

#include "ServerErrors.h"

#include <QTcpSocket>
#include <atomic>

namespace {

// A refused client gets this long to read its last words before the line is cut.
constexpr int kLastWordsMs = 2000;

uint64_t nextId()
{
    static std::atomic<uint64_t> last{0};
    return ++last;
}

// Takes as long for a wrong token as for a right one, whatever its length.
bool sameBytes(const QByteArray& a, const QByteArray& b)
{
    unsigned difference = a.size() == b.size() ? 0u : 1u;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i]) ^
                      static_cast<unsigned char>(b.isEmpty() ? 0 : b[i % b.size()]);
    return difference == 0;
}

} // namespace

ClientConnection::ClientConnection(QTcpSocket* socket, const ClientLimits& limits, QObject* parent)
    : QObject(parent), socket_(socket), limits_(limits), id_(nextId())
{
    socket_->setParent(this);
    deadline_.setSingleShot(true);
    connect(socket_, &QTcpSocket::disconnected, this, [this] {
        // What came just before the close still counts.
        if (socket_->bytesAvailable() > 0)
            onReadyRead();
        finish(why_);
    });
    connect(socket_, &QTcpSocket::errorOccurred, this, [this] {
        if (socket_->state() != QAbstractSocket::ConnectedState)
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
                   QStringLiteral("no token within %1 s; closing").arg(limits_.handshakeMs / 1000));
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
    if (socket_->bytesToWrite() <= limits_.maxOutput)
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
    deadline_.disconnect(this);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        socket_->abort();
        finish(why_);
    });
    deadline_.start(kLastWordsMs);
    socket_->disconnectFromHost();
}

bool ClientConnection::TokenMatches(const QByteArray& given) const
{
    return sameBytes(given, limits_.token);
}

void ClientConnection::MarkAuthorized()
{
    authorized_ = true;
    deadline_.stop();
}

void ClientConnection::onReadyRead()
{
    const QByteArray bytes = socket_->readAll();
    if (!closing_ && !bytes.isEmpty())
        onInput(bytes);
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
