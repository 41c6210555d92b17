// The server in this process, on a simulated matrix, driven by raw and JSON clients over
// loopback sockets: what reaches the wire and when, what every client sees, and what is
// refused.
#include "ServerFixture.h"

#include "MatrixBlocks.h"
#include "MatrixLink.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QtTest>
#include <sys/socket.h>

using namespace server_test;

namespace {

// Longer than the server's 30 ms idle gap, far shorter than the 100 ms pause: each write is
// one command, and they pile up in the queue.
constexpr int kFiringGapMs = 40;

QByteArray frameBytes(const std::vector<uint8_t>& frame)
{
    return QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size()));
}

int routedInput(const QJsonObject& state, int output)
{
    return state["outputs"].toArray().at(output - 1).toObject()["input"].toInt();
}

long long msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// The longest run of consecutive commands starting with the same prefix.
int longestRun(const std::vector<std::string>& commands, size_t prefix)
{
    int longest = 0;
    int run = 0;
    for (size_t i = 0; i < commands.size(); ++i) {
        const bool same =
            i > 0 && commands[i].substr(0, prefix) == commands[i - 1].substr(0, prefix);
        run = same ? run + 1 : 1;
        longest = std::max(longest, run);
    }
    return longest;
}

// Every chunk the link hands to decoding, with the time it did.
class DecodedLog {
public:
    explicit DecodedLog(const MatrixLink& link)
    {
        QObject::connect(&link, &MatrixLink::decoded, &context_, [this](const DecodedChunk& c) {
            chunks.push_back(c);
            times.push_back(Clock::now());
        });
    }
    int framesOf(int type) const
    {
        int count = 0;
        for (const DecodedChunk& chunk : chunks)
            count += chunk.frames.contains(type) ? chunk.frames.at(type) : 0;
        return count;
    }

    std::vector<DecodedChunk> chunks;
    std::vector<Clock::time_point> times;

private:
    QObject context_;
};

// A test of its own for what the matrix sends: no status request of the server's own comes
// in between.
ServerOptions WithoutPolling()
{
    ServerOptions options = TestOptions();
    options.pollMs = 600000;
    return options;
}

} // namespace

class ServerTest : public QObject {
    Q_OBJECT
private slots:
    void rawClientsFiringAtOnceReachTheWireWholeAndPaced();
    void rawClientsAllGetEveryChunkUnchanged();
    void aClientThatLeavesTakesItsWaitingCommandsWithIt();
    void aFramePausedMidwayIsDecodedOnceAndWhole();
    void aFrameNeverFinishedIsGivenUpAfterTheHold();
    void anAnswerSpacedOutByTheMatrixIsAnsweredWhole();
    void jsonRouteChangesTheMatrixAndIsPublished();
    void jsonWaitEndsInTimeoutWhenTheMatrixIsSilent();
    void refusedRequestsLeaveNothingOnTheWire_data();
    void refusedRequestsLeaveNothingOnTheWire();
    void tokenHandshake();
    void clientOverTheLimitIsRefused();
    void slowClientIsDroppedWhileOthersKeepTheirPace();
    void lineLossReachesEveryClient();
    void aReturningLineComesUpWithAFreshAcquisition();
};

void ServerTest::rawClientsFiringAtOnceReachTheWireWholeAndPaced()
{
    ServerFixture f;
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    RawClient a(f.rawPort());
    RawClient b(f.rawPort());
    QVERIFY(a.connected() && b.connected());
    constexpr int kEach = 6;
    std::vector<std::string> sentA;
    std::vector<std::string> sentB;
    for (int i = 0; i < kEach; ++i) {
        sentA.push_back("#video_d out1 matrix=" + std::to_string(i % 4 + 1));
        sentB.push_back("#audio_d in2 enc=" + std::to_string(i % 3));
        a.send(QByteArray::fromStdString(sentA.back()));
        b.send(QByteArray::fromStdString(sentB.back()));
        QTest::qWait(kFiringGapMs);
    }
    QVERIFY(QTest::qWaitFor([&] { return f.clientCommands().size() >= 2 * kEach; }, 5000));
    QTest::qWait(300); // nothing further may arrive
    const std::vector<std::string> wire = f.clientCommandBytes();
    QCOMPARE(wire.size(), size_t(2 * kEach));
    std::vector<std::string> fromA;
    std::vector<std::string> fromB;
    for (const std::string& command : wire)
        (command.rfind("#video_d", 0) == 0 ? fromA : fromB).push_back(command);
    QCOMPARE(fromA, sentA); // whole, separate, and in each client's order
    QCOMPARE(fromB, sentB);
    QVERIFY2(longestRun(wire, 3) <= 2, "one client was served several times in a row");
    for (const CommandRecord& record : f.sim.CommandLog()) {
        QCOMPARE(record.outcome, CommandOutcome::Accepted);
        if (record.gapMs >= 0)
            QVERIFY2(record.gapMs >= kPauseMs - kStampSlackMs,
                     qPrintable(QString::fromStdString(FormatCommandRecord(record))));
    }
}

