#include "ServerFixture.h"

#include "DeviceStatus.h"
#include "MatrixLink.h"

#include <QTest>

namespace server_test {

ServerOptions TestOptions()
{
    ServerOptions options;
    options.rawPort = 0;
    options.apiPort = 0;
    return options;
}

ServerFixture::ServerFixture(ServerOptions options)
{
    std::string error;
    if (!sim.Start(&error)) {
        error_ = QString::fromStdString(error);
        return;
    }
    options.portName = QString::fromStdString(sim.SlavePath());
    server = std::make_unique<MatrixServer>(port, options);
    started_ = server->Start(&error_);
}

ServerFixture::~ServerFixture()
{
    server.reset();
    sim.Stop();
}

bool ServerFixture::waitAcquired(int timeoutMs)
{
    return QTest::qWaitFor([this] { return HasWholeState(server->Link().Status()); }, timeoutMs);
}

std::vector<CommandRecord> ServerFixture::clientCommands() const
{
    std::vector<CommandRecord> commands;
    for (const CommandRecord& record : sim.CommandLog()) {
        if (record.bytes.rfind("#upper:", 0) != 0)
            commands.push_back(record);
    }
    return commands;
}

std::vector<std::string> ServerFixture::clientCommandBytes() const
{
    std::vector<std::string> bytes;
    for (const CommandRecord& record : clientCommands())
        bytes.push_back(record.bytes);
    return bytes;
}

} // namespace server_test
