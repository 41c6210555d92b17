#pragma once
// One try of the server's token as a client makes it, over a connection of its own from a
// loopback address of its choosing (127.0.0.0/8 is all loopback), on any endpoint. The answer is
// awaited apart, so that many tries can be in flight at once.
#include "TestClients.h"

#include <QTcpSocket>

namespace server_test {

enum class TryOn { Raw, Json, Bearer, Login };

class TokenTry {
public:
    TokenTry(TryOn endpoint, quint16 port, const char* from, const QByteArray& token);

    // Whether the answer came within the time.
    bool wait(int timeoutMs = 5000);
    bool answered() const { return answered_; }
    bool accepted() const { return accepted_; }
    Clock::time_point answeredAt() const { return answeredAt_; }
    // From the try to its answer.
    double ms() const;

private:
    void read();

    TryOn endpoint_;
    QTcpSocket socket_;
    QByteArray received_;
    Clock::time_point sentAt_;
    Clock::time_point answeredAt_;
    bool answered_ = false;
    bool accepted_ = false;
};

} // namespace server_test
