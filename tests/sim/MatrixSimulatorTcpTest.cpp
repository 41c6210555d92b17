// The simulator on a TCP line (tavloctl sim --listen; the local line on Windows), driven from a
// client socket as TcpTransport drives it.
#include "MatrixSimulator.h"
#include "ReplyDecoder.h"

#include <QTcpSocket>
#include <QThread>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

// Reads until the line has been quiet for quietMs.
QByteArray readUntilQuiet(QTcpSocket& socket, int quietMs = 200)
{
    QByteArray all;
    while (socket.waitForReadyRead(quietMs))
        all += socket.readAll();
    return all + socket.readAll();
}

class TcpSimulator : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimulatorOptions options;
        options.listenHost = "127.0.0.1";
        sim = std::make_unique<MatrixSimulator>(options);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        url = QUrl(QString::fromStdString(sim->SlavePath()));
    }

    bool connect(QTcpSocket& socket)
    {
        socket.connectToHost(url.host(), static_cast<quint16>(url.port()));
        return socket.waitForConnected(3000);
    }

    std::unique_ptr<MatrixSimulator> sim;
    QUrl url;
};

TEST_F(TcpSimulator, servesOnAFreeLoopbackPortNamedAsASocketPort)
{
    EXPECT_EQ(url.scheme(), "socket");
    EXPECT_EQ(url.host(), "127.0.0.1");
    EXPECT_GT(url.port(), 0);
}

TEST_F(TcpSimulator, answersRequestsAndTellsPacedCommandsApart)
{
    QTcpSocket client;
    ASSERT_TRUE(connect(client));
    client.write("#upper:80/00");
    ASSERT_TRUE(client.waitForBytesWritten(1000));
    DeviceStatus status;
    DecodeChunk(status, [&] {
        const QByteArray reply = readUntilQuiet(client);
        return std::vector<uint8_t>(reply.begin(), reply.end());
    }());
    EXPECT_EQ(status.acquisitionState.load(), AcquisitionComplete);

    client.write("#video_d out2 matrix=3");
    client.flush();
    QThread::msleep(150);
    client.write("#video_d out4 matrix=1");
    client.flush();
    ASSERT_TRUE(sim->WaitForCommands(3, 3000));
    const auto log = sim->CommandLog();
    EXPECT_EQ(log[1].bytes, "#video_d out2 matrix=3");
    EXPECT_EQ(log[2].bytes, "#video_d out4 matrix=1");
    EXPECT_GE(log[2].gapMs, 100);
    EXPECT_EQ(sim->State().routing[1], 3);
}

// A serial line has one other end: a second client is turned away, and once the first has
// gone the line takes the next one.
TEST_F(TcpSimulator, takesOneClientAtATimeAndTheNextWhenItLeaves)
{
    QTcpSocket first;
    ASSERT_TRUE(connect(first));
    QThread::msleep(100);
    QTcpSocket second;
    connect(second);
    EXPECT_TRUE(second.state() == QAbstractSocket::UnconnectedState ||
                second.waitForDisconnected(2000));

    first.disconnectFromHost();
    QThread::msleep(200);
    QTcpSocket third;
    ASSERT_TRUE(connect(third));
    third.write("#upper:20/0F");
    ASSERT_TRUE(third.waitForBytesWritten(1000));
    EXPECT_FALSE(readUntilQuiet(third).isEmpty());
}

// A lost device: the connection closes and nothing more is taken.
TEST_F(TcpSimulator, closingTheLineDropsTheClient)
{
    QTcpSocket client;
    ASSERT_TRUE(connect(client));
    QThread::msleep(100);
    sim->CloseLine();
    EXPECT_TRUE(client.state() == QAbstractSocket::UnconnectedState ||
                client.waitForDisconnected(2000));
    EXPECT_FALSE(sim->IsRunning());
}

} // namespace
