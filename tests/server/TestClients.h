#pragma once
// Clients of the server as tests drive them, over real loopback sockets: a JSON client that
// keeps every message with the time it arrived, and a raw client that keeps every byte.
#include <QByteArray>
#include <QJsonObject>
#include <QTcpSocket>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace server_test {

using Clock = std::chrono::steady_clock;

// The matrix tells commands apart by the quiet in front of each. The simulator stamps a
// command when its thread reads it, which under load can be a few ms late.
constexpr double kPauseMs = 100.0;
constexpr double kStampSlackMs = 5.0;

class JsonClient {
public:
    struct Message {
        QJsonObject object;
        Clock::time_point at;
    };

    explicit JsonClient(quint16 port);

    bool connected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    void send(const QJsonObject& request);
    void sendBytes(const QByteArray& bytes);
    // The first message (already received or arriving within the time) that matches.
    std::optional<Message> waitFor(const std::function<bool(const QJsonObject&)>& match,
                                   int timeoutMs = 3000);
    std::optional<Message> reply(int id, int timeoutMs = 3000);
    std::optional<Message> event(const QString& name, int timeoutMs = 3000);
    // Sends the request and waits for its reply.
    QJsonObject request(QJsonObject request, int timeoutMs = 3000);
    bool waitClosed(int timeoutMs = 3000);
    const std::vector<Message>& messages() const { return messages_; }
    // Messages so far are no longer matched by waitFor.
    void forget() { messages_.clear(); }
    QTcpSocket& socket() { return socket_; }

private:
    void readLines();

    QTcpSocket socket_;
    QByteArray pending_;
    std::vector<Message> messages_;
    int nextId_ = 1000;
};

class RawClient {
public:
    explicit RawClient(quint16 port);

    bool connected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    void send(const QByteArray& bytes);
    void close() { socket_.disconnectFromHost(); }
    QByteArray received() const { return received_; }
    bool waitReceived(const std::function<bool(const QByteArray&)>& done, int timeoutMs = 3000);
    bool waitClosed(int timeoutMs = 3000);

private:
    QTcpSocket socket_;
    QByteArray received_;
};

} // namespace server_test
