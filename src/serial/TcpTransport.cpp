#include "TcpTransport.h"

#include "TlsVerdict.h"

#include <QDeadlineTimer>

#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>
#include <QUrl>

#ifdef Q_OS_LINUX
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#endif

namespace {
// A peer that vanishes without closing (power cut, cable pulled) sends nothing more; probing an
// idle connection finds it in under half a minute instead of the system's two hours.
void WatchForDeadPeer(QTcpSocket& socket)
{
    socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
#ifdef Q_OS_LINUX
    const int fd = static_cast<int>(socket.socketDescriptor());
    const int idleSeconds = 10;
    const int intervalSeconds = 5;
    const int probes = 3;
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds, sizeof intervalSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
#endif
}
} // namespace

TcpTransport::TcpTransport(const QString& portName, RemoteAccess access)
    : name_(portName), access_(std::move(access))
{
    const QUrl url(portName, QUrl::StrictMode);
    const int port = url.port();
    if (url.isValid() && !url.host().isEmpty() && url.path().isEmpty() && port > 0) {
        host_ = url.host();
        port_ = static_cast<quint16>(port);
    }
    tls_ = url.scheme().compare(QLatin1String("tls"), Qt::CaseInsensitive) == 0;
    const QString hostText = host_.contains(':') ? '[' + host_ + ']' : host_;
    refusal_ = ServerRefusal(QStringLiteral("%1:%2").arg(hostText).arg(port_));
}

TcpTransport::~TcpTransport() { close(); }

bool TcpTransport::open(int)
{
    if (!makeSocket())
        return false;
    QDeadlineTimer deadline(kConnectTimeoutMs);
    startConnecting();
    if (!socket_->waitForConnected(static_cast<int>(deadline.remainingTime())))
        return failConnect(socket_->error());
    auto* tls = qobject_cast<QSslSocket*>(socket_);
    if (tls && !tls->waitForEncrypted(static_cast<int>(deadline.remainingTime())))
        return failConnect(socket_->error());
    attach();
    return true;
}

// Asynchronous, unlike open(): the port thread stays free meanwhile, so that the owner can
// stop waiting at once.
void TcpTransport::reopen(int)
{
    if (!makeSocket()) {
        emit reopenFailed(failure());
        return;
    }
    // Connected first: some failures are reported from within connectToHost itself.
    if (auto* tls = qobject_cast<QSslSocket*>(socket_))
        connect(tls, &QSslSocket::encrypted, this, &TcpTransport::onReopenConnected);
    else
        connect(socket_, &QTcpSocket::connected, this, &TcpTransport::onReopenConnected);
    connect(socket_, &QTcpSocket::errorOccurred, this, &TcpTransport::onReopenFailed);
    connectBound_->start();
    startConnecting();
}

void TcpTransport::startConnecting()
{
    if (auto* tls = qobject_cast<QSslSocket*>(socket_))
        tls->connectToHostEncrypted(host_, port_);
    else
        socket_->connectToHost(host_, port_);
}

bool TcpTransport::makeSocket()
{
    close();
    if (port_ == 0)
        return fail(PortOpenError::Other,
                    tls_ ? QStringLiteral("not an address of the form tls://HOST:PORT")
                         : QStringLiteral("not an address of the form socket://HOST:PORT"));
    if (!connectBound_) {
        connectBound_ = new QTimer(this);
        connectBound_->setSingleShot(true);
        connectBound_->setInterval(kConnectTimeoutMs);
        connectBound_->callOnTimeout(
            this, [this] { onReopenFailed(QAbstractSocket::SocketTimeoutError); });
    }
    if (!tls_) {
        socket_ = new QTcpSocket(this);
        return true;
    }
    if (!QSslSocket::supportsSsl())
        return fail(PortOpenError::Other, QStringLiteral("this system offers no TLS"));
    if (!access_.caFile.isEmpty() && trusted_.isEmpty()) {
        QString error;
        trusted_ = ReadCertificates(access_.caFile, &error);
        if (trusted_.isEmpty())
            return fail(PortOpenError::Other, error);
    }
    auto* socket = new QSslSocket(this);
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!trusted_.isEmpty())
        configuration.setCaCertificates(trusted_);
    socket->setSslConfiguration(configuration);
    socket_ = socket;
    return true;
}

