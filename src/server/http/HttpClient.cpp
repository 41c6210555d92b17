#include "HttpClient.h"

#include "ServerErrors.h"

#include <QJsonDocument>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>
#include <cstring>
#include <map>

namespace {

// A connection has this long, while it has nothing in hand, to bring its next whole request.
constexpr int kRequestMs = 30000;

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject withoutId(QJsonObject object)
{
    object.remove("id");
    return object;
}

} // namespace

HttpClient::HttpClient(QTcpSocket* socket, const ClientLimits& limits,
                       HttpRequestReader::Limits http, RequestHandler onRequest, QObject* parent)
    : ClientConnection(socket, limits, parent), tcp_(socket), reader_(http),
      onRequest_(std::move(onRequest))
{
    // What the first request brings is kept readable, so that a WebSocket handshake can be
    // handed on whole.
    tcp_->startTransaction();
    // Everything read in that transaction stays in the socket until it ends: room for one whole
    // request, or the socket would stop reading before the request is complete.
    tcp_->setReadBufferSize(reader_.wholeRequestBytes() + 1);
    idle_.setSingleShot(true);
    connect(&idle_, &QTimer::timeout, this, &HttpClient::onIdle);
    idle_.start(kRequestMs);
}

// The WebSocket reads through the TCP socket, which goes with the base.
HttpClient::~HttpClient() { delete webSocket_; }

int HttpClient::StatusFor(const char* code)
{
    static const std::map<std::string, int> statuses = {
        {ServerError::BadJson, 400},        {ServerError::BadRequest, 400},
        {ServerError::UnknownCommand, 404}, {ServerError::Unauthorized, 401},
        {ServerError::Forbidden, 403},      {ServerError::TooLarge, 413},
        {ServerError::LineTooLong, 413},    {ServerError::TooManyClients, 503},
        {ServerError::QueueFull, 429},      {ServerError::LinkDown, 503},
        {ServerError::Timeout, 504},        {ServerError::ShuttingDown, 503},
    };
    const auto it = statuses.find(code);
    // Every other code is a refused value.
    return it == statuses.end() ? 400 : it->second;
}

void HttpClient::Respond(const HttpResponse& response)
{
    if (!busy_)
        return;
    busy_ = false;
    // A client refused for want of the token gets no second try on the same connection: its
    // tries would cost nothing while it held a slot.
    if (response.status == 401)
        keepAlive_ = false;
    Send(response.bytes(keepAlive_, withBody_));
    if (!keepAlive_) {
        Close();
        return;
    }
    idle_.start(kRequestMs);
    // Not from inside the answer: the next request is taken on the next pass.
    QTimer::singleShot(0, this, &HttpClient::readNext);
    ResumeInput();
}

bool HttpClient::Upgrade(MessageHandler onMessage)
{
    if (!busy_ || !tcp_->isTransactionStarted() || reader_.buffered() > 0)
        return false;
    busy_ = false;
    // The handshake has the time a request has; Qt's own has no end.
    idle_.start(kRequestMs);
    onMessage_ = std::move(onMessage);
    StopReading();
    tcp_->rollbackTransaction();
    upgrader_ = new QWebSocketServer(QStringLiteral("tavloctl serve"),
                                     QWebSocketServer::NonSecureMode, this);
    connect(upgrader_, &QWebSocketServer::newConnection, this, &HttpClient::onUpgraded);
    upgrader_->handleConnection(tcp_);
    // The handshake is already there to read: nothing new will announce it.
    emit tcp_->readyRead();
    return true;
}

void HttpClient::CloseWebSocket(const QString& reason)
{
    if (webSocket_)
        webSocket_->close(QWebSocketProtocol::CloseCodeGoingAway, reason);
    Close();
}

void HttpClient::Reply(const QJsonValue& id, const QJsonObject& fields)
{
    if (webSocket_)
        sendMessage(ReplyObject(id, fields));
    else
        Respond(HttpResponse::Json(200, withoutId(ReplyObject(id, fields))));
}

