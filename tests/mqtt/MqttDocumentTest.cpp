// docs/mqtt.md held to what the bridge really publishes on a real broker: the state topics it
// lists are exactly those retained, every command topic it lists is one the bridge knows, and
// each JSON example has the shape of the message it stands for.
#include "ApiDocument.h"
#include "BridgeFixture.h"
#include "MosquittoBroker.h"
#include "ServerFixture.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using namespace mqtt_test;

void needApplication()
{
    static int argc = 1;
    static char name[] = "mqtt_document_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

std::string readDocument()
{
    QFile file(QStringLiteral(TAVLO_SOURCE_DIR "/docs/mqtt.md"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// "output/2/audio/iis" → "output/N/audio/iis", as the document writes topics.
std::string pattern(QString topic)
{
    static const QRegularExpression number(QStringLiteral("(^|/)\\d+(?=/|$)"));
    return topic.replace(number, QStringLiteral("\\1N")).toStdString();
}

std::string lines(const std::vector<std::string>& texts)
{
    std::string out;
    for (const std::string& text : texts)
        out += "\n  " + text;
    return out;
}

class MqttDocument : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        needApplication();
        broker = new MosquittoBroker;
        QString error;
        ASSERT_TRUE(broker->Start(&error)) << error.toStdString();
        probe = new MqttProbe(broker->Port(), "#");
        server = new server_test::ServerFixture(BridgeServerOptions(TestMqtt(broker->Port())));
        ASSERT_TRUE(server->started()) << server->startError().toStdString();
        ASSERT_TRUE(server->waitAcquired());
        ASSERT_TRUE(WaitOnline(*probe));
        probe->settle();
    }
    static void TearDownTestSuite()
    {
        delete probe;
        delete server;
        delete broker;
    }
    void SetUp() override { markdown = readDocument(); }

    std::string markdown;
    static MosquittoBroker* broker;
    static server_test::ServerFixture* server;
    static MqttProbe* probe;
};

MosquittoBroker* MqttDocument::broker = nullptr;
server_test::ServerFixture* MqttDocument::server = nullptr;
MqttProbe* MqttDocument::probe = nullptr;

TEST_F(MqttDocument, namesExactlyTheStateTopicsPublished)
{
    std::set<std::string> published;
    for (const auto& [topic, payload] : Held(broker->Port(), kBase + "#")) {
        if (topic.startsWith(kBase))
            published.insert(pattern(topic.mid(kBase.size())));
    }
    EXPECT_EQ(DocumentedNames(markdown, "State topics"), published);
}

// A payload no command can read gets bad_request from a topic the bridge knows, and
// unknown_command from any other.
TEST_F(MqttDocument, namesOnlyCommandTopicsTheBridgeKnows)
{
    const std::set<std::string> commands = DocumentedNames(markdown, "Command topics");
    EXPECT_EQ(commands.size(), 13u);
    for (const std::string& command : commands) {
        const QString topic = kBase + QString::fromStdString(command).replace('N', '1');
        probe->forget();
        ASSERT_TRUE(probe->publish(topic, "\xFF"));
        const std::optional<QJsonObject> error = WaitError(*probe, topic);
        ASSERT_TRUE(error) << command;
        EXPECT_EQ((*error)["code"].toString().toStdString(), "bad_request") << command;
    }
}

TEST_F(MqttDocument, examplesHaveTheShapeOfWhatIsPublished)
{
    probe->forget();
    const QString refused = SetTopic("output/2/input");
    ASSERT_TRUE(probe->publish(refused, "9"));
    const std::optional<QJsonObject> error = WaitError(*probe, refused);
    ASSERT_TRUE(error);
    std::map<QString, QByteArray> published = Held(broker->Port(), "#");
    const std::map<std::string, QJsonValue> produced = {
        {"input-edid", QJsonDocument::fromJson(published[kBase + "input/1/edid"]).object()},
        {"network", QJsonDocument::fromJson(published[kBase + "network"]).object()},
        {"error", *error},
        {"discovery-select",
         QJsonDocument::fromJson(published["homeassistant/select/tavlo_m1/output1/config"])
             .object()},
        {"discovery-button",
         QJsonDocument::fromJson(published["homeassistant/button/tavlo_m1/scene1/config"])
             .object()},
        {"discovery-switch",
         QJsonDocument::fromJson(published["homeassistant/switch/tavlo_m1/output1_iis/config"])
             .object()},
        {"discovery-sensor",
         QJsonDocument::fromJson(published["homeassistant/sensor/tavlo_m1/firmware/config"])
             .object()},
    };
    const std::vector<std::string> names = ExampleNames(markdown);
    EXPECT_EQ(names.size(), produced.size());
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(produced.count(name)) << "an example no message stands behind";
        ASSERT_FALSE(produced.at(name).toObject().isEmpty()) << "nothing published";
        const auto differences =
            ShapeDifferences(DocumentExample(markdown, name), produced.at(name));
        EXPECT_TRUE(differences.empty()) << lines(differences);
    }
}

} // namespace
