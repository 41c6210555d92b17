// Clients that mean harm, over real loopback sockets, against the server in this process on a
// simulated matrix: a browser sent by a page of another site, floods that never wait for their
// answers, connections that hold slots without the token, guesses of the token, and clients
// that queue and leave.
// Nothing of what is refused may reach the wire, and what the server holds stays bounded.
#include "Flooder.h"
#include "HttpExchange.h"
#include "ServerFixture.h"
#include "TokenTries.h"

#include <QJsonArray>
#include <QtTest>

using namespace server_test;
using namespace web_test;

namespace {

// A browser's "simple" cross-site POST: no preflight, the body as text/plain.
QByteArray BrowserPost(const QByteArray& body)
{
    return "POST / HTTP/1.1\r\nHost: 127.0.0.1:4002\r\nOrigin: http://elsewhere.example\r\n"
           "Content-Type: text/plain;charset=UTF-8\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

constexpr char kRouteAndRename[] =
    "{\"id\":1,\"cmd\":\"route\",\"input\":2,\"output\":1}\n"
    "{\"id\":2,\"cmd\":\"scene_name\",\"scene\":1,\"name\":\"pwned\"}\n";

ServerOptions WebOptions(const QByteArray& token = {})
{
    ServerOptions options = TestOptions();
    options.http = true;
    options.token = token;
    return options;
}

// A socket from a loopback address of its own (127.0.0.0/8 is all loopback), connected.
std::unique_ptr<QTcpSocket> ConnectFrom(const char* address, quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(QHostAddress(QString::fromLatin1(address)));
    socket->connectToHost(QHostAddress::LocalHost, port);
    (void)QTest::qWaitFor([&] { return socket->state() == QAbstractSocket::ConnectedState; }, 3000);
    return socket;
}

bool WaitClosed(QTcpSocket& socket, int timeoutMs)
{
    return QTest::qWaitFor(
        [&] {
            socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        timeoutMs);
}

// Three wrong tokens from an address, then its tries take turns 400 ms apart.
constexpr int kWrongTokens = 3;
constexpr int kSlotMs = 400;
// A try that waits for no turn is answered well within one.
constexpr double kAtOnceMs = kSlotMs / 2.0;
// A turn's start, as the client sees it, may come this much early: the try is sent a little
// after the wrong answer before it was judged.
constexpr double kTurnSlackMs = 50;

ServerOptions ThrottledOptions()
{
    ServerOptions options = WebOptions("s3cret");
    options.wrongTokens = kWrongTokens;
    options.throttledTryMs = kSlotMs;
    return options;
}

quint16 PortFor(const ServerFixture& f, TryOn endpoint)
{
    switch (endpoint) {
    case TryOn::Raw:
        return f.rawPort();
    case TryOn::Json:
        return f.apiPort();
    case TryOn::Bearer:
    case TryOn::Login:
        break;
    }
    return f.server->HttpPort();
}

// Each answered at once, and wrong.
bool GuessWrong(TryOn endpoint, quint16 port, const char* from, int times)
{
    for (int i = 0; i < times; ++i) {
        TokenTry guess(endpoint, port, from, "guess");
        if (!guess.wait() || guess.accepted())
            return false;
    }
    return true;
}

// What the kernel may hold between the flooder and the server on loopback (the sending and the
// receiving buffer, each a few MB at most), and the server's own bound on top.
constexpr qint64 kInFlightBound = 16 * 1024 * 1024;

} // namespace

class HostileClientsTest : public QObject {
    Q_OBJECT
private slots:
    void browserRequestsReachNothing_data();
    void browserRequestsReachNothing();
    void duplicateKeysAreRefused();
    void floodsAreHeldBackByTcp_data();
    void floodsAreHeldBackByTcp();
    void requestsWithoutTheTokenLoseTheirConnection();
    void pageConnectionsWithoutTheTokenAreClosedAtTheDeadline();
    void onePeerCannotTakeEverySlot();
    void wrongTokensSlowTheirAddressOnly_data() { everyEndpoint(); }
    void wrongTokensSlowTheirAddressOnly();
    void triesAtOnceFromAThrottledAddressTakeTurns_data() { everyEndpoint(); }
    void triesAtOnceFromAThrottledAddressTakeTurns();
    void tenWrongTokensInAMinuteThrottleByASecond();
    void aSessionIsNoTryOfTheToken();
    void aNewTokenHoldsOnEveryEndpoint_data() { everyEndpoint(); }
    void aNewTokenHoldsOnEveryEndpoint();
    void aNewTokenEndsTheSessionsOfTheOld();
    void clientsThatLeaveTakeTheirCommandsWithThem();
    void queuedCommandsAreBoundedOverAllClients();
    void webSocketHandshakesQtWouldNotFinishAreRefused_data();
    void webSocketHandshakesQtWouldNotFinishAreRefused();

private:
    void everyEndpoint();
};

void HostileClientsTest::everyEndpoint()
{
    QTest::addColumn<TryOn>("endpoint");
    QTest::addRow("raw: the token line") << TryOn::Raw;
    QTest::addRow("json: auth") << TryOn::Json;
    QTest::addRow("page: Bearer") << TryOn::Bearer;
    QTest::addRow("page: login") << TryOn::Login;
}

void HostileClientsTest::browserRequestsReachNothing_data()
{
    QTest::addColumn<bool>("raw");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("told");
    QTest::addRow("json: a cross-site POST")
        << false << BrowserPost(kRouteAndRename) << QByteArray("a browser request");
    QTest::addRow("json: a first line that is no object")
        << false << QByteArray("hello\n") + kRouteAndRename << QByteArray("bad_json");
    QTest::addRow("json: a header line after a request")
        << false << QByteArray("{\"id\":9,\"cmd\":\"status\"}\nHost: 127.0.0.1\n") + kRouteAndRename
        << QByteArray("a browser request");
    QTest::addRow("raw: a cross-site POST")
        << true << BrowserPost("#video_d out1 matrix=2") << QByteArray("a browser request");
    QTest::addRow("raw: a Host header first")
        << true << QByteArray("Host: 127.0.0.1:4001\r\n#video_d out1 matrix=2")
        << QByteArray("a browser request");
}

void HostileClientsTest::browserRequestsReachNothing()
{
    QFETCH(bool, raw);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, told);
    ServerFixture f;
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    server_test::RawClient client(raw ? f.rawPort() : f.apiPort());
    client.send(bytes);
    QVERIFY(client.waitClosed());
    QVERIFY2(client.received().contains(told), client.received().constData());
    QTest::qWait(300); // past the raw idle gap and the pause: anything sent would be there now
    QVERIFY(f.clientCommands().empty());
}

void HostileClientsTest::duplicateKeysAreRefused()
{
    ServerFixture f;
    QVERIFY2(f.started(), qPrintable(f.startError()));
    JsonClient client(f.apiPort());
    client.sendBytes("{\"id\":1,\"cmd\":\"status\",\"cmd\":\"route\",\"input\":2,\"output\":1}\n"
                     "{\"id\":2,\"cmd\":\"route\",\"input\":2,\"output\":1,"
                     "\"x\":{\"a\":1,\"\\u0061\":2}}\n");
    for (int id : {1, 2}) {
        const auto reply = client.reply(id);
        QVERIFY(reply);
        QCOMPARE(reply->object["error"].toObject()["code"].toString(), "bad_json");
    }
    QVERIFY(client.connected());
    QCOMPARE(client.request({{"cmd", "status"}})["ok"].toBool(), true);
    QVERIFY(f.clientCommands().empty());
}

void HostileClientsTest::floodsAreHeldBackByTcp_data()
{
    QTest::addColumn<bool>("http");
    QTest::addColumn<QByteArray>("unit"); // one request, repeated; each gets one answer
    const QByteArray route = "{\"input\":2,\"output\":1,\"wait\":true}";
    QTest::addRow("json endpoint") << false << QByteArray("{\"id\":1,\"cmd\":\"nope\"}\n");
    QTest::addRow("page: pipelined requests")
        << true << QByteArray("GET /nope HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QTest::addRow("page: behind a request waiting for the matrix")
        << true << Request("POST", "/api/v1/route", "Content-Type: application/json\r\n", route);
}

// The flooder reads every answer, so it is never dropped as a slow reader: only TCP can hold it.
void HostileClientsTest::floodsAreHeldBackByTcp()
{
    QFETCH(bool, http);
    QFETCH(QByteArray, unit);
    ServerFixture f(WebOptions());
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    Flooder flood(http ? f.server->HttpPort() : f.apiPort(), unit,
                  http ? QByteArray("HTTP/1.1 ") : QByteArray("\n"));
    flood.run(3000, 64 * 1024 * 1024);
    QVERIFY2(!flood.closed(), "the flooder was cut off");
    QVERIFY(flood.answers() > 0);
    const qint64 unanswered = flood.sent() - flood.answers() * unit.size();
    QVERIFY2(
        unanswered < kInFlightBound,
        qPrintable(
            QStringLiteral("%1 bytes sent, %2 answers").arg(flood.sent()).arg(flood.answers())));
}

void HostileClientsTest::requestsWithoutTheTokenLoseTheirConnection()
{
    ServerFixture f(WebOptions("s3cret"));
    QVERIFY2(f.started(), qPrintable(f.startError()));
    Flooder flood(f.server->HttpPort(), "GET /api/v1/status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
                  "HTTP/1.1 ");
    flood.run(3000, 64 * 1024 * 1024);
    QVERIFY(flood.closed());
    QCOMPARE(flood.answers(), 1);
    QVERIFY(flood.received().startsWith("HTTP/1.1 401"));
}

void HostileClientsTest::pageConnectionsWithoutTheTokenAreClosedAtTheDeadline()
{
    ServerOptions options = WebOptions("s3cret");
    options.handshakeMs = 1000;
    ServerFixture f(options);
    QVERIFY2(f.started(), qPrintable(f.startError()));
    HttpExchange idle(f.server->HttpPort());
    HttpExchange pageOnly(f.server->HttpPort()); // fetches the page, never the API
    QCOMPARE(pageOnly.send(Request("GET", "/")).status, 200);
    HttpExchange withToken(f.server->HttpPort());
    const HttpAnswer status =
        withToken.send(Request("GET", "/api/v1/status", "Authorization: Bearer s3cret\r\n"));
    QCOMPARE(status.status, 200);
    QVERIFY(WaitClosed(idle.socket(), 2500));
    QVERIFY(WaitClosed(pageOnly.socket(), 500));
    QCOMPARE(withToken.socket().state(), QAbstractSocket::ConnectedState);
    QCOMPARE(
        withToken.send(Request("GET", "/api/v1/status", "Authorization: Bearer s3cret\r\n")).status,
        200);
}

void HostileClientsTest::onePeerCannotTakeEverySlot()
{
    ServerOptions options = TestOptions();
    options.maxClientsPerAddress = 4;
    ServerFixture f(options);
    QVERIFY2(f.started(), qPrintable(f.startError()));
    std::vector<std::unique_ptr<QTcpSocket>> taken;
    for (int i = 0; i < 4; ++i)
        taken.push_back(ConnectFrom("127.0.0.2", i % 2 ? f.rawPort() : f.apiPort()));
    auto over = ConnectFrom("127.0.0.2", f.apiPort());
    QVERIFY(WaitClosed(*over, 3000));
    JsonClient other(f.apiPort()); // from 127.0.0.1
    QCOMPARE(other.request({{"cmd", "status"}})["ok"].toBool(), true);
    for (const auto& socket : taken)
        QCOMPARE(socket->state(), QAbstractSocket::ConnectedState);
    taken.pop_back();
    QTest::qWait(100);
    auto again = ConnectFrom("127.0.0.2", f.apiPort());
    again->write("{\"id\":1,\"cmd\":\"status\"}\n");
    QVERIFY(QTest::qWaitFor([&] { return again->canReadLine(); }, 3000));
    QVERIFY(again->readLine().contains("\"ok\":true"));
}

// The right token from a throttled address waits its turn like a wrong one; the same token from
// another address does not.
void HostileClientsTest::wrongTokensSlowTheirAddressOnly()
{
    QFETCH(TryOn, endpoint);
    ServerFixture f(ThrottledOptions());
    QVERIFY2(f.started(), qPrintable(f.startError()));
    const quint16 port = PortFor(f, endpoint);
    QVERIFY(GuessWrong(endpoint, port, "127.0.0.1", kWrongTokens));
    TokenTry throttled(endpoint, port, "127.0.0.1", "s3cret");
    TokenTry other(endpoint, port, "127.0.0.2", "s3cret");
    QVERIFY(other.wait());
    QVERIFY(throttled.wait());
    QVERIFY(other.accepted());
    QVERIFY(throttled.accepted());
    QVERIFY2(other.ms() < kAtOnceMs, qPrintable(QString::number(other.ms())));
    QVERIFY2(throttled.ms() >= kSlotMs - kTurnSlackMs, qPrintable(QString::number(throttled.ms())));
}

// Many connections at once learn no faster than one: each try, the right one among them, is
// judged in the next turn of its address.
void HostileClientsTest::triesAtOnceFromAThrottledAddressTakeTurns()
{
    QFETCH(TryOn, endpoint);
    ServerFixture f(ThrottledOptions());
    QVERIFY2(f.started(), qPrintable(f.startError()));
    const quint16 port = PortFor(f, endpoint);
    QVERIFY(GuessWrong(endpoint, port, "127.0.0.1", kWrongTokens));
    constexpr int kBurst = 4;
    std::vector<std::unique_ptr<TokenTry>> burst;
    for (int i = 0; i < kBurst; ++i)
        burst.push_back(
            std::make_unique<TokenTry>(endpoint, port, "127.0.0.1", i == 0 ? "s3cret" : "guess"));
    std::vector<Clock::time_point> answers;
    for (const auto& attempt : burst) {
        QVERIFY(attempt->wait(kBurst * kSlotMs + 3000));
        answers.push_back(attempt->answeredAt());
    }
    QVERIFY(burst.front()->accepted());
    QVERIFY2(burst.front()->ms() >= kSlotMs - kTurnSlackMs,
             qPrintable(QString::number(burst.front()->ms())));
    std::sort(answers.begin(), answers.end());
    for (size_t i = 1; i < answers.size(); ++i) {
        const double gapMs =
            std::chrono::duration<double, std::milli>(answers[i] - answers[i - 1]).count();
        QVERIFY2(gapMs >= kSlotMs - kTurnSlackMs, qPrintable(QString::number(gapMs)));
    }
    const double slowest = std::max_element(burst.begin(), burst.end(),
                                            [](auto& a, auto& b) { return a->ms() < b->ms(); })
                               ->get()
                               ->ms();
    QVERIFY2(slowest >= (kBurst - 1) * kSlotMs, qPrintable(QString::number(slowest)));
}

// The figures `tavloctl serve` runs with.
void HostileClientsTest::tenWrongTokensInAMinuteThrottleByASecond()
{
    ServerFixture f(WebOptions("s3cret"));
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(GuessWrong(TryOn::Json, f.apiPort(), "127.0.0.1", 9));
    TokenTry tenth(TryOn::Json, f.apiPort(), "127.0.0.1", "s3cret"); // the right one is no wrong
    QVERIFY(tenth.wait());
    QVERIFY2(tenth.ms() < 500, qPrintable(QString::number(tenth.ms())));
    QVERIFY(GuessWrong(TryOn::Json, f.apiPort(), "127.0.0.1", 1));
    TokenTry eleventh(TryOn::Json, f.apiPort(), "127.0.0.1", "s3cret");
    QVERIFY(eleventh.wait());
    QVERIFY(eleventh.accepted());
    QVERIFY2(eleventh.ms() >= 1000 - kTurnSlackMs, qPrintable(QString::number(eleventh.ms())));
}

// A browser logged in before its address was throttled is not held back by the guesses.
void HostileClientsTest::aSessionIsNoTryOfTheToken()
{
    ServerFixture f(ThrottledOptions());
    QVERIFY2(f.started(), qPrintable(f.startError()));
    const quint16 port = f.server->HttpPort();
    const HttpAnswer login =
        HttpExchange(port).send(JsonPost("/api/v1/login", {{"token", "s3cret"}}));
    QCOMPARE(login.status, 200);
    const QByteArray cookie = login.header("set-cookie").split(';').first();
    QVERIFY(GuessWrong(TryOn::Login, port, "127.0.0.1", kWrongTokens));
    HttpExchange browser(port);
    const Clock::time_point asked = Clock::now();
    QCOMPARE(browser.send(Request("GET", "/api/v1/status", "Cookie: " + cookie + "\r\n")).status,
             200);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
    QVERIFY2(ms < kAtOnceMs, qPrintable(QString::number(ms)));
}

// As after SIGHUP: one gate for every endpoint, so none keeps a copy of the old token.
void HostileClientsTest::aNewTokenHoldsOnEveryEndpoint()
{
    QFETCH(TryOn, endpoint);
    ServerFixture f(WebOptions("s3cret"));
    QVERIFY2(f.started(), qPrintable(f.startError()));
    const quint16 port = PortFor(f, endpoint);
    TokenTry before(endpoint, port, "127.0.0.1", "s3cret");
    QVERIFY(before.wait());
    QVERIFY(before.accepted());
    f.server->SetToken("n3w");
    TokenTry old(endpoint, port, "127.0.0.1", "s3cret");
    TokenTry renewed(endpoint, port, "127.0.0.1", "n3w");
    QVERIFY(old.wait());
    QVERIFY(renewed.wait());
    QVERIFY(!old.accepted());
    QVERIFY(renewed.accepted());
}

// The same token again (the file read again unchanged) ends nothing.
void HostileClientsTest::aNewTokenEndsTheSessionsOfTheOld()
{
    ServerFixture f(WebOptions("s3cret"));
    QVERIFY2(f.started(), qPrintable(f.startError()));
    const quint16 port = f.server->HttpPort();
    const HttpAnswer login =
        HttpExchange(port).send(JsonPost("/api/v1/login", {{"token", "s3cret"}}));
    QCOMPARE(login.status, 200);
    const QByteArray status =
        Request("GET", "/api/v1/status",
                "Cookie: " + login.header("set-cookie").split(';').first() + "\r\n");
    f.server->SetToken("s3cret");
    QCOMPARE(HttpExchange(port).send(status).status, 200);
    f.server->SetToken("n3w");
    QCOMPARE(HttpExchange(port).send(status).status, 401);
}

// 30 raw clients queue their whole allowance and leave; an honest route then waits for one
// command at most (the one already in its pause), not for 7,680.
void HostileClientsTest::clientsThatLeaveTakeTheirCommandsWithThem()
{
    ServerOptions options = TestOptions();
    options.pollMs = 60000;
    options.maxClientsPerAddress = 64;
    options.maxQueued = 30 * 256;
    ServerFixture f(options);
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    for (int i = 0; i < 30; ++i) {
        JsonClient client(f.apiPort());
        QByteArray requests;
        for (int n = 0; n < 256; ++n)
            requests += "{\"id\":" + QByteArray::number(n) +
                        ",\"cmd\":\"route\",\"input\":" + QByteArray::number(n % 4 + 1) +
                        ",\"output\":" + QByteArray::number(n % 4 + 1) + "}\n";
        client.sendBytes(requests);
        QTest::qWait(30); // read and queued: nothing answers before its command is on the wire
        client.socket().abort();
    }
    QTest::qWait(100);
    const size_t before = f.clientCommands().size(); // sent while the others were queueing
    JsonClient honest(f.apiPort());
    const Clock::time_point asked = Clock::now();
    QCOMPARE(
        honest.request({{"cmd", "route"}, {"input", 3}, {"output", 2}, {"wait", true}}, 5000)["ok"]
            .toBool(),
        true);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked);
    QVERIFY2(ms.count() < 1000, qPrintable(QString::number(ms.count())));
    // At most one of the departed clients' commands in its pause, and the honest one.
    QTest::qWait(300);
    QVERIFY2(f.clientCommands().size() - before <= 2,
             qPrintable(QString::number(f.clientCommands().size() - before)));
}

void HostileClientsTest::queuedCommandsAreBoundedOverAllClients()
{
    ServerOptions options = TestOptions();
    options.maxQueued = 6;
    ServerFixture f(options);
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    JsonClient first(f.apiPort());
    JsonClient second(f.apiPort());
    // Each route to four outputs is four commands; three of the first's at least still wait.
    first.send({{"id", 1}, {"cmd", "route"}, {"input", 2}, {"output", QJsonArray{1, 2, 3, 4}}});
    QTest::qWait(20);
    const QJsonObject refused =
        second.request({{"cmd", "route"}, {"input", 3}, {"output", QJsonArray{1, 2, 3, 4}}});
    QCOMPARE(refused["error"].toObject()["code"].toString(), "queue_full");
    QVERIFY2(refused["error"].toObject()["message"].toString().contains("6 commands"),
             qPrintable(refused["error"].toObject()["message"].toString()));
    QVERIFY(second.connected());
    QCOMPARE(second.request({{"cmd", "route"}, {"input", 3}, {"output", 1}})["ok"].toBool(), true);
    QCOMPARE(first.reply(1)->object["ok"].toBool(), true);
}

void HostileClientsTest::webSocketHandshakesQtWouldNotFinishAreRefused_data()
{
    QTest::addColumn<QByteArray>("handshake");
    const QByteArray key = "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==";
    const QByteArray upgrade = "Upgrade: websocket\r\nConnection: Upgrade\r\n";
    QByteArray lfOnly = "GET /api/v1/ws HTTP/1.1\r\nHost: 127.0.0.1\r\n" + upgrade + key +
                        "\r\nSec-WebSocket-Version: 13\r\n\r\n";
    lfOnly.replace("\r\n", "\n");
    QTest::addRow("LF-only line ends") << lfOnly;
    QTest::addRow("no Sec-WebSocket-Key") << "GET /api/v1/ws HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                                                 upgrade + "Sec-WebSocket-Version: 13\r\n\r\n";
}

void HostileClientsTest::webSocketHandshakesQtWouldNotFinishAreRefused()
{
    QFETCH(QByteArray, handshake);
    ServerFixture f(WebOptions());
    QVERIFY2(f.started(), qPrintable(f.startError()));
    HttpExchange client(f.server->HttpPort());
    const HttpAnswer answer = client.send(handshake, 3000);
    QCOMPARE(answer.status, 400);
    QCOMPARE(answer.errorCode(), "bad_request");
}

QTEST_GUILESS_MAIN(HostileClientsTest)
#include "tst_hostile_clients.moc"