void ServerTest::rawClientsAllGetEveryChunkUnchanged()
{
    ServerFixture f;
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    RawClient a(f.rawPort());
    RawClient b(f.rawPort());
    JsonClient watcher(f.apiPort()); // not a raw client: sees none of the bytes
    QTest::qWait(50);
    a.send("#video_d out3 matrix=2");
    QVERIFY(f.sim.WaitForCommands(1, 3000));
    QVERIFY(QTest::qWaitFor([&] { return f.clientCommands().size() == 1; }, 3000));
    const QByteArray expected = frameBytes(StatusFrame(f.sim.State()));
    QVERIFY(a.waitReceived([&](const QByteArray& r) { return r.contains(expected); }));
    QVERIFY(b.waitReceived([&](const QByteArray& r) { return r.size() >= a.received().size(); }));
    QCOMPARE(b.received(), a.received());
    QVERIFY(watcher.messages().empty());
}

// A USB adapter can pause inside a frame; a pause longer than the server's quiet gap must not
// cost the frame.
void ServerTest::aFramePausedMidwayIsDecodedOnceAndWhole()
{
    ServerFixture f(WithoutPolling());
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    RawClient raw(f.rawPort());
    DecodedLog decoded(f.server->Link());
    QTest::qWait(50);
    f.sim.SplitReplies(1, 200); // longer than the quiet gap, shorter than the port's full hold
    raw.send("#video_d out3 matrix=2");
    QVERIFY(QTest::qWaitFor([&] { return f.clientCommands().size() == 1; }, 3000));
    const QByteArray frame = frameBytes(StatusFrame(f.sim.State()));
    QVERIFY(raw.waitReceived([&](const QByteArray& r) { return r.size() >= frame.size(); }));
    QVERIFY(QTest::qWaitFor([&] { return !decoded.chunks.empty(); }, 1000));
    QTest::qWait(100);
    QCOMPARE(raw.received(), frame);
    QCOMPARE(decoded.chunks.size(), size_t(1));
    QCOMPARE(decoded.chunks[0].bytes, frame);
    QCOMPARE(decoded.framesOf(FrameStatus), 1);
    QCOMPARE(f.server->Link().Status().videoInput(3), 2);
}

// Holding a cut frame is bounded by the port's full hold: what never ends is decoded as it
// stands, and the line goes on.
void ServerTest::aFrameNeverFinishedIsGivenUpAfterTheHold()
{
    ServerFixture f(WithoutPolling());
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    DecodedLog decoded(f.server->Link());
    const std::vector<uint8_t> status = StatusFrame(f.sim.State());
    const std::vector<uint8_t> half(status.begin(), status.begin() + 40);
    const Clock::time_point written = Clock::now();
    f.sim.WriteRaw(half);
    QVERIFY(QTest::qWaitFor([&] { return !decoded.chunks.empty(); }, 2000));
    const long long heldMs = msBetween(written, decoded.times[0]);
    QVERIFY2(heldMs >= MySerialPortComm::kReceiveHoldMs, qPrintable(QString::number(heldMs)));
    QCOMPARE(decoded.chunks[0].bytes, frameBytes(half));
    QCOMPARE(decoded.framesOf(FrameStatus), 0);

    RawClient raw(f.rawPort());
    raw.send("#video_d out1 matrix=4");
    QVERIFY(QTest::qWaitFor([&] { return f.server->Link().Status().videoInput(1) == 4; }, 2000));
    QCOMPARE(decoded.framesOf(FrameStatus), 1);
}

