#pragma once
// A client of the JSON endpoint: one request per line, one reply per request, events when
// subscribed. Lines are read a few at a time, so a client that sends thousands at once
// takes its turn with the others instead of holding the event loop.
//
// With a token, the first request must be "auth" with the right token; anything else closes
// the connection with an "unauthorized" error. Whatever the token, a first line that is not a
// JSON object, or any line that is an HTTP request line or header, closes the connection: it
// is a browser's request, sent by a page of some site, whose body must not be run.
//
// I/O thread only.
#include "ApiPeer.h"
#include "ClientConnection.h"
#include "LineBuffer.h"

#include <QJsonObject>
#include <QJsonValue>
#include <functional>

class ApiClient : public ClientConnection, public ApiPeer {
    Q_OBJECT
public:
    // A well-formed request: an object with "id" and "cmd" (a string).
    using Handler =
        std::function<void(ApiClient& client, const QJsonValue& id, const QJsonObject& request)>;

    ApiClient(QTcpSocket* socket, const ClientLimits& limits, Handler handler,
              QObject* parent = nullptr);

    QObject* Lifetime() override { return this; }
    uint64_t SourceId() const override { return Id(); }
    void Reply(const QJsonValue& id, const QJsonObject& fields = {}) override;
    void Fail(const QJsonValue& id, const char* code, const QString& message) override;
    void SendLine(const QByteArray& line) override { Send(line); }
    // Fails the request and closes the connection once the reply has gone out.
    void FailAndClose(const QJsonValue& id, const char* code, const QString& message);

    // One line of compact JSON.
    static QByteArray Line(const QJsonObject& object);

protected:
    void onInput(const QByteArray& bytes) override;
    QByteArray formatRefusal(const char* code, const QString& message) const override;
    qsizetype inputRoom() const override;
    void onJudged() override;

private:
    void readLines();
    void handleLine(const QByteArray& line);
    void authorize(const QJsonValue& id, const QJsonObject& request);

    Handler handler_;
    LineBuffer lines_;
    bool readScheduled_ = false;
    bool firstLine_ = true;
};
