#pragma once
// A client of the JSON endpoint: one request per line, one reply per request, events when
// subscribed. Lines are read a few at a time, so a client that sends thousands at once
// takes its turn with the others instead of holding the event loop.
//
// With a token, the first request must be "auth" with the right token; anything else closes
// the connection with an "unauthorized" error.
//
// I/O thread only.
#include "ClientConnection.h"
#include "LineBuffer.h"

#include <QJsonObject>
#include <QJsonValue>
#include <functional>

class ApiClient : public ClientConnection {
    Q_OBJECT
public:
    // A well-formed request: an object with "id" and "cmd" (a string).
    using Handler =
        std::function<void(ApiClient& client, const QJsonValue& id, const QJsonObject& request)>;

    ApiClient(QTcpSocket* socket, const ClientLimits& limits, Handler handler,
              QObject* parent = nullptr);

    void Reply(const QJsonValue& id, const QJsonObject& fields = {});
    void Fail(const QJsonValue& id, const char* code, const QString& message);
    void SendLine(const QByteArray& line) { Send(line); }
    // Fails the request and closes the connection once the reply has gone out.
    void FailAndClose(const QJsonValue& id, const char* code, const QString& message);

    bool Subscribed() const { return subscribed_; }
    void SetSubscribed(bool on) { subscribed_ = on; }

    // One line of compact JSON.
    static QByteArray Line(const QJsonObject& object);

protected:
    void onInput(const QByteArray& bytes) override;
    QByteArray formatRefusal(const char* code, const QString& message) const override;

private:
    void readLines();
    void handleLine(const QByteArray& line);
    void authorize(const QJsonValue& id, const QJsonObject& request);

    Handler handler_;
    LineBuffer lines_;
    bool readScheduled_ = false;
    bool subscribed_ = false;
};