// The server reads after short pauses, but a `send` with `wait` answers with all that the matrix
// sends within the port's full hold, as a reader of the port would get it.
void ServerTest::anAnswerSpacedOutByTheMatrixIsAnsweredWhole()
{
    ServerFixture f(WithoutPolling());
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    JsonClient client(f.apiPort());
    client.send({{"id", 7}, {"cmd", "send"}, {"text", "hello"}, {"wait", true}});
    QVERIFY(QTest::qWaitFor([&] { return f.clientCommands().size() == 1; }, 3000));
    f.sim.WriteRaw({'f', 'i', 'r', 's', 't', '\r', '\n'});
    QTest::qWait(150); // several quiet gaps, well within the hold
    f.sim.WriteRaw({'s', 'e', 'c', 'o', 'n', 'd', '\r', '\n'});
    const auto reply = client.reply(7);
    QVERIFY(reply);
    const QString answer = reply->object["answer"].toString();
    QVERIFY2(answer.contains("first") && answer.contains("second"), qPrintable(answer));
}

// Nobody is left to hear how its commands went: a client that leaves takes what it still had
// waiting with it (the command already in its pause may still go out), and a raw command it
// had not finished with a pause is not sent. A client that only closes its sending side still
// gets the answers that are ready at once.
void ServerTest::aClientThatLeavesTakesItsWaitingCommandsWithIt()
{
    ServerFixture f;
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    RawClient raw(f.rawPort());
    JsonClient json(f.apiPort());
    raw.send("#video_d out1 matrix=4");
    raw.close(); // before the command's idle gap has passed
    json.sendBytes("{\"id\":1,\"cmd\":\"route\",\"input\":3,\"output\":[2,3,4]}\n"
                   "{\"id\":2,\"cmd\":\"route\",\"input\":7,\"output\":1}\n");
    ::shutdown(int(json.socket().socketDescriptor()), SHUT_WR);
    const auto refusal = json.reply(2);
    QVERIFY(refusal);
    QCOMPARE(refusal->object["error"].toObject()["code"].toString(), "bad_value");
    QVERIFY(json.waitClosed());
    QTest::qWait(400); // four pauses: every command still queued would be on the wire by now
    const std::vector<std::string> wire = f.clientCommandBytes();
    QVERIFY2(wire.empty() || wire == std::vector<std::string>{"#video_d out2 matrix=3"},
             qPrintable(QString::number(wire.size())));
}

void ServerTest::jsonRouteChangesTheMatrixAndIsPublished()
{
    ServerFixture f;
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    JsonClient subscriber(f.apiPort());
    QCOMPARE(subscriber.request({{"cmd", "subscribe"}})["ok"].toBool(), true);
    QVERIFY(subscriber.event("link"));
    QVERIFY(subscriber.event("state"));
    const int before = int(subscriber.messages().size());

    JsonClient client(f.apiPort());
    client.send({{"id", 1}, {"cmd", "route"}, {"input", 3}, {"output", 2}});
    const auto reply = client.reply(1);
    QVERIFY(reply);
    QCOMPARE(reply->object["ok"].toBool(), true);
    QCOMPARE(reply->object["sent"].toInt(), 1);
    // The matrix takes a command as ended once the line has been quiet for its idle gap.
    QVERIFY(QTest::qWaitFor([&] { return f.clientCommands().size() == 1; }, 1000));
    QCOMPARE(f.clientCommandBytes(), std::vector<std::string>{"#video_d out2 matrix=3"});
    QCOMPARE(f.sim.State().routing[1], 3);

    const auto changed = subscriber.waitFor([&](const QJsonObject& o) {
        return o["event"] == "state" && routedInput(o["state"].toObject(), 2) == 3;
    });
    QVERIFY(changed);
    QVERIFY(int(subscriber.messages().size()) > before);
    // The server reads the block once the line pauses, well before the port's full hold.
    const long long latency = msBetween(f.clientCommands().back().lastByte, changed->at);
    qInfo("command's last byte to the state event: %lld ms", latency);
    QVERIFY2(latency < 300, qPrintable(QString::number(latency)));

    // With a wait the reply comes once the matrix has confirmed, and carries the new state.
    const QJsonObject confirmed =
        client.request({{"cmd", "route"}, {"input", 1}, {"output", "all"}, {"wait", true}});
    QCOMPARE(confirmed["ok"].toBool(), true);
    for (int output = 1; output <= 4; ++output)
        QCOMPARE(routedInput(confirmed["state"].toObject(), output), 1);
}

