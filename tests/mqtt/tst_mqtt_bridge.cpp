// The MQTT bridge against a real broker, with the server in this process on a simulated matrix:
// what a command topic puts on the wire, what is refused and how, and what the broker holds
// afterwards, state and Home Assistant discovery alike.
#include "BridgeFixture.h"
#include "MosquittoBroker.h"
#include "ServeProcess.h"
#include "ServerFixture.h"

#include "MatrixLink.h"
#include "TavloVersion.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>
#include <set>

using namespace mqtt_test;
using server_test::ServerFixture;

namespace {

using Topics = std::map<QString, QByteArray>;

QJsonObject parsed(const QByteArray& json) { return QJsonDocument::fromJson(json).object(); }

// What clients had the matrix receive, in a form QCOMPARE shows when it differs.
QStringList wire(const ServerFixture& server)
{
    QStringList commands;
    for (const std::string& command : server.clientCommandBytes())
        commands.append(QString::fromLatin1(command));
    return commands;
}

QByteArray onOff(const QJsonValue& value) { return value.toBool() ? "on" : "off"; }

// What the broker should hold below the base for this state document, written out here
// field by field from the document's description rather than by the bridge's code.
Topics expectedState(const QJsonObject& doc)
{
    Topics t;
    t[kBase + "availability"] = "online";
    t[kBase + "device/model"] = doc["device"]["model"].toString().toUtf8();
    t[kBase + "device/firmware"] = doc["device"]["firmware"].toString().toUtf8();
    const QJsonArray inputs = doc["inputs"].toArray();
    for (const QJsonValue& input : inputs) {
        const QString at = kBase + QStringLiteral("input/%1/").arg(input["number"].toInt());
        t[at + "name"] = input["name"].toString().toUtf8();
        t[at + "audio"] = input["audio"].toString().toUtf8();
        const std::map<QString, QByteArray> audioNames{
            {"off", "Off"}, {"h", "HDMI"}, {"a", "Analog"}};
        t[at + "audio_name"] = audioNames.at(input["audio"].toString());
        t[at + "edid"] = QJsonDocument(input["edid"].toObject()).toJson(QJsonDocument::Compact);
    }
    for (const QJsonValue& output : doc["outputs"].toArray()) {
        const QString at = kBase + QStringLiteral("output/%1/").arg(output["number"].toInt());
        const int routed = output["input"].toInt();
        t[at + "input"] = QByteArray::number(routed);
        t[at + "input_name"] = inputs[routed - 1]["name"].toString().toUtf8();
        t[at + "hdmi_name"] = output["hdmiName"].toString().toUtf8();
        t[at + "hdbt_name"] = output["hdbtName"].toString().toUtf8();
        t[at + "audio/iis"] = onOff(output["audio"]["iis"]);
        t[at + "audio/spdif"] = onOff(output["audio"]["spdif"]);
    }
    for (const QJsonValue& scene : doc["scenes"].toArray())
        t[kBase + QStringLiteral("scene/%1/name").arg(scene["number"].toInt())] =
            scene["name"].toString().toUtf8();
    const QJsonObject edid = doc["edidNames"].toObject();
    const std::pair<const char*, const char*> lists[] = {{"builtIn", "builtin"},
                                                         {"user", "user"},
                                                         {"hdmiSinks", "hdmi_sink"},
                                                         {"hdbtSinks", "hdbt_sink"}};
    for (const auto& [field, level] : lists) {
        const QJsonArray names = edid[field].toArray();
        for (qsizetype k = 0; k < names.size(); ++k)
            t[kBase + QStringLiteral("edid/%1/%2/name").arg(level).arg(k + 1)] =
                names[k].toString().toUtf8();
    }
    t[kBase + "network"] = QJsonDocument(doc["network"].toObject()).toJson(QJsonDocument::Compact);
    return t;
}

} // namespace

class MqttBridgeTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void refusedCommandsAreAnsweredAndLeaveTheWireAlone_data();
    void refusedCommandsAreAnsweredAndLeaveTheWireAlone();
    void retainedStateMatchesStatusJson();
    void aChangePublishesOnlyWhatChanged();
    void aNameChangeUpdatesTheDiscoveryOptions();
    void discoveryDescribesOneDeviceAndItsState();
    void commandsReachTheWireAsExactlyTheirCommands_data();
    void commandsReachTheWireAsExactlyTheirCommands();
    void availabilityFollowsTheSerialLine();

private:
    // The state document as `tavloctl status --json` prints it through the server.
    QJsonObject statusJson();

    std::unique_ptr<MosquittoBroker> broker_;
    std::unique_ptr<ServerFixture> server_;
    std::unique_ptr<MqttProbe> probe_; // everything below the base, from the start
};

void MqttBridgeTest::initTestCase()
{
    broker_ = std::make_unique<MosquittoBroker>();
    QString error;
    QVERIFY2(broker_->Start(&error), qPrintable(error));
    probe_ = std::make_unique<MqttProbe>(broker_->Port(), kBase + "#");
    QVERIFY(probe_->connected());
    ServerOptions options = BridgeServerOptions(TestMqtt(broker_->Port()));
    options.pollMs = 1000; // a status poll within every settle below: it must publish nothing
    server_ = std::make_unique<ServerFixture>(options);
    QVERIFY2(server_->started(), qPrintable(server_->startError()));
    QVERIFY(server_->waitAcquired());
    QVERIFY(WaitOnline(*probe_));
}

void MqttBridgeTest::cleanupTestCase()
{
    probe_.reset();
    server_.reset();
    broker_.reset();
}

QJsonObject MqttBridgeTest::statusJson()
{
    const QString port = QStringLiteral("socket://127.0.0.1:%1").arg(server_->rawPort());
    const server_test::ToolRun run = server_test::RunTavloctl({"--port", port, "status", "--json"});
    if (run.exitCode != 0)
        qWarning() << run.err;
    return parsed(run.out);
}

void MqttBridgeTest::refusedCommandsAreAnsweredAndLeaveTheWireAlone_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("says");

    const auto row = [](const char* name, const char* command, const QByteArray& payload,
                        const char* code, const char* says) {
        QTest::newRow(name) << command << payload << code << says;
    };
    row("input out of range", "output/2/input", "9", "bad_value", "not '9'");
    row("output out of range", "output/5/input", "1", "bad_value", "output must be");
    row("no input of that name", "output/2/input", "Nowhere", "bad_value", "'Nowhere'");
    row("unknown audio mode", "input/1/audio", "loud", "bad_value", "off, h, a");
    row("switch neither on nor off", "output/1/audio/iis", "maybe", "bad_value", "off, on");
    row("scene out of range", "scene/9", "recall", "bad_value", "scene must be");
    row("unknown scene action", "scene/1", "delete", "bad_value", "save, recall");
    row("name too long", "input/1/name", "a name far longer than sixteen bytes", "bad_name", "");
    row("name with #", "output/1/hdmi_name", "bad#name", "bad_name", "");
    row("edid not JSON", "input/1/edid", "user 2", "bad_request", "JSON object");
    row("edid source out of range", "input/1/edid", R"({"mode":"user","source":9})", "bad_value",
        "");
    row("raw text beyond code page 936", "send", "\xF0\x9F\x98\x80", "bad_text", "936");
    row("restart unconfirmed", "reboot", "yes", "needs_confirmation", "'confirm'");
    row("factory reset unconfirmed", "factory", "yes", "needs_confirmation", "'confirm'");
    row("no such command", "output/1/colour", "red", "unknown_command", "docs/mqtt.md");
    row("not UTF-8", "input/1/name", "\xFF\xFE", "bad_request", "UTF-8");
    row("payload too large", "send", QByteArray(70000, 'x'), "bad_request", "more than");
}

