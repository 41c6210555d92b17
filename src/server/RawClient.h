#pragma once
// A client of the raw endpoint: it talks to the matrix as if it held the serial line. Its bytes
// are cut into commands where it paused for the idle gap, as the matrix cuts them; each
// command joins the sender's queue. Everything the matrix sends reaches it unchanged.
//
// With a token, the first line (up to "\n") must be the token; what follows it is the
// client's first command. A first command that is a browser's HTTP request closes the
// connection, and none of it reaches the wire.
//
// I/O thread only.
#include "ClientConnection.h"
#include "LineBuffer.h"
#include "WireCommand.h"

#include <QTimer>
#include <functional>

class RawClient : public ClientConnection {
    Q_OBJECT
public:
    // Hands a complete command to the queue (which may refuse the client).
    using Submit = std::function<void(RawClient&, WireCommand)>;

    RawClient(QTcpSocket* socket, const ClientLimits& limits, int idleGapMs, Submit submit,
              QObject* parent = nullptr);

protected:
    void onInput(const QByteArray& bytes) override;
    QByteArray formatRefusal(const char* code, const QString& message) const override;
    void onPeerClosed() override;
    qsizetype inputRoom() const override;

private:
    void takeToken(const QByteArray& bytes);
    void onIdle();
    void submitCommand();

    Submit submit_;
    LineBuffer tokenLine_;
    QByteArray command_;
    WireCommand::Clock::time_point lastByte_;
    QTimer idle_;
    bool firstCommand_ = true;
};
