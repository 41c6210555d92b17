#include "ApiClient.h"

#include "BrowserRequest.h"
#include "ServerErrors.h"
#include "StateDocument.h"

#include <QJsonDocument>
#include <QTimer>
#include <utility>

namespace {

// Requests handled before the client yields to the others.
constexpr int kLinesPerTurn = 32;

} // namespace

ApiClient::ApiClient(QTcpSocket* socket, const ClientLimits& limits, Handler handler,
                     QObject* parent)
    : ClientConnection(socket, limits, parent), handler_(std::move(handler)),
      lines_(limits.maxLineBytes)
{
}

QByteArray ApiClient::Line(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

void ApiClient::Reply(const QJsonValue& id, const QJsonObject& fields)
{
    Send(Line(ReplyObject(id, fields)));
}

void ApiClient::Fail(const QJsonValue& id, const char* code, const QString& message)
{
    Send(Line(FailureObject(id, code, message)));
}

void ApiClient::FailAndClose(const QJsonValue& id, const char* code, const QString& message)
{
    Fail(id, code, message);
    Close();
}

void ApiClient::onInput(const QByteArray& bytes)
{
    lines_.append(bytes);
    readLines();
}

QByteArray ApiClient::formatRefusal(const char* code, const QString& message) const
{
    return Line(FailureObject(QJsonValue::Null, code, message));
}

// One line's bound and its end: the lines already here are taken before more is read.
qsizetype ApiClient::inputRoom() const { return Limits().maxLineBytes + 1 - lines_.size(); }

void ApiClient::readLines()
{
    readScheduled_ = false;
    ResumeInput();
    for (int handled = 0; handled < kLinesPerTurn; ++handled) {
        if (Closing() || Judging())
            return;
        QByteArray line;
        switch (lines_.takeLine(line)) {
        case LineBuffer::Result::Incomplete:
            return;
        case LineBuffer::Result::TooLong:
            Refuse(
                ServerError::LineTooLong,
                QStringLiteral("a line of more than %1 bytes; closing").arg(Limits().maxLineBytes));
            return;
        case LineBuffer::Result::Line:
            handleLine(line);
            break;
        }
    }
    if (!readScheduled_ && !lines_.isEmpty()) {
        readScheduled_ = true;
        QTimer::singleShot(0, this, &ApiClient::readLines);
    }
}

void ApiClient::handleLine(const QByteArray& line)
{
    if (line.trimmed().isEmpty())
        return;
    const bool first = std::exchange(firstLine_, false);
    if (LooksLikeHttpRequestLine(line) || LooksLikeHttpHeaderLine(line)) {
        Refuse(ServerError::BadJson, QStringLiteral("a browser request on the JSON endpoint: "
                                                    "refused"));
        return;
    }
    const ApiRequestText read = ReadApiRequest(line);
    if (!read.object && first) {
        FailAndClose(read.id, read.errorCode,
                     read.error + QStringLiteral("; the first line must be a JSON request; "
                                                 "closing"));
        return;
    }
    if (read.errorCode) {
        Fail(read.id, read.errorCode, read.error);
        return;
    }
    const QJsonValue& id = read.id;
    const QJsonObject& request = read.request;
    if (!Authorized() || request.value("cmd").toString() == QLatin1String("auth")) {
        authorize(id, request);
        return;
    }
    handler_(*this, id, request);
}

void ApiClient::authorize(const QJsonValue& id, const QJsonObject& request)
{
    const bool isAuth = request.value("cmd").toString() == QLatin1String("auth");
    if (Authorized() && isAuth) {
        Reply(id, {{"api", kStateApiVersion}});
        return;
    }
    if (!isAuth) {
        FailAndClose(id, ServerError::Unauthorized,
                     QStringLiteral("send {\"id\":…,\"cmd\":\"auth\",\"token\":…} first; closing"));
        return;
    }
    JudgeToken(request.value("token").toString().toUtf8(), [this, id](bool right) {
        if (!right) {
            FailAndClose(id, ServerError::Unauthorized, QStringLiteral("wrong token; closing"));
            return;
        }
        MarkAuthorized();
        Reply(id, {{"api", kStateApiVersion}});
    });
}

// The lines that came behind the token were left waiting for its judgement.
void ApiClient::onJudged()
{
    if (!readScheduled_ && !lines_.isEmpty()) {
        readScheduled_ = true;
        QTimer::singleShot(0, this, &ApiClient::readLines);
    }
}