void HttpClient::Fail(const QJsonValue& id, const char* code, const QString& message)
{
    if (webSocket_)
        sendMessage(FailureObject(id, code, message));
    else
        Respond(HttpResponse::Error(StatusFor(code), code, message));
}

void HttpClient::SendLine(const QByteArray& line)
{
    if (!webSocket_ || Closing())
        return;
    webSocket_->sendTextMessage(QString::fromUtf8(line.endsWith('\n') ? line.chopped(1) : line));
    CheckOutput();
}

void HttpClient::onInput(const QByteArray& bytes)
{
    reader_.append(bytes);
    readNext();
}

QByteArray HttpClient::formatRefusal(const char* code, const QString& message) const
{
    return HttpResponse::Error(StatusFor(code), code, message).bytes(false);
}

qsizetype HttpClient::inputRoom() const
{
    if (busy_ || upgrader_ || webSocket_)
        return 0;
    return reader_.wholeRequestBytes() - reader_.buffered();
}

void HttpClient::readNext()
{
    if (busy_ || Closing() || webSocket_ || upgrader_)
        return;
    HttpRequest request;
    HttpRequestReader::Error error;
    switch (reader_.next(request, error)) {
    case HttpRequestReader::Result::Incomplete:
        return;
    case HttpRequestReader::Result::Error: {
        // The stream cannot be followed past a request it could not read.
        busy_ = true;
        keepAlive_ = false;
        withBody_ = true;
        const char* code = error.status == 413 || error.status == 431 ? ServerError::TooLarge
                                                                      : ServerError::BadRequest;
        Respond(HttpResponse::Error(error.status, code, error.message));
        return;
    }
    case HttpRequestReader::Result::Request:
        take(request);
        return;
    }
}

void HttpClient::take(const HttpRequest& request)
{
    busy_ = true;
    idle_.stop();
    keepAlive_ = request.keepAlive();
    withBody_ = request.method != "HEAD";
    const bool first = firstRequest_;
    firstRequest_ = false;
    onRequest_(*this, request);
    // Unless it became a WebSocket's handshake, what the first request brought is read; with
    // its token still to be judged, it may yet become one.
    if (first && !upgrader_ && !Judging() && tcp_->isTransactionStarted())
        tcp_->commitTransaction();
}

void HttpClient::onJudged()
{
    if (!upgrader_ && tcp_->isTransactionStarted())
        tcp_->commitTransaction();
}

void HttpClient::onUpgraded()
{
    webSocket_ = upgrader_->nextPendingConnection();
    if (!webSocket_)
        return;
    idle_.stop();
    webSocket_->setParent(this);
    webSocket_->setMaxAllowedIncomingMessageSize(quint64(Limits().maxLineBytes));
    webSocket_->setMaxAllowedIncomingFrameSize(quint64(Limits().maxLineBytes));
    connect(webSocket_, &QWebSocket::textMessageReceived, this, &HttpClient::onMessage);
    connect(webSocket_, &QWebSocket::binaryMessageReceived, this, [this] {
        Fail(QJsonValue::Null, ServerError::BadJson, QStringLiteral("requests are text messages"));
    });
}

void HttpClient::onMessage(const QString& text)
{
    if (Closing())
        return;
    const ApiRequestText read = ReadApiRequest(text.toUtf8());
    if (read.errorCode)
        Fail(read.id, read.errorCode, read.error);
    else
        onMessage_(*this, read.id, read.request);
}

void HttpClient::sendMessage(const QJsonObject& object) { SendLine(compact(object)); }

void HttpClient::onIdle()
{
    if (upgrader_ && !webSocket_) {
        Close();
        return;
    }
    if (busy_ || webSocket_ || upgrader_)
        return;
    if (reader_.buffered() == 0) {
        Close();
        return;
    }
    busy_ = true;
    keepAlive_ = false;
    Respond(HttpResponse::Error(
        408, ServerError::BadRequest,
        QStringLiteral("the request did not arrive whole within %1 s").arg(kRequestMs / 1000)));
}
