#include "MatrixServer.h"

#include "ApiEndpoint.h"
#include "HttpEndpoint.h"
#include "MatrixLink.h"
#include "MqttBridge.h"
#include "RawEndpoint.h"
#include "ServerLog.h"
#include "WireSender.h"

#include <QCoreApplication>
#include <QTimer>

namespace {

// Clients get this long to take their last words before the server ends regardless.
constexpr int kGoodbyeMs = 3000;

StatePoller::Timings pollerTimings(const ServerOptions& options)
{
    return {options.acquisitionRepeatMs, options.acquisitionDeadlineMs, options.pollMs};
}

TokenGate::Throttle throttleOf(const ServerOptions& options)
{
    using std::chrono::milliseconds;
    TokenGate::Throttle throttle;
    throttle.wrongTries = options.wrongTokens;
    throttle.window = milliseconds(options.wrongTokenWindowMs);
    throttle.slot = milliseconds(options.throttledTryMs);
    return throttle;
}

} // namespace

MatrixServer::MatrixServer(MySerialPortComm& port, ServerOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)), port_(port),
      gate_(options_.token, throttleOf(options_)),
      sender_(std::make_unique<WireSender>(port, options_.maxQueuedPerClient, options_.maxQueued))
{
    quota_.max = options_.maxClients;
    quota_.maxPerAddress = options_.maxClientsPerAddress;
    link_ = new MatrixLink(port_, *sender_, pollerTimings(options_), this);
    raw_ = new RawEndpoint(options_, quota_, gate_, *sender_, *link_, this);
    api_ = new ApiEndpoint(options_, quota_, gate_, *sender_, *link_, this);
    if (options_.http)
        http_ = new HttpEndpoint(options_, quota_, gate_, *sender_, *api_, this);
    connect(link_, &MatrixLink::chunkReceived, raw_, &RawEndpoint::Broadcast);
    connect(link_, &MatrixLink::decoded, api_, &ApiEndpoint::OnDecoded);
    connect(link_, &MatrixLink::linkChanged, this, &MatrixServer::onLinkChanged);
    connect(link_, &MatrixLink::acquired, this,
            [] { ServerLog(QStringLiteral("the matrix's whole state has arrived")); });
    connect(link_, &MatrixLink::acquisitionOverdue, this, [this] {
        ServerLog(QStringLiteral("the matrix has not sent its whole state within %1 s; still "
                                 "serving what has arrived")
                      .arg(options_.acquisitionDeadlineMs / 1000));
    });
    connect(sender_.get(), &WireSender::commandDone, api_, &ApiEndpoint::OnCommandDone);
    if (options_.mqtt)
        mqtt_ = new MqttBridge(*options_.mqtt, *sender_, *link_, this);
}

MatrixServer::~MatrixServer()
{
    // Ended without Shutdown(): nothing is told any more, the line is simply let go.
    link_->disconnect(this);
    sender_->Finish();
    link_->Close();
}

bool MatrixServer::Start(QString* error)
{
    if (!raw_->Listen(options_.rawAddress, options_.rawPort, error) ||
        !api_->Listen(options_.apiAddress, options_.apiPort, error) ||
        (http_ && !http_->Listen(options_.httpAddress, options_.httpPort, error))) {
        stopListening();
        return false;
    }
    sender_->Start();
    if (!link_->Open(options_.portName)) {
        if (error)
            *error = link_->DownReason();
        stopListening();
        return false;
    }
    if (mqtt_)
        mqtt_->Start();
    ServerLog(QStringLiteral("serving %1: raw on %2:%3, JSON on %4:%5%6")
                  .arg(options_.portName, options_.rawAddress.toString())
                  .arg(raw_->Port())
                  .arg(options_.apiAddress.toString())
                  .arg(api_->Port())
                  .arg(QString(gate_.Required() ? QStringLiteral(", token required") : QString()) +
                       (options_.tls ? QStringLiteral(", TLS") : QString())));
    if (http_)
        ServerLog(QStringLiteral("the page on %1://%2:%3/")
                      .arg(options_.tls ? QStringLiteral("https") : QStringLiteral("http"),
                           options_.httpAddress.toString())
                      .arg(http_->Port()));
    return true;
}

void MatrixServer::Shutdown()
{
    if (shuttingDown_)
        return;
    shuttingDown_ = true;
    ServerLog(QStringLiteral("ending: last command to the wire, then closing"));
    stopListening();
    sender_->Finish();
    // The command that was in its pause has left; its report is still in the event queue.
    QCoreApplication::sendPostedEvents(api_, QEvent::MetaCall);
    link_->Close();
    api_->Shutdown();
    if (http_)
        http_->Shutdown();
    if (mqtt_)
        mqtt_->Shutdown();
    raw_->CloseAll();
    finishWhenClientsGone();
}

void MatrixServer::SetToken(QByteArray token) { gate_.SetToken(std::move(token)); }

quint16 MatrixServer::RawPort() const { return raw_->Port(); }

quint16 MatrixServer::ApiPort() const { return api_->Port(); }

quint16 MatrixServer::HttpPort() const { return http_ ? http_->Port() : 0; }

void MatrixServer::stopListening()
{
    raw_->StopListening();
    api_->StopListening();
    if (http_)
        http_->StopListening();
}

void MatrixServer::onLinkChanged(bool up)
{
    if (up)
        ServerLog(QStringLiteral("the line to the matrix is up; asking for its whole state"));
    if (!up && !shuttingDown_) {
        ServerLog(QStringLiteral("the line to the matrix is down: %1; serving the last state, "
                                 "marked stale")
                      .arg(link_->DownReason()));
        sender_->DropAll(); // the requests they belong to are answered by the endpoint below
    }
    api_->OnLinkChanged(up);
}

void MatrixServer::finishWhenClientsGone()
{
    auto* deadline = new QTimer(this);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, this, &MatrixServer::finished);
    deadline->start(kGoodbyeMs);
    auto check = [this, deadline] {
        const int web = http_ ? http_->ClientCount() : 0;
        if (raw_->ClientCount() == 0 && api_->ClientCount() == 0 && web == 0 &&
            deadline->isActive()) {
            deadline->stop();
            emit finished();
        }
    };
    connect(raw_, &Endpoint::clientGone, this, check, Qt::QueuedConnection);
    connect(api_, &Endpoint::clientGone, this, check, Qt::QueuedConnection);
    if (http_)
        connect(http_, &Endpoint::clientGone, this, check, Qt::QueuedConnection);
    QMetaObject::invokeMethod(this, check, Qt::QueuedConnection);
}
