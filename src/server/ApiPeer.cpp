#include "ApiPeer.h"

#include "JsonDuplicateKeys.h"
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

namespace {

// The object, or nothing and why not; *object tells whether the text was an object at all.
std::optional<QJsonObject> readObject(const QByteArray& text, QString* why, bool* object)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    *object = error.error == QJsonParseError::NoError && document.isObject();
    if (*object) {
        if (const std::optional<QString> twice = FirstDuplicateKey(text)) {
            *why = QStringLiteral("the key \"%1\" is given twice").arg(*twice);
            return std::nullopt;
        }
        return document.object();
    }
    *why =
        error.error != QJsonParseError::NoError
            ? QStringLiteral("not JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset)
            : QStringLiteral("a request is a JSON object");
    return std::nullopt;
}

} // namespace

std::optional<QJsonObject> ReadJsonObject(const QByteArray& text, QString* why)
{
    bool object = false;
    return readObject(text, why, &object);
}

ApiRequestText ReadApiRequest(const QByteArray& text)
{
    ApiRequestText read;
    const std::optional<QJsonObject> object = readObject(text, &read.error, &read.object);
    if (!object) {
        read.errorCode = ServerError::BadJson;
        // Its id, unless the id is what was given twice.
        if (read.object && FirstDuplicateKey(text) != QStringLiteral("id"))
            read.id = QJsonDocument::fromJson(text).object().value("id");
        if (read.id.isUndefined())
            read.id = QJsonValue::Null;
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
