#pragma once
// What every client connection of the server shares, whichever endpoint it came in on: the
// token handshake and its deadline, output bounded so that a client who stops reading is
// dropped rather than waited for, input taken only as fast as the endpoint can use it (the
// rest waits in the system, and TCP holds the client back), and a refusal that tells the
// client why before closing.
//
// I/O thread only. The connection deletes itself (later) once its socket has closed; gone()
// is emitted first, once.
#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>

class QTcpSocket;
class TokenGate;

// Whether the token (or another secret) given is the one expected. Takes as long for a wrong
// one as for the right one, whatever its length.
bool SameSecret(const QByteArray& given, const QByteArray& secret);

struct ClientLimits {
    TokenGate* gate = nullptr; // the server's one; its token empty: no handshake
    qint64 maxOutput = 1024 * 1024;
    qsizetype maxLineBytes = 64 * 1024;
    int handshakeMs = 10000;
};

class ClientConnection : public QObject {
    Q_OBJECT
public:
    ClientConnection(QTcpSocket* socket, const ClientLimits& limits, QObject* parent = nullptr);
    ~ClientConnection() override;

    // Call once the connection is accepted: reads start, the handshake deadline runs. A client
    // that is refused at once is never begun.
    void Begin();
    uint64_t Id() const { return id_; }
    bool Authorized() const { return authorized_; }
    bool Closing() const { return closing_; }
    // Dropped or refused by the server, rather than closed by the client.
    bool CutOff() const { return cutOff_; }
    QString PeerText() const;

    // Queues bytes for the client. One who has let more than the bound pile up is dropped.
    void Send(const QByteArray& bytes);
    // Tells the client why, in the endpoint's own form, and closes; input is ignored from now.
    void Refuse(const char* code, const QString& message);
    // Closes after what was queued has gone out (bounded).
    void Close();

signals:
    void gone(ClientConnection* client, const QString& why);

protected:
    // Bytes as they arrived. Until Authorized(), the endpoint's handshake reads them.
    virtual void onInput(const QByteArray& bytes) = 0;
    // The refusal as this endpoint's clients read it.
    virtual QByteArray formatRefusal(const char* code, const QString& message) const = 0;
    // The client closed the connection; its input so far has been through onInput.
    virtual void onPeerClosed() {}
    // How many more bytes onInput takes now. What the endpoint cannot take yet is left unread
    // until it calls ResumeInput(), so no connection holds more than its bound, however fast
    // its client sends.
    virtual qsizetype inputRoom() const = 0;
    // Room has been made: input left waiting is read (on the next pass of the event loop).
    void ResumeInput();

    // Judges a try of the token: at once, unless its address has sent too many wrong ones, then
    // in that address's turn (TokenGate). Meanwhile nothing more is read. `judged` is not called
    // if the connection closes first.
    void JudgeToken(const QByteArray& given, std::function<void(bool right)> judged);
    bool Judging() const { return judging_; }
    // A judgement that had to wait has been given; input is read again after this.
    virtual void onJudged() {}
    // The socket is read by another from now on (a WebSocket); this connection only watches it
    // close, and Send() must no longer be used.
    void StopReading() { handedOver_ = true; }
    // Drops the client once more than the bound waits unsent, as Send() does; for bytes that
    // another writer has put on the socket.
    void CheckOutput();
    bool TokenRequired() const;
    void MarkAuthorized();
    const ClientLimits& Limits() const { return limits_; }

private:
    void onReadyRead();
    void readSoon();
    void finish(const QString& why);

    QTcpSocket* socket_;
    ClientLimits limits_;
    uint64_t id_;
    QTimer deadline_; // the handshake, then the last words of a refused client
    bool authorized_ = false;
    bool closing_ = false;
    bool finished_ = false;
    bool cutOff_ = false;
    bool handedOver_ = false;
    bool readScheduled_ = false;
    bool judging_ = false;
    QString why_ = QStringLiteral("closed by the client");
};