void MqttBridgeTest::refusedCommandsAreAnsweredAndLeaveTheWireAlone()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, payload);
    QFETCH(QString, code);
    QFETCH(QString, says);
    server_->sim.ClearCommandLog();
    probe_->forget();
    const QString topic = SetTopic(command);
    QVERIFY(probe_->publish(topic, payload));
    const std::optional<QJsonObject> error = WaitError(*probe_, topic);
    QVERIFY2(error, "no answer on the error topic");
    QCOMPARE((*error)["code"].toString(), code);
    QVERIFY2((*error)["message"].toString().contains(says),
             qPrintable((*error)["message"].toString()));
    QTest::qWait(150); // longer than the pause a command would take to reach the wire
    QCOMPARE(wire(*server_), QStringList());
}

void MqttBridgeTest::retainedStateMatchesStatusJson()
{
    const QJsonObject doc = statusJson();
    QVERIFY(!doc.isEmpty());
    Topics expected = expectedState(doc);
    Topics actual = Held(broker_->Port(), kBase + "#");
    // JSON payloads are compared as documents, not as bytes.
    for (const char* json :
         {"network", "input/1/edid", "input/2/edid", "input/3/edid", "input/4/edid"}) {
        const QString topic = kBase + json;
        QCOMPARE(parsed(actual[topic]), parsed(expected[topic]));
        actual.erase(topic);
        expected.erase(topic);
    }
    QCOMPARE(actual, expected);
}

void MqttBridgeTest::aChangePublishesOnlyWhatChanged()
{
    const QString topic = kBase + "output/2/input";
    const int next = Latest(*probe_, topic).toInt() % 4 + 1;
    probe_->forget();
    QVERIFY(probe_->publish(SetTopic("output/2/input"), QByteArray::number(next)));
    QVERIFY(probe_->waitFor(topic, QByteArray::number(next)));
    probe_->settle(1500); // over a status poll: it changes nothing, so it publishes nothing
    std::set<QString> published;
    for (const MqttProbe::Message& message : probe_->messages()) {
        if (!message.topic.endsWith("/set"))
            published.insert(message.topic);
    }
    QCOMPARE(published, (std::set<QString>{topic, kBase + "output/2/input_name"}));
}

void MqttBridgeTest::aNameChangeUpdatesTheDiscoveryOptions()
{
    MqttProbe discovery(broker_->Port(), "homeassistant/#");
    discovery.settle();
    discovery.forget();
    QVERIFY(probe_->publish(SetTopic("input/2/name"), "Camera"));
    QVERIFY(probe_->publish(SetTopic("scene/3/name"), "Morning"));
    for (int output = 1; output <= 4; ++output) {
        const QString config =
            QStringLiteral("homeassistant/select/tavlo_m1/output%1/config").arg(output);
        const auto offered = discovery.waitFor([&](const MqttProbe::Message& m) {
            return m.topic == config && parsed(m.payload)["options"][1] == "Camera";
        });
        QVERIFY2(offered, qPrintable(config));
    }
    QVERIFY(discovery.waitFor([](const MqttProbe::Message& m) {
        return m.topic == "homeassistant/button/tavlo_m1/scene3/config" &&
               parsed(m.payload)["name"] == "Recall Morning";
    }));
    discovery.settle();
    std::set<QString> republished;
    for (const MqttProbe::Message& message : discovery.messages())
        republished.insert(message.topic);
    QCOMPARE(republished.size(), size_t(5)); // the four selects and the one button
    // The new name routes at once.
    server_->sim.ClearCommandLog();
    QVERIFY(probe_->publish(SetTopic("output/1/input"), "Camera"));
    QVERIFY(QTest::qWaitFor([&] { return !server_->clientCommands().empty(); }, 3000));
    QCOMPARE(wire(*server_), QStringList{"#video_d out1 matrix=2"});
}

