// The page's endpoint over loopback sockets, on a simulated matrix: the REST API and its
// answers to good, malformed, oversized and unauthorised requests, and the WebSocket that the
// page lives on. Nothing refused may reach the wire.
#include "HttpExchange.h"
#include "ServerFixture.h"

#include <QJsonArray>
#include <QWebSocket>
#include <QtTest>

using namespace server_test;
using namespace web_test;

namespace {

ServerOptions WebOptions(const QByteArray& token = {})
{
    ServerOptions options = TestOptions();
    options.http = true;
    options.token = token;
    return options;
}

quint16 httpPort(const ServerFixture& f) { return f.server->HttpPort(); }

QJsonObject withoutId(QJsonObject object)
{
    object.remove("id");
    return object;
}

// A client of the page's WebSocket that keeps every message it was sent.
struct SocketClient {
    QWebSocket socket;
    std::vector<QJsonObject> messages;

    explicit SocketClient(quint16 port, const QByteArray& origin = {})
    {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString& text) {
            messages.push_back(QJsonDocument::fromJson(text.toUtf8()).object());
        });
        QNetworkRequest request(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/v1/ws").arg(port)));
        if (!origin.isEmpty())
            request.setRawHeader("Origin", origin);
        socket.open(request);
    }
    bool waitOpen() const
    {
        return QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; },
                               3000);
    }
    std::optional<QJsonObject> waitFor(const std::function<bool(const QJsonObject&)>& match,
                                       int timeoutMs = 3000)
    {
        std::optional<QJsonObject> found;
        (void)QTest::qWaitFor(
            [&] {
                for (const QJsonObject& message : messages)
                    if (match(message))
                        found = message;
                return found.has_value();
            },
            timeoutMs);
        return found;
    }
};

} // namespace

class HttpApiTest : public QObject {
    Q_OBJECT
private slots:
    void requestsGetTheirAnswer_data();
    void requestsGetTheirAnswer();
    void refusalsAreTheJsonEndpointsOwn_data();
    void refusalsAreTheJsonEndpointsOwn();
    void restRouteGoesToTheWireOnceAndWaitsForTheMatrix();
    void oversizedBodyIsRefusedBeforeItIsSent();
    void tokenRule();
    void webSocketCarriesRequestsAndEvents();
    void webSocketIsRefusedWithoutTokenOrFromAnotherSite();
};

void HttpApiTest::requestsGetTheirAnswer_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("code"); // of the error; empty for a success
    QTest::addColumn<bool>("closes");

    const QByteArray json = "Content-Type: application/json\r\n";
    QTest::newRow("the page") << Request("GET", "/") << 200 << "" << false;
    QTest::newRow("the state") << Request("GET", "/api/v1/status?x=1") << 200 << "" << false;
    QTest::newRow("no such file") << Request("GET", "/secret.txt") << 404 << "unknown_command"
                                  << false;
    QTest::newRow("no such request")
        << Request("GET", "/api/v1/frobnicate") << 404 << "unknown_command" << false;
    QTest::newRow("state by POST")
        << JsonPost("/api/v1/status", {}) << 405 << "bad_request" << false;
    QTest::newRow("action by GET")
        << Request("GET", "/api/v1/route") << 405 << "bad_request" << false;
    QTest::newRow("page by DELETE") << Request("DELETE", "/") << 405 << "bad_request" << false;
    QTest::newRow("a form, not JSON")
        << Request("POST", "/api/v1/route", "Content-Type: text/plain\r\n", "input=1&output=2")
        << 415 << "bad_request" << false;
    QTest::newRow("not JSON") << Request("POST", "/api/v1/route", json, "{\"input\":") << 400
                              << "bad_json" << false;
    QTest::newRow("JSON but no object")
        << Request("POST", "/api/v1/route", json, "[1,2]") << 400 << "bad_json" << false;
    QTest::newRow("a field missing")
        << JsonPost("/api/v1/route", {{"input", 1}}) << 400 << "bad_request" << false;
    QTest::newRow("chunked body") << Request("POST", "/api/v1/route",
                                             json + "Transfer-Encoding: chunked\r\n",
                                             "5\r\n{}   \r\n0\r\n\r\n")
                                  << 411 << "bad_request" << true;
    QTest::newRow("two lengths") << Request("POST", "/api/v1/route",
                                            json + "Content-Length: 2\r\nContent-Length: 3\r\n")
                                 << 400 << "bad_request" << true;
    QTest::newRow("head too large")
        << Request("GET", "/", "X-Padding: " + QByteArray(20000, 'a') + "\r\n") << 431
        << "too_large" << true;
    QTest::newRow("not HTTP") << QByteArray("HELLO\r\n\r\n") << 400 << "bad_request" << true;
    QTest::newRow("HTTP/2 by name")
        << QByteArray("GET / HTTP/2.0\r\nHost: x\r\n\r\n") << 505 << "bad_request" << true;
    QTest::newRow("no Host") << QByteArray("GET / HTTP/1.1\r\n\r\n") << 400 << "bad_request"
                             << true;
    QTest::newRow("space before colon")
        << QByteArray("GET / HTTP/1.1\r\nHost : 127.0.0.1\r\n\r\n") << 400 << "bad_request" << true;
    QTest::newRow("another site's page") << JsonPost("/api/v1/route", {{"input", 1}, {"output", 2}},
                                                     "Origin: http://example.com\r\n")
                                         << 403 << "forbidden" << false;
    QTest::newRow("a name another site may point here")
        << QByteArray("GET /api/v1/status HTTP/1.1\r\nHost: example.com\r\n\r\n") << 403
        << "forbidden" << false;
    QTest::newRow("the WebSocket, not asked for as one")
        << Request("GET", "/api/v1/ws") << 400 << "bad_request" << false;
    QTest::newRow("HTTP/1.0 closes")
        << QByteArray("GET /api/v1/status HTTP/1.0\r\n\r\n") << 200 << "" << true;
}

