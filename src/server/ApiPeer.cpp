#include "ApiPeer.h"

#include "ServerErrors.h"

#include <QJsonDocument>
#include <QJsonParseError>

QJsonObject ApiPeer::ReplyObject(const QJsonValue& id, const QJsonObject& fields)
{
    QJsonObject reply{{"id", id}, {"ok", true}};
    for (auto it = fields.begin(); it != fields.end(); ++it)
        reply.insert(it.key(), it.value());
    return reply;
}

QJsonObject ApiPeer::FailureObject(const QJsonValue& id, const char* code, const QString& message)
{
    return QJsonObject{
        {"id", id}, {"ok", false}, {"error", QJsonObject{{"code", code}, {"message", message}}}};
}

std::optional<QJsonObject> ReadJsonObject(const QByteArray& text, QString* why)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error == QJsonParseError::NoError && document.isObject())
        return document.object();
    *why =
        error.error != QJsonParseError::NoError
            ? QStringLiteral("not JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset)
            : QStringLiteral("a request is a JSON object");
    return std::nullopt;
}

ApiRequestText ReadApiRequest(const QByteArray& text)
{
    ApiRequestText read;
    const std::optional<QJsonObject> object = ReadJsonObject(text, &read.error);
    if (!object) {
        read.errorCode = ServerError::BadJson;
        return read;
    }
    read.request = *object;
    const QJsonValue id = read.request.value("id");
    read.id = id.isUndefined() ? QJsonValue(QJsonValue::Null) : id;
    if (id.isUndefined() || id.isNull() || !read.request.value("cmd").isString()) {
        read.errorCode = ServerError::BadRequest;
        read.error = QStringLiteral("every request needs an \"id\" and a \"cmd\" (a string)");
    }
    return read;
}