void ServerTest::jsonWaitEndsInTimeoutWhenTheMatrixIsSilent()
{
    ServerFixture f;
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    f.sim.DropReplies(1);
    JsonClient client(f.apiPort());
    const QJsonObject reply = client.request(
        {{"cmd", "route"}, {"input", 4}, {"output", 1}, {"wait", true}, {"timeout", 700}});
    QCOMPARE(reply["ok"].toBool(), false);
    QCOMPARE(reply["error"].toObject()["code"].toString(), QStringLiteral("timeout"));
    QVERIFY(QTest::qWaitFor([&] { return f.clientCommands().size() == 1; }, 1000));
    QCOMPARE(f.clientCommandBytes(), std::vector<std::string>{"#video_d out1 matrix=4"});
}

void ServerTest::refusedRequestsLeaveNothingOnTheWire_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("staysOpen");
    QTest::newRow("malformed JSON")
        << QByteArray("{\"id\":1,\"cmd\":\"route\",\n") << "bad_json" << true;
    QTest::newRow("not an object") << QByteArray("[1,2]\n") << "bad_json" << true;
    QTest::newRow("no id") << QByteArray("{\"cmd\":\"status\"}\n") << "bad_request" << true;
    QTest::newRow("unknown request")
        << QByteArray("{\"id\":1,\"cmd\":\"fly\"}\n") << "unknown_command" << true;
    QTest::newRow("input out of range")
        << QByteArray("{\"id\":1,\"cmd\":\"route\",\"input\":9,\"output\":1}\n") << "bad_value"
        << true;
    QTest::newRow("missing field")
        << QByteArray("{\"id\":1,\"cmd\":\"route\",\"input\":2}\n") << "bad_request" << true;
    QTest::newRow("name too long")
        << QByteArray("{\"id\":1,\"cmd\":\"name\",\"kind\":\"hdmi\",\"port\":1,"
                      "\"name\":\"seventeen letters\"}\n")
        << "bad_name" << true;
    QTest::newRow("restart unconfirmed")
        << QByteArray("{\"id\":1,\"cmd\":\"reboot\"}\n") << "needs_confirmation" << true;
    QTest::newRow("line over 64 KiB") << QByteArray(65 * 1024, 'x') << "line_too_long" << false;
}

void ServerTest::refusedRequestsLeaveNothingOnTheWire()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, code);
    QFETCH(bool, staysOpen);
    ServerFixture f;
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    JsonClient client(f.apiPort());
    // Not the first line: a first line that is no JSON object is a browser's request, and
    // closes the connection (see tst_hostile_clients).
    QCOMPARE(client.request({{"cmd", "status"}})["ok"].toBool(), true);
    client.sendBytes(line);
    const auto refusal = client.waitFor([](const QJsonObject& o) { return o.contains("error"); });
    QVERIFY(refusal);
    QCOMPARE(refusal->object["ok"].toBool(true), false);
    QCOMPARE(refusal->object["error"].toObject()["code"].toString(), code);
    QVERIFY(!refusal->object["error"].toObject()["message"].toString().isEmpty());
    if (staysOpen)
        QCOMPARE(client.request({{"cmd", "status"}})["ok"].toBool(), true);
    else
        QVERIFY(client.waitClosed());
    QTest::qWait(300);
    QVERIFY(f.clientCommands().empty());
}