void HttpApiTest::requestsGetTheirAnswer()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(QString, code);
    QFETCH(bool, closes);
    ServerFixture f(WebOptions());
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    HttpExchange exchange(httpPort(f));
    const HttpAnswer answer = exchange.send(request);
    QCOMPARE(answer.status, status);
    QCOMPARE(answer.errorCode(), code);
    QCOMPARE(answer.closed, closes);
    QCOMPARE(answer.header("X-Content-Type-Options"), "nosniff");
    QVERIFY(answer.header("Access-Control-Allow-Origin").isEmpty());
    if (!closes) // the connection goes on serving
        QCOMPARE(exchange.send(Request("GET", "/api/v1/status")).status, 200);
    QTest::qWait(150);
    QVERIFY(f.clientCommands().empty());
}

void HttpApiTest::refusalsAreTheJsonEndpointsOwn_data()
{
    QTest::addColumn<QByteArray>("cmd");
    QTest::addColumn<QJsonObject>("fields");
    QTest::newRow("input out of range")
        << QByteArray("route") << QJsonObject{{"input", 5}, {"output", 1}};
    QTest::newRow("output of the wrong type")
        << QByteArray("route") << QJsonObject{{"input", 1}, {"output", true}};
    QTest::newRow("name too long")
        << QByteArray("name")
        << QJsonObject{{"kind", "hdmi"}, {"port", 1}, {"name", "a name far too long to keep"}};
    QTest::newRow("restart unconfirmed") << QByteArray("reboot") << QJsonObject{};
    QTest::newRow("address with a leading zero")
        << QByteArray("ip")
        << QJsonObject{{"ip", "192.168.1.010"}, {"mask", "255.255.255.0"}, {"gateway", "1.1.1.1"}};
}

// The same request over REST and over the JSON endpoint meets the same refusal, word for word.
void HttpApiTest::refusalsAreTheJsonEndpointsOwn()
{
    QFETCH(QByteArray, cmd);
    QFETCH(QJsonObject, fields);
    ServerFixture f(WebOptions());
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    HttpExchange exchange(httpPort(f));
    const HttpAnswer rest = exchange.send(JsonPost("/api/v1/" + cmd, fields));
    JsonClient json(f.apiPort());
    QJsonObject request = fields;
    request.insert("cmd", QString::fromLatin1(cmd));
    const QJsonObject reply = json.request(request);
    QCOMPARE(reply["ok"].toBool(), false);
    QCOMPARE(rest.json(), withoutId(reply));
    QCOMPARE(rest.status, 400);
    QVERIFY(f.clientCommands().empty());
}

