#pragma once
// One HTTP answer and its bytes. Every answer carries the headers that keep a browser from
// guessing types, framing the page or keeping what it should not.
#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <utility>
#include <vector>

struct HttpResponse {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    std::vector<std::pair<QByteArray, QByteArray>> headers;

    // A JSON body, never cached.
    static HttpResponse Json(int status, const QJsonObject& object);
    // The JSON API's error reply, without an id: {"ok":false,"error":{"code":…,"message":…}}.
    static HttpResponse Error(int status, const char* code, const QString& message);
    // No body.
    static HttpResponse Empty(int status);

    HttpResponse& with(const QByteArray& name, const QByteArray& value);
    // Status line, headers and (unless the request was HEAD) the body.
    QByteArray bytes(bool keepAlive, bool withBody = true) const;
};

// "Not Found" for 404; "Error" for a status it does not know.
const char* HttpReason(int status);