void MqttBridgeTest::discoveryDescribesOneDeviceAndItsState()
{
    const QJsonObject doc = statusJson();
    const Topics configs = Held(broker_->Port(), "homeassistant/#");
    const Topics state = Held(broker_->Port(), kBase + "#");
    std::map<QString, int> components;
    std::set<QString> uniqueIds;
    QJsonArray inputNames;
    for (const QJsonValue& input : doc["inputs"].toArray())
        inputNames.append(input["name"]);
    for (const auto& [topic, payload] : configs) {
        const QJsonObject config = parsed(payload);
        ++components[topic.section('/', 1, 1)];
        uniqueIds.insert(config["unique_id"].toString());
        QCOMPARE(config["availability_topic"].toString(), kBase + "availability");
        QCOMPARE(config["device"]["identifiers"].toArray(), QJsonArray{"tavlo_m1"});
        QCOMPARE(config["device"]["model"], doc["device"]["model"]);
        QCOMPARE(config["device"]["sw_version"], doc["device"]["firmware"]);
        QCOMPARE(config["origin"].toObject(),
                 (QJsonObject{{"name", "Tavlo"}, {"sw_version", TAVLO_VERSION}}));
        if (config.contains("state_topic"))
            QVERIFY2(state.count(config["state_topic"].toString()), qPrintable(topic));
        if (config.contains("command_topic"))
            QVERIFY(config["command_topic"].toString().startsWith(kBase));
        if (topic.contains("/select/tavlo_m1/output")) {
            QCOMPARE(config["options"].toArray(), inputNames);
            QVERIFY(inputNames.contains(QString(state.at(config["state_topic"].toString()))));
        }
    }
    QCOMPARE(components,
             (std::map<QString, int>{{"button", 8}, {"select", 8}, {"sensor", 2}, {"switch", 8}}));
    QCOMPARE(uniqueIds.size(), configs.size());
}

void MqttBridgeTest::commandsReachTheWireAsExactlyTheirCommands_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("sent");

    const auto row = [](const char* command, const QByteArray& payload, const QByteArray& sent) {
        QTest::newRow(command + (" " + payload)) << command << payload << sent;
    };
    row("output/2/input", "3", "#video_d out2 matrix=3");
    row("output/all/input", "2", "#video_d out0 matrix=2");
    row("output/4/input", "Input4", "#video_d out4 matrix=4"); // by name
    row("output/1/input", " 4\n", "#video_d out1 matrix=4");
    row("scene/5", "save", "#group5 exe=1");
    row("scene/5", "recall", "#group5 exe=2");
    row("scene/2/name", "Lecture", "#group2 exe=1 name=Lecture");
    row("input/1/name", "B\xC3\xBChne", "#port in1 name=B\xA8\xB9hne"); // sent in code page 936
    row("output/3/hdmi_name", "Stage", "#port hdmi3 name=Stage");
    row("output/3/hdbt_name", "Lobby", "#port hdbt3 name=Lobby");
    row("input/2/audio", "a", "#audio_d in2 enc=2");
    row("input/all/audio", "OFF", "#audio_d in0 enc=0");
    row("output/1/audio/iis", "off", "#audio_d out1 iis=0");
    row("output/all/audio/spdif", "on", "#audio_d out0 spdif=1");
    row("input/3/edid", R"({"mode": "user", "source": 2})", "#edid_d in3 mode=1 data=2");
    row("send", "hello\nmatrix", "hello\r\nmatrix");
    row("factory", "confirm", "#factory");
    row("reboot", "confirm", "#power start=1");
}

void MqttBridgeTest::commandsReachTheWireAsExactlyTheirCommands()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, sent);
    server_->sim.ClearCommandLog();
    probe_->forget();
    QVERIFY(probe_->publish(SetTopic(command), payload));
    QVERIFY(QTest::qWaitFor([&] { return !server_->clientCommands().empty(); }, 3000));
    QTest::qWait(250); // nothing more follows
    QCOMPARE(wire(*server_), QStringList{QString::fromLatin1(sent)});
    QVERIFY(!WaitError(*probe_, SetTopic(command), 0));
}

void MqttBridgeTest::availabilityFollowsTheSerialLine()
{
    probe_->forget();
    server_->sim.CloseLine();
    QVERIFY(probe_->waitFor(kBase + "availability", "offline"));
    QVERIFY(probe_->publish(SetTopic("output/1/input"), "2"));
    const std::optional<QJsonObject> error = WaitError(*probe_, SetTopic("output/1/input"));
    QVERIFY(error);
    QCOMPARE((*error)["code"].toString(), "link_down");
}

QTEST_GUILESS_MAIN(MqttBridgeTest)
#include "tst_mqtt_bridge.moc"
