#pragma once
// A server in this process on a simulated matrix's pseudo-terminal, listening on free loopback
// ports; tests talk to it through TestClients.
#include "MatrixServer.h"
#include "MatrixSimulator.h"
#include "MySerialPortComm.h"
#include "TestClients.h"

#include <memory>
#include <string>
#include <vector>

namespace server_test {

ServerOptions TestOptions();

class ServerFixture {
public:
    explicit ServerFixture(ServerOptions options = TestOptions());
    ~ServerFixture();

    bool started() const { return started_; }
    const QString& startError() const { return error_; }
    // Waits until the server holds the matrix's whole state.
    bool waitAcquired(int timeoutMs = 5000);
    quint16 rawPort() const { return server->RawPort(); }
    quint16 apiPort() const { return server->ApiPort(); }

    // Commands the matrix received from clients: the server's own requests left out.
    std::vector<CommandRecord> clientCommands() const;
    std::vector<std::string> clientCommandBytes() const;

    MatrixSimulator sim;
    MySerialPortComm port;
    std::unique_ptr<MatrixServer> server;

private:
    bool started_ = false;
    QString error_;
};

} // namespace server_test
