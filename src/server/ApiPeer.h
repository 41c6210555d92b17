#pragma once
// Whoever sent a request to the JSON dispatch and takes its answer: a client of the JSON
// endpoint, a WebSocket of the page, an HTTP request. The dispatch knows nothing else of it.
//
// I/O thread only.
#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <cstdint>
#include <optional>

class QObject;

class ApiPeer {
public:
    virtual ~ApiPeer() = default;

    // Lives as long as the peer: an answer that comes after it is gone is dropped.
    virtual QObject* Lifetime() = 0;
    // The source its commands carry in the queue, where sources take turns.
    virtual uint64_t SourceId() const = 0;
    virtual void Reply(const QJsonValue& id, const QJsonObject& fields = {}) = 0;
    virtual void Fail(const QJsonValue& id, const char* code, const QString& message) = 0;
    // An event, as one line of compact JSON ending in "\n".
    virtual void SendLine(const QByteArray& line) = 0;

    bool Subscribed() const { return subscribed_; }
    void SetSubscribed(bool on) { subscribed_ = on; }

    // The reply and the error reply as every front end words them.
    static QJsonObject ReplyObject(const QJsonValue& id, const QJsonObject& fields = {});
    static QJsonObject FailureObject(const QJsonValue& id, const char* code,
                                     const QString& message);

private:
    bool subscribed_ = false;
};

// One request as a line or a WebSocket message carries it: a JSON object with an "id" and a
// "cmd" (a string). When it is not one, errorCode and error say why and id is what could be
// read of it (null when nothing could).
struct ApiRequestText {
    QJsonValue id;
    QJsonObject request;
    const char* errorCode = nullptr;
    QString error;
    bool object = false; // it was a JSON object at least (with a key named twice, perhaps)
};
ApiRequestText ReadApiRequest(const QByteArray& text);
// A JSON object, or nothing and why not, in the words of the bad_json error.
std::optional<QJsonObject> ReadJsonObject(const QByteArray& text, QString* why);
