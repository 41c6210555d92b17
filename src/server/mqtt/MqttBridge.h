#pragma once
// The server's MQTT front end. The matrix's state goes to the broker as retained topics below
// PREFIX/ID/, with Home Assistant's discovery beside them, each published when a decoded block
// changes it (only what changed) and all of it again after every connect. Commands come from
// the …/set topics and join every other client's in the one queue to the wire; one that is
// refused is answered on PREFIX/ID/error, and nothing goes on the wire.
//
// PREFIX/ID/availability says "online" while the broker connection and the line to the matrix
// are both up, "offline" otherwise; the broker says "offline" for a bridge that vanishes.
//
// I/O thread only; the broker connection runs on a thread of its own (MqttSession).
#include "MqttOptions.h"
#include "MqttSession.h"
#include "MqttStateTopics.h"

#include <QJsonObject>
#include <QObject>
#include <memory>

class MatrixLink;
class WireSender;
struct MatrixAction;

class MqttBridge : public QObject {
    Q_OBJECT
public:
    MqttBridge(MqttOptions options, WireSender& sender, const MatrixLink& link,
               QObject* parent = nullptr);
    ~MqttBridge() override; // Shutdown()

    // Connects to the broker, and keeps reconnecting; the serial side never waits for it.
    void Start();
    // The broker hears "offline", then a clean goodbye.
    void Shutdown();
    bool IsConnected() const { return connected_; }

private:
    void onEvent(const MqttSession::Event& event);
    void onConnected();
    void onDown(const MqttSession::Event& event);
    void onMessage(const QByteArray& topic, const QByteArray& payload, bool retained);
    void carryOut(const QByteArray& topic, const QString& command, const QByteArray& payload);
    void submit(const QByteArray& topic, const MatrixAction& action);
    void refuse(const QByteArray& topic, const char* code, const QString& message);
    void publishChanges();
    void publishChanged(const MqttMessages& messages);

    MqttOptions options_;
    WireSender& sender_;
    const MatrixLink& link_;
    const QString base_; // PREFIX/ID/
    std::unique_ptr<MqttSession> session_;
    bool connected_ = false;
    bool shutDown_ = false;
    MqttMessages published_; // full topic → payload, as the broker holds them from us
    QString lastFailure_;    // a failure to connect is logged once until its reason changes
};