bool TcpTransport::failConnect(QAbstractSocket::SocketError error)
{
    const QString detail = socket_ ? socket_->errorString() : QString();
    const auto* tls = qobject_cast<QSslSocket*>(socket_);
    const QString untrusted = tls ? TlsVerdict(tls->sslHandshakeErrors(), host_) : QString();
    close();
    if (!untrusted.isEmpty())
        return fail(PortOpenError::Untrusted, untrusted);
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return fail(PortOpenError::ConnectionRefused, QStringLiteral("connection refused"));
    case QAbstractSocket::SocketTimeoutError:
        return fail(PortOpenError::TimedOut,
                    QStringLiteral("no answer within %1 s").arg(kConnectTimeoutMs / 1000));
    case QAbstractSocket::HostNotFoundError:
        return fail(PortOpenError::Missing, QStringLiteral("host %1 not found").arg(host_));
    default:
        return fail(PortOpenError::Other, detail);
    }
}

void TcpTransport::onReopenConnected()
{
    connectBound_->stop();
    socket_->disconnect(this);
    attach();
    emit reopened();
}

void TcpTransport::onReopenFailed(QAbstractSocket::SocketError error)
{
    failConnect(error);
    emit reopenFailed(failure());
}

void TcpTransport::attach()
{
    // Commands are a few bytes each, separated by pauses: each must leave when written, not
    // wait for the acknowledgement of the one before.
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    WatchForDeadPeer(*socket_);
    refusal_ = ServerRefusal(refusal_.ServerName());
    lostReported_ = false;
    if (!access_.token.isEmpty())
        socket_->write(access_.token + '\n');
    connect(socket_, &QTcpSocket::disconnected, this, [this] {
        if (!reportRefusal())
            reportLost(QStringLiteral("the connection to %1 was closed").arg(name_));
    });
    connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // A bounded wait for output to leave that ran out says nothing about the connection.
        if (error == QAbstractSocket::SocketTimeoutError)
            return;
        if (reportRefusal())
            return;
        if (error == QAbstractSocket::RemoteHostClosedError)
            reportLost(
                QStringLiteral("the connection to %1 was closed by the other side").arg(name_));
        else
            reportLost(QStringLiteral("the connection to %1 failed: %2")
                           .arg(name_, socket_->errorString()));
    });
    succeed();
}

// A refusal ends with the server's close; whichever is seen first reports it.
bool TcpTransport::reportRefusal()
{
    if (socket_->bytesAvailable() > 0)
        takeReceived();
    refusal_.AtEnd();
    if (!refusal_.Refusal())
        return false;
    if (!lostReported_) {
        fail(refusal_.Refusal()->error, refusal_.Refusal()->text);
        reportLost(refusal_.Refusal()->text);
    }
    return true;
}

QByteArray TcpTransport::takeReceived()
{
    if (!socket_)
        return {};
    const QByteArray passed = refusal_.Pass(socket_->readAll());
    if (refusal_.Refusal() && !lostReported_) {
        fail(refusal_.Refusal()->error, refusal_.Refusal()->text);
        reportLost(refusal_.Refusal()->text);
    }
    return passed;
}

void TcpTransport::reportLost(const QString& reason)
{
    lostReported_ = true;
    socket_->disconnect(this);
    emit lost(reason);
}

bool TcpTransport::configure(int) { return socket_ != nullptr; }

void TcpTransport::close()
{
    if (connectBound_)
        connectBound_->stop();
    if (!socket_)
        return;
    socket_->disconnect(this);
    // abort(), not close(): unsent output is discarded, as a closing serial port does.
    socket_->abort();
    // Possibly inside one of the socket's own signals: it may only go once that has returned.
    socket_->deleteLater();
    socket_ = nullptr;
}

QIODevice* TcpTransport::device() const { return socket_; }

// Unsent and unacknowledged bytes in the kernel's send queue: once it is empty the peer has
// what was written.
qint64 TcpTransport::queuedInSystem() const
{
#ifdef Q_OS_LINUX
    int queued = 0;
    if (socket_ && ::ioctl(static_cast<int>(socket_->socketDescriptor()), SIOCOUTQ, &queued) == 0)
        return queued;
#endif
    return -1;
}
