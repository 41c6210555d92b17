// docs/api.md held to real exchanges with the server: every documented request is sent as it
// stands, and its reply, the events and the error replies are compared with the documented
// examples field by field and type by type; the field and code tables must name exactly what
// the server produces.
#include "ApiDocument.h"
#include "ServerErrors.h"
#include "ServerFixture.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace {

using namespace server_test;

void needApplication()
{
    static int argc = 1;
    static char name[] = "api_exchange_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

std::string lines(const std::vector<std::string>& texts)
{
    std::string out;
    for (const std::string& text : texts)
        out += "\n  " + text;
    return out;
}

std::string text(const QJsonValue& value) { return value.toVariant().toString().toStdString(); }

QJsonObject withoutState(QJsonObject object)
{
    object.remove("state");
    return object;
}

class ApiExchange : public ::testing::Test {
protected:
    void SetUp() override
    {
        needApplication();
        markdown = ReadApiDocument();
        stateExample = DocumentExample(markdown, "state").toObject();
    }

    // The message's shape, with its state document held to the state example (plus the
    // server's own fields) and the rest to the documented message.
    void expectLike(const std::string& name, const QJsonObject& produced)
    {
        SCOPED_TRACE(name);
        const QJsonObject documented = DocumentExample(markdown, name).toObject();
        ASSERT_FALSE(produced.isEmpty()) << "nothing produced";
        EXPECT_EQ(text(produced["ok"]), text(documented["ok"]));
        EXPECT_EQ(text(produced["event"]), text(documented["event"]));
        EXPECT_EQ(text(produced["error"].toObject()["code"]),
                  text(documented["error"].toObject()["code"]));
        const auto differences = ShapeDifferences(withoutState(documented), withoutState(produced));
        EXPECT_TRUE(differences.empty()) << lines(differences);
        if (!produced["state"].isObject())
            return;
        QJsonObject state = stateExample;
        state.insert("link", "up");
        state.insert("stale", false);
        const auto stateDifferences = ShapeDifferences(state, produced["state"]);
        EXPECT_TRUE(stateDifferences.empty()) << lines(stateDifferences);
    }

    std::string markdown;
    QJsonObject stateExample;
};

// The fields of the messages, their state documents left out; with a state example, the fields
// the server adds to the state document beside its own are counted too.
std::set<std::string> fieldsOf(const std::vector<QJsonObject>& messages,
                               const QJsonObject& stateExample = {})
{
    std::set<std::string> fields;
    for (const QJsonObject& message : messages) {
        for (const std::string& path : FieldPaths(message)) {
            if (path.rfind("state.", 0) != 0)
                fields.insert(path);
        }
        const QJsonObject state = message["state"].toObject();
        for (auto it = state.begin(); it != state.end() && !stateExample.isEmpty(); ++it) {
            if (!stateExample.contains(it.key()))
                fields.insert(it.key().toStdString());
        }
    }
    return fields;
}

TEST_F(ApiExchange, everyDocumentedRequestGetsItsDocumentedReply)
{
    ServerOptions options = TestOptions();
    options.token = DocumentExample(markdown, "request-auth")["token"].toString().toUtf8();
    ServerFixture f(options);
    ASSERT_TRUE(f.started()) << f.startError().toStdString();
    ASSERT_TRUE(f.waitAcquired());
    JsonClient client(f.apiPort());
    std::vector<QJsonObject> replies;
    int requests = 0;
    for (const std::string& name : ExampleNames(markdown)) {
        if (name.rfind("request-", 0) != 0)
            continue;
        ++requests;
        const QJsonObject request = DocumentExample(markdown, name).toObject();
        client.send(request);
        const auto reply =
            client.waitFor([&](const QJsonObject& o) { return o["id"] == request["id"]; }, 6000);
        replies.push_back(reply ? reply->object : QJsonObject{});
        expectLike("reply-" + name.substr(8), replies.back());
    }
    EXPECT_GE(requests, 18);
    const QByteArray malformed = "{\"id\":1,\"cmd\":\n";
    client.sendBytes(malformed);
    const auto bad = client.waitFor([](const QJsonObject& o) { return o["id"].isNull(); });
    replies.push_back(bad ? bad->object : QJsonObject{});
    expectLike("reply-bad_json", replies.back());
    EXPECT_EQ(DocumentedNames(markdown, "Replies"), fieldsOf(replies, stateExample));
}

TEST_F(ApiExchange, eventsAreTheDocumentedOnes)
{
    ServerFixture f;
    ASSERT_TRUE(f.started()) << f.startError().toStdString();
    ASSERT_TRUE(f.waitAcquired());
    JsonClient client(f.apiPort());
    ASSERT_EQ(client.request({{"cmd", "subscribe"}})["ok"], true);
    std::vector<QJsonObject> events;
    const auto take = [&](const char* name, const std::function<bool(const QJsonObject&)>& match) {
        const auto event = client.waitFor(match);
        events.push_back(event ? event->object : QJsonObject{});
        expectLike(name, events.back());
    };
    take("event-link-up", [](const QJsonObject& o) { return o["state"] == "up"; });
    take("event-state", [](const QJsonObject& o) { return o["state"].isObject(); });
    f.sim.CloseLine();
    take("event-link-down", [](const QJsonObject& o) { return o["state"] == "down"; });
    f.server->Shutdown();
    take("event-shutdown", [](const QJsonObject& o) { return o["event"] == "shutdown"; });
    EXPECT_EQ(DocumentedNames(markdown, "Events"), fieldsOf(events));
}

TEST_F(ApiExchange, everyErrorCodeIsDocumented)
{
    const std::set<std::string> codes(std::begin(ServerError::kAll), std::end(ServerError::kAll));
    EXPECT_EQ(DocumentedNames(markdown, "Errors"), codes);
}

} // namespace
