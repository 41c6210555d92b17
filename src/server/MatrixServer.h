#pragma once
// `tavloctl serve`: one owner of the matrix's line, serving it to many clients at once. The
// raw endpoint passes commands and chunks through as a serial line would; the JSON endpoint
// speaks in requests and state documents. Both feed one fair queue on one sender thread.
//
// The server lives on the thread that runs its event loop (the I/O thread); only the sender
// thread and the port's own thread run beside it.
#include "ClientConnection.h"
#include "Endpoint.h"
#include "ServerOptions.h"
#include "TokenGate.h"

#include <QObject>
#include <memory>

class ApiEndpoint;
class HttpEndpoint;
class MatrixLink;
class MqttBridge;
class MySerialPortComm;
class RawEndpoint;
class WireSender;

class MatrixServer : public QObject {
    Q_OBJECT
public:
    MatrixServer(MySerialPortComm& port, ServerOptions options, QObject* parent = nullptr);
    ~MatrixServer() override;

    // Opens the port and listens on both endpoints. False, with the reason, when either fails;
    // nothing is left open then.
    bool Start(QString* error);
    // The end: listeners closed, the command already in its pause goes out and drains,
    // waiting requests are answered, JSON clients are told, the port is closed, every client
    // is closed. finished() follows once the clients have gone (bounded).
    void Shutdown();
    // The token every endpoint asks for from now on. Clients already past the old one stay.
    void SetToken(QByteArray token);

    quint16 RawPort() const;
    quint16 ApiPort() const;
    quint16 HttpPort() const; // 0 without the page
    const MatrixLink& Link() const { return *link_; }

signals:
    void finished();

private:
    void onLinkChanged(bool up);
    void stopListening();
    void finishWhenClientsGone();

    ServerOptions options_;
    MySerialPortComm& port_;
    ClientQuota quota_;
    TokenGate gate_;
    std::unique_ptr<WireSender> sender_;
    MatrixLink* link_;
    RawEndpoint* raw_;
    ApiEndpoint* api_;
    HttpEndpoint* http_ = nullptr;
    MqttBridge* mqtt_ = nullptr;
    bool shuttingDown_ = false;
};