void ServerTest::tokenHandshake()
{
    ServerOptions options = TestOptions();
    options.token = "s3cret";
    ServerFixture f(options);
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());

    JsonClient early(f.apiPort()); // a request before the token
    early.send({{"id", 1}, {"cmd", "route"}, {"input", 2}, {"output", 1}});
    QCOMPARE(early.reply(1)->object["error"].toObject()["code"].toString(), "unauthorized");
    QVERIFY(early.waitClosed());
    JsonClient wrong(f.apiPort());
    wrong.send({{"id", 1}, {"cmd", "auth"}, {"token", "guess"}});
    QCOMPARE(wrong.reply(1)->object["error"].toObject()["code"].toString(), "unauthorized");
    QVERIFY(wrong.waitClosed());
    RawClient wrongRaw(f.rawPort());
    wrongRaw.send("guess\n#video_d out1 matrix=2");
    QVERIFY(wrongRaw.waitClosed());
    QVERIFY(wrongRaw.received().contains("wrong token"));
    QTest::qWait(200);
    QVERIFY(f.clientCommands().empty());

    JsonClient right(f.apiPort());
    const QJsonObject hello = right.request({{"cmd", "auth"}, {"token", "s3cret"}});
    QCOMPARE(hello["ok"].toBool(), true);
    QCOMPARE(hello["api"].toInt(), 1);
    QCOMPARE(right.request({{"cmd", "status"}})["ok"].toBool(), true);
    RawClient rightRaw(f.rawPort());
    rightRaw.send("s3cret\n#video_d out1 matrix=2");
    QVERIFY(QTest::qWaitFor([&] { return !f.clientCommands().empty(); }, 3000));
    QCOMPARE(f.clientCommandBytes(), std::vector<std::string>{"#video_d out1 matrix=2"});
}

void ServerTest::clientOverTheLimitIsRefused()
{
    ServerOptions options = TestOptions();
    options.maxClientsPerAddress = options.maxClients; // all of them come from 127.0.0.1
    ServerFixture f(options);
    QVERIFY2(f.started(), qPrintable(f.startError()));
    std::vector<std::unique_ptr<JsonClient>> clients;
    for (int i = 0; i < 63; ++i)
        clients.push_back(std::make_unique<JsonClient>(f.apiPort()));
    RawClient lastRaw(f.rawPort()); // the 64th: both endpoints share the limit
    for (auto& client : clients)
        QCOMPARE(client->request({{"cmd", "status"}})["ok"].toBool(), true);
    JsonClient over(f.apiPort());
    const auto refusal = over.waitFor([](const QJsonObject& o) { return o.contains("error"); });
    QVERIFY(refusal);
    QCOMPARE(refusal->object["error"].toObject()["code"].toString(), "too_many_clients");
    QVERIFY(over.waitClosed());
    RawClient overRaw(f.rawPort());
    QVERIFY(overRaw.waitClosed());
    QVERIFY(overRaw.received().contains("64 clients"));
    QVERIFY(lastRaw.connected());

    clients.pop_back(); // one leaves: there is room again
    QTest::qWait(100);
    JsonClient next(f.apiPort());
    QCOMPARE(next.request({{"cmd", "status"}})["ok"].toBool(), true);
}

void ServerTest::slowClientIsDroppedWhileOthersKeepTheirPace()
{
    ServerOptions options = TestOptions();
    options.maxClientOutput = 64 * 1024;
    ServerFixture f(options);
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    JsonClient slow(f.apiPort());
    slow.socket().setReadBufferSize(4096);
    QObject::disconnect(&slow.socket(), &QTcpSocket::readyRead, nullptr, nullptr);
    JsonClient other(f.apiPort());
    QByteArray flood;
    for (int i = 0; i < 4000; ++i)
        flood += "{\"id\":" + QByteArray::number(i) + ",\"cmd\":\"status\"}\n";
    slow.sendBytes(flood);

    std::vector<long long> latencies;
    for (int input = 1; input <= 4; ++input) {
        const Clock::time_point asked = Clock::now();
        const QJsonObject reply =
            other.request({{"cmd", "route"}, {"input", input}, {"output", 4}});
        QCOMPARE(reply["ok"].toBool(), true);
        latencies.push_back(msBetween(asked, Clock::now()));
    }
    // Reading again, it finds the connection cut short of its answers.
    qsizetype answers = 0;
    QObject::connect(&slow.socket(), &QTcpSocket::readyRead,
                     [&] { answers += slow.socket().readAll().count('\n'); });
    slow.socket().setReadBufferSize(0);
    answers += slow.socket().readAll().count('\n');
    QVERIFY(slow.waitClosed(10000));
    QVERIFY2(answers < 4000, qPrintable(QString::number(answers)));
    for (long long ms : latencies)
        QVERIFY2(ms >= 100 && ms < 250, qPrintable(QString::number(ms)));
    QVERIFY(QTest::qWaitFor([&] { return f.clientCommands().size() == 4; }, 1000));
}