void HttpApiTest::restRouteGoesToTheWireOnceAndWaitsForTheMatrix()
{
    ServerFixture f(WebOptions());
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    HttpExchange exchange(httpPort(f));
    const HttpAnswer sent = exchange.send(JsonPost("/api/v1/route", {{"input", 3}, {"output", 2}}));
    QCOMPARE(sent.status, 200);
    QCOMPARE(sent.json(), (QJsonObject{{"ok", true}, {"sent", 1}}));
    const HttpAnswer confirmed = exchange.send(
        JsonPost("/api/v1/route", {{"input", 4}, {"output", QJsonArray{1, 4}}, {"wait", true}}));
    QCOMPARE(confirmed.status, 200);
    const QJsonArray outputs = confirmed.json()["state"].toObject()["outputs"].toArray();
    QCOMPARE(outputs.at(0).toObject()["input"].toInt(), 4);
    QCOMPARE(outputs.at(3).toObject()["input"].toInt(), 4);
    QCOMPARE(f.clientCommandBytes(),
             (std::vector<std::string>{"#video_d out2 matrix=3", "#video_d out1 matrix=4",
                                       "#video_d out4 matrix=4"}));
    // Closing after the answer that ends a wait leaves the server serving.
    const HttpAnswer last = exchange.send(JsonPost(
        "/api/v1/route", {{"input", 1}, {"output", 1}, {"wait", true}}, "Connection: close\r\n"));
    QCOMPARE(last.status, 200);
    QVERIFY(last.closed);
    QCOMPARE(HttpExchange(httpPort(f)).send(Request("GET", "/api/v1/status")).status, 200);
}

void HttpApiTest::oversizedBodyIsRefusedBeforeItIsSent()
{
    ServerFixture f(WebOptions());
    QVERIFY2(f.started(), qPrintable(f.startError()));
    HttpExchange exchange(httpPort(f));
    // Only the head: the refusal must not wait for ten megabytes.
    const HttpAnswer answer = exchange.send(
        "POST /api/v1/route HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
        "Content-Length: 10000000\r\n\r\n");
    QCOMPARE(answer.status, 413);
    QCOMPARE(answer.errorCode(), "too_large");
    QVERIFY(answer.closed);
}

void HttpApiTest::tokenRule()
{
    ServerFixture f(WebOptions("s3cret"));
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    const auto status = [&](const QByteArray& headers) {
        return HttpExchange(httpPort(f)).send(Request("GET", "/api/v1/status", headers));
    };
    QCOMPARE(status({}).status, 401);
    QCOMPARE(status({}).errorCode(), "unauthorized");
    QCOMPARE(status("Authorization: Bearer guess\r\n").status, 401);
    QCOMPARE(status("Cookie: tavlo_session=guess\r\n").status, 401);
    QCOMPARE(status("Authorization: Bearer s3cret\r\n").status, 200);
    QCOMPARE(HttpExchange(httpPort(f)).send(Request("GET", "/")).status, 200); // the login
    const QByteArray route = JsonPost("/api/v1/route", {{"input", 2}, {"output", 1}});
    QCOMPARE(HttpExchange(httpPort(f)).send(route).status, 401);

    HttpExchange guesser(httpPort(f)); // a 401 ends its connection: no second guess on it
    const HttpAnswer wrong = guesser.send(JsonPost("/api/v1/login", {{"token", "guess"}}));
    QCOMPARE(wrong.status, 401);
    QVERIFY(wrong.closed);
    HttpExchange browser(httpPort(f));
    const HttpAnswer login = browser.send(JsonPost("/api/v1/login", {{"token", "s3cret"}}));
    QCOMPARE(login.status, 200);
    const QByteArray cookie = login.header("Set-Cookie");
    QVERIFY2(cookie.contains("; HttpOnly") && cookie.contains("; SameSite=Strict"), cookie);
    const QByteArray session = "Cookie: " + cookie.split(';').first() + "\r\n";
    QCOMPARE(status(session).status, 200);
    QVERIFY(f.clientCommands().empty());
    QCOMPARE(browser.send(JsonPost("/api/v1/route", {{"input", 2}, {"output", 1}}, session)).status,
             200);
    QCOMPARE(browser.send(Request("POST", "/api/v1/logout", session)).status, 200);
    QCOMPARE(status(session).status, 401);
    QTest::qWait(300);
    QCOMPARE(f.clientCommandBytes(), std::vector<std::string>{"#video_d out1 matrix=2"});
}

