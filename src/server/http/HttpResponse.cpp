#include "HttpResponse.h"

#include "ApiPeer.h"

#include <QJsonDocument>
#include <map>

const char* HttpReason(int status)
{
    static const std::map<int, const char*> reasons = {
        {101, "Switching Protocols"},
        {200, "OK"},
        {204, "No Content"},
        {304, "Not Modified"},
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {408, "Request Timeout"},
        {411, "Length Required"},
        {413, "Content Too Large"},
        {415, "Unsupported Media Type"},
        {429, "Too Many Requests"},
        {431, "Request Header Fields Too Large"},
        {500, "Internal Server Error"},
        {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
        {505, "HTTP Version Not Supported"},
    };
    const auto it = reasons.find(status);
    return it == reasons.end() ? "Error" : it->second;
}

HttpResponse HttpResponse::Json(int status, const QJsonObject& object)
{
    HttpResponse response;
    response.status = status;
    response.contentType = "application/json";
    response.body = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    response.with("Cache-Control", "no-store");
    return response;
}

HttpResponse HttpResponse::Error(int status, const char* code, const QString& message)
{
    QJsonObject failure = ApiPeer::FailureObject(QJsonValue::Null, code, message);
    failure.remove("id");
    return Json(status, failure);
}

HttpResponse HttpResponse::Empty(int status)
{
    HttpResponse response;
    response.status = status;
    response.with("Cache-Control", "no-store");
    return response;
}

HttpResponse& HttpResponse::with(const QByteArray& name, const QByteArray& value)
{
    headers.emplace_back(name, value);
    return *this;
}

QByteArray HttpResponse::bytes(bool keepAlive, bool withBody) const
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + HttpReason(status) + "\r\n";
    if (!contentType.isEmpty())
        out += "Content-Type: " + contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    out += "X-Content-Type-Options: nosniff\r\n"
           "X-Frame-Options: DENY\r\n"
           "Referrer-Policy: no-referrer\r\n";
    for (const auto& [name, value] : headers)
        out += name + ": " + value + "\r\n";
    out += "\r\n";
    if (withBody)
        out += body;
    return out;
}