void ServerTest::lineLossReachesEveryClient()
{
    ServerFixture f;
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    JsonClient first(f.apiPort());
    JsonClient second(f.apiPort());
    for (JsonClient* client : {&first, &second})
        QCOMPARE(client->request({{"cmd", "subscribe"}})["ok"].toBool(), true);
    RawClient raw(f.rawPort());
    QTest::qWait(50);

    f.sim.CloseLine();
    for (JsonClient* client : {&first, &second}) {
        const auto down = client->waitFor(
            [](const QJsonObject& o) { return o["event"] == "link" && o["state"] == "down"; });
        QVERIFY(down);
        QVERIFY(!down->object["reason"].toString().isEmpty());
    }
    // A raw client is a serial line: it stays, and hears the matrix again once it is back.
    QVERIFY(!raw.waitClosed(500));

    // The last state is still served, marked stale; nothing can reach the matrix.
    const QJsonObject status = first.request({{"cmd", "status"}});
    QCOMPARE(status["state"].toObject()["link"].toString(), "down");
    QCOMPARE(status["state"].toObject()["stale"].toBool(), true);
    QCOMPARE(routedInput(status["state"].toObject(), 1), f.sim.State().routing[0]);
    const QJsonObject route = first.request({{"cmd", "route"}, {"input", 2}, {"output", 1}});
    QCOMPARE(route["error"].toObject()["code"].toString(), "link_down");
    RawClient late(f.rawPort());
    QVERIFY(late.waitClosed());
    QVERIFY(late.received().contains("down"));
}

// The matrix is lost and comes back on another pseudo-terminal behind the same link name, as
// an adapter comes back behind its stable name after a replug.
void ServerTest::aReturningLineComesUpWithAFreshAcquisition()
{
    const QString link = QDir::temp().filePath(
        QStringLiteral("tavlo-server-test-%1").arg(QCoreApplication::applicationPid()));
    MatrixSimulator matrix;
    std::string error;
    QVERIFY2(matrix.Start(&error), error.c_str());
    QFile::remove(link);
    QVERIFY(QFile::link(QString::fromStdString(matrix.SlavePath()), link));
    MySerialPortComm port;
    ServerOptions options = TestOptions();
    options.portName = link;
    MatrixServer server(port, options);
    QString why;
    QVERIFY2(server.Start(&why), qPrintable(why));
    JsonClient client(server.ApiPort());
    QCOMPARE(client.request({{"cmd", "subscribe"}})["ok"].toBool(), true);
    RawClient raw(server.RawPort());
    QVERIFY(QTest::qWaitFor([&] { return HasWholeState(server.Link().Status()); }, 5000));

    client.forget();
    matrix.CloseLine();
    QVERIFY(client.waitFor([](const QJsonObject& o) { return o["state"] == "down"; }));
    client.forget();
    MatrixState renamed = matrix.State();
    renamed.nameAt(NameTable::InputPort, 1) = "Returned";
    matrix.SetState(renamed);
    QVERIFY2(matrix.Start(&error), error.c_str());
    QFile::remove(link);
    QVERIFY(QFile::link(QString::fromStdString(matrix.SlavePath()), link));

    QVERIFY(client.waitFor([](const QJsonObject& o) { return o["state"] == "up"; }, 5000));
    const auto fresh = client.waitFor(
        [](const QJsonObject& o) {
            const QJsonObject state = o["state"].toObject();
            return state["inputs"].toArray().at(0).toObject()["name"] == "Returned" &&
                   state["stale"] == false;
        },
        5000);
    QVERIFY(fresh);
    QVERIFY(raw.waitReceived([](const QByteArray& bytes) { return bytes.contains("Returned"); }));
    QVERIFY(raw.connected());
    QFile::remove(link);
}

QTEST_GUILESS_MAIN(ServerTest)
#include "tst_server.moc"