void HttpApiTest::webSocketCarriesRequestsAndEvents()
{
    ServerFixture f(WebOptions());
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    SocketClient client(httpPort(f), "http://127.0.0.1:" + QByteArray::number(httpPort(f)));
    QVERIFY(client.waitOpen());
    client.socket.sendTextMessage(R"({"id":1,"cmd":"subscribe"})");
    QVERIFY(client.waitFor([](const QJsonObject& m) { return m["id"] == 1 && m["ok"] == true; }));
    QVERIFY(client.waitFor([](const QJsonObject& m) { return m["event"] == "link"; }));
    QVERIFY(client.waitFor([](const QJsonObject& m) { return m["event"] == "state"; }));
    client.messages.clear();

    client.socket.sendTextMessage(R"({"id":2,"cmd":"route","input":4,"output":3})");
    QVERIFY(client.waitFor([](const QJsonObject& m) { return m["id"] == 2 && m["sent"] == 1; }));
    const auto routed = [](const QJsonObject& m) {
        return m["event"] == "state" &&
               m["state"]["outputs"].toArray().at(2).toObject()["input"] == 4;
    };
    QVERIFY(client.waitFor(routed, 1500));
    QCOMPARE(f.clientCommandBytes(), std::vector<std::string>{"#video_d out3 matrix=4"});

    client.socket.sendTextMessage("{\"id\":");
    QVERIFY(
        client.waitFor([](const QJsonObject& m) { return m["id"].isNull() && !m["ok"].toBool(); }));
    client.socket.sendTextMessage(R"({"id":3,"cmd":"route","input":9,"output":3})");
    const auto refused = client.waitFor([](const QJsonObject& m) { return m["id"] == 3; });
    QVERIFY(refused);
    QCOMPARE((*refused)["error"].toObject()["code"].toString(), "bad_value");

    // A message over the bound ends the socket, as a line over it ends a JSON client.
    client.socket.sendTextMessage(QString(70 * 1024, 'x'));
    QVERIFY(QTest::qWaitFor(
        [&] { return client.socket.state() == QAbstractSocket::UnconnectedState; }, 3000));
    QCOMPARE(client.socket.closeCode(), QWebSocketProtocol::CloseCodeTooMuchData);
    QCOMPARE(f.clientCommandBytes().size(), size_t(1));
}

void HttpApiTest::webSocketIsRefusedWithoutTokenOrFromAnotherSite()
{
    ServerFixture f(WebOptions("s3cret"));
    QVERIFY2(f.started(), qPrintable(f.startError()));
    SocketClient anonymous(httpPort(f));
    QVERIFY(!anonymous.waitOpen());
    const QByteArray upgrade = "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                               "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                               "Sec-WebSocket-Version: 13\r\n";
    QCOMPARE(HttpExchange(httpPort(f)).send(Request("GET", "/api/v1/ws", upgrade)).status, 401);
    const QByteArray bearer = "Authorization: Bearer s3cret\r\n";
    const QByteArray foreign = "Origin: http://example.com\r\n";
    QCOMPARE(HttpExchange(httpPort(f))
                 .send(Request("GET", "/api/v1/ws", upgrade + bearer + foreign))
                 .status,
             403);
    HttpExchange allowed(httpPort(f));
    allowed.socket().write(Request("GET", "/api/v1/ws", upgrade + bearer));
    QVERIFY(QTest::qWaitFor([&] { return allowed.socket().bytesAvailable() > 0; }, 3000));
    QVERIFY(allowed.socket().readAll().startsWith("HTTP/1.1 101 "));
}

QTEST_GUILESS_MAIN(HttpApiTest)
#include "tst_http_api.moc"
