#pragma once
// The bridge's one connection to the broker, kept up by a network thread of its own. What can
// block in the client library (the name lookup, the connect, the TLS handshake) happens there,
// so the server's event loop never waits for the broker. After a failure or a loss the thread
// tries again, each time later (twice as late, jittered so many bridges do not return in step)
// up to a bound.
//
// The session is clean: the broker keeps nothing for the bridge while it is away, so nothing
// it delivered before a reconnect is delivered again after it.
//
// Threads: construction, Start, Stop and destruction on the owner's thread; Publish from any
// thread. Events reach the sink on the network thread, and none once Stop has begun.
#include "MqttOptions.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class MqttSession {
public:
    struct Event {
        enum class Kind { Connected, ConnectFailed, Lost, Message };
        explicit Event(Kind what = Kind::Connected) : kind(what) {}
        Kind kind;
        QString reason;   // ConnectFailed, Lost
        int retryMs = 0;  // ConnectFailed, Lost: the wait before the next attempt
        QByteArray topic; // Message
        QByteArray payload;
        bool retained = false; // Message: held by the broker, not published just now
    };
    using Sink = std::function<void(Event)>;

    // The will is published by the broker, retained, should the bridge vanish unannounced.
    MqttSession(const MqttOptions& options, const QByteArray& willTopic,
                const QByteArray& willPayload, Sink sink);
    ~MqttSession(); // Stop()
    MqttSession(const MqttSession&) = delete;
    MqttSession& operator=(const MqttSession&) = delete;

    // Connects, subscribes to the filters (QoS 1) on every connect, and keeps at it.
    void Start(std::vector<QByteArray> subscriptions);
    // QoS 1. False when the library refused it (not connected, say).
    bool Publish(const QByteArray& topic, const QByteArray& payload, bool retain);
    // What was published before goes out, then the connection is closed cleanly. Waits a
    // moment for the network thread; one stuck in a connect is left to end on its own.
    void Stop();

    struct Shared; // the network thread's state, which may outlive this object

private:
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};
