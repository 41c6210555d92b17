// The bridge when the broker is not there, goes away, comes back, drops a connection at the
// worst moment, wants a password or TLS; and `serve`'s MQTT options. A real broker throughout,
// the server in this process or as `tavloctl serve`.
#include "BridgeFixture.h"
#include "BrokerProxy.h"
#include "MosquittoBroker.h"
#include "ServeProcess.h"
#include "ServerFixture.h"

#include <QFile>
#include <QtTest>
#include <csignal>

using namespace mqtt_test;
using server_test::ServeProcess;
using server_test::ServerFixture;

namespace {

size_t countOf(const std::vector<std::string>& commands, const std::string& command)
{
    return size_t(std::count(commands.begin(), commands.end(), command));
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content)
{
    QFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return file.fileName();
}

} // namespace

class MqttBrokerTest : public QObject {
    Q_OBJECT
private slots:
    void aBrokerDownAtStartIsWaitedForWhileTheMatrixIsServed();
    void aRestartedBrokerGetsEverythingAgainAndNoCommandTwice();
    void aCommandIsCarriedOutOnceAcrossAReconnect();
    void aPasswordBrokerTakesThePasswordFile();
    void aTlsBrokerIsCheckedAgainstItsCa();
    void aSecondBridgeOnTheSameTopicsIsRefused();
    void mqttForgetRemovesTheDeviceAndItsTopics();
    void optionsAreCheckedBeforeAnythingStarts_data();
    void optionsAreCheckedBeforeAnythingStarts();
};

void MqttBrokerTest::aBrokerDownAtStartIsWaitedForWhileTheMatrixIsServed()
{
    MosquittoBroker broker; // not started yet
    ServerFixture f(BridgeServerOptions(TestMqtt(broker.Port())));
    QVERIFY2(f.started(), qPrintable(f.startError()));
    QVERIFY(f.waitAcquired());
    server_test::JsonClient json(f.apiPort());
    const QJsonObject reply =
        json.request({{"cmd", "route"}, {"input", 2}, {"output", 3}, {"wait", true}});
    QVERIFY2(reply["ok"].toBool(), qPrintable(QJsonDocument(reply).toJson()));
    QTest::qWait(1500); // a few failed attempts
    QString error;
    QVERIFY2(broker.Start(&error), qPrintable(error));
    MqttProbe probe(broker.Port(), kBase + "#");
    QVERIFY(WaitOnline(probe, 5000));
    QVERIFY(probe.waitFor(kBase + "output/3/input", "2"));
    MqttProbe discovery(broker.Port(), "homeassistant/#");
    discovery.settle();
    QCOMPARE(discovery.retained().size(), size_t(26));
}

// The broker keeps nothing across its restart: the bridge publishes it all again. Commands
// before, during (over JSON) and after each reach the wire exactly once.
void MqttBrokerTest::aRestartedBrokerGetsEverythingAgainAndNoCommandTwice()
{
    MosquittoBroker broker;
    QString error;
    QVERIFY2(broker.Start(&error), qPrintable(error));
    ServerFixture f(BridgeServerOptions(TestMqtt(broker.Port())));
    QVERIFY(f.started() && f.waitAcquired());
    std::map<QString, QByteArray> before;
    {
        MqttProbe probe(broker.Port(), "#");
        QVERIFY(WaitOnline(probe));
        QVERIFY(probe.publish(SetTopic("output/1/input"), "3"));
        QVERIFY(probe.waitFor(kBase + "output/1/input", "3"));
        probe.settle();
        before = Held(broker.Port(), "#");
    }
    broker.Stop();
    server_test::JsonClient json(f.apiPort());
    QVERIFY(json.request({{"cmd", "route"}, {"input", 4}, {"output", 2}, {"wait", true}})["ok"]
                .toBool());
    QVERIFY2(broker.Start(&error), qPrintable(error));
    MqttProbe probe(broker.Port(), "#");
    QVERIFY(WaitOnline(probe, 5000));
    QVERIFY(probe.publish(SetTopic("output/4/input"), "1"));
    QVERIFY(probe.waitFor(kBase + "output/4/input", "1"));
    probe.settle();
    std::map<QString, QByteArray> after = Held(broker.Port(), "#");
    QCOMPARE(after[kBase + "output/2/input"], QByteArray("4")); // changed while away
    before[kBase + "output/2/input"] = "4";
    before[kBase + "output/2/input_name"] = "Input4";
    before[kBase + "output/4/input"] = "1";
    before[kBase + "output/4/input_name"] = "Input1";
    QCOMPARE(after, before);
    const std::vector<std::string> wire = f.clientCommandBytes();
    for (const char* command :
         {"#video_d out1 matrix=3", "#video_d out2 matrix=4", "#video_d out4 matrix=1"})
        QCOMPARE(countOf(wire, command), size_t(1));
}

// The bridge takes a command, but its acknowledgement never reaches the broker before the
// connection drops. A broker keeping a session would deliver it again on the reconnect; the
// bridge's clean session has it carried out once. A command someone left retained is carried
// out when published, and not again when the broker replays it to the new subscription.
void MqttBrokerTest::aCommandIsCarriedOutOnceAcrossAReconnect()
{
    MosquittoBroker broker;
    QString error;
    QVERIFY2(broker.Start(&error), qPrintable(error));
    BrokerProxy proxy(broker.Port());
    ServerFixture f(BridgeServerOptions(TestMqtt(proxy.Port())));
    QVERIFY(f.started() && f.waitAcquired());
    MqttProbe probe(broker.Port(), kBase + "#");
    QVERIFY(WaitOnline(probe));

    proxy.HoldUpstream(true);
    QVERIFY(probe.publish(SetTopic("output/2/input"), "1"));
    QVERIFY(QTest::qWaitFor([&] { return f.clientCommands().size() == 1; }, 3000));
    QVERIFY(probe.publish(SetTopic("output/3/input"), "4", true));
    QVERIFY(QTest::qWaitFor([&] { return f.clientCommands().size() == 2; }, 3000));
    probe.forget();
    proxy.Cut();
    QVERIFY(probe.waitFor(kBase + "availability", "offline")); // the broker's will
    QVERIFY(WaitOnline(probe, 5000));
    QTest::qWait(500);
    QCOMPARE(f.clientCommandBytes(),
             (std::vector<std::string>{"#video_d out2 matrix=1", "#video_d out3 matrix=4"}));
}

void MqttBrokerTest::aPasswordBrokerTakesThePasswordFile()
{
    MosquittoBroker broker;
    QVERIFY(broker.RequireLogin({"tavlo", "s3cret pass"}));
    QString error;
    QVERIFY2(broker.Start(&error), qPrintable(error));
    MatrixSimulator sim;
    std::string simError;
    QVERIFY2(sim.Start(&simError), simError.c_str());
    QTemporaryDir dir;
    const QStringList mqtt{"--mqtt",      broker.Url(), "--mqtt-id",           "m1",
                           "--mqtt-user", "tavlo",      "--mqtt-password-file"};

    ServeProcess wrong(sim.SlavePath(), mqtt + QStringList{writeFile(dir, "wrong", "nope\n")});
    QVERIFY(wrong.started());
    QByteArray said;
    QVERIFY(QTest::qWaitFor([&] { return (said += wrong.errors()).contains("refused"); }, 5000));
    QVERIFY2(said.contains("not authorised"), said.constData());
    wrong.signal(SIGTERM);
    QCOMPARE(wrong.waitEnded(5000), 0);

    ServeProcess right(sim.SlavePath(),
                       mqtt + QStringList{writeFile(dir, "right", "s3cret pass\n")});
    QVERIFY(right.started());
    MqttProbe probe(broker.Port(), kBase + "#", {"tavlo", "s3cret pass", {}});
    QVERIFY(probe.connected());
    QVERIFY(WaitOnline(probe, 5000));
    right.signal(SIGTERM);
    QCOMPARE(right.waitEnded(5000), 0);
    QVERIFY(probe.waitFor(kBase + "availability", "offline")); // said on the way out
}

void MqttBrokerTest::aTlsBrokerIsCheckedAgainstItsCa()
{
    MosquittoBroker broker;
    MosquittoBroker::Tls tls;
    QString error;
    QVERIFY2(MakeTestCertificates(broker.Dir(), tls, &error), qPrintable(error));
    broker.UseTls(tls);
    QVERIFY2(broker.Start(&error), qPrintable(error));
    MatrixSimulator sim;
    std::string simError;
    QVERIFY2(sim.Start(&simError), simError.c_str());
    const QString url = QStringLiteral("mqtts://localhost:%1").arg(broker.Port());

    ServeProcess untrusting(sim.SlavePath(), {"--mqtt", url, "--mqtt-id", "m1"});
    QVERIFY(untrusting.started());
    QByteArray said;
    QVERIFY(
        QTest::qWaitFor([&] { return (said += untrusting.errors()).contains("cannot"); }, 5000));
    QVERIFY2(said.contains("certificate verify failed"), said.constData());
    untrusting.signal(SIGTERM);
    QCOMPARE(untrusting.waitEnded(5000), 0);

    ServeProcess trusting(sim.SlavePath(),
                          {"--mqtt", url, "--mqtt-id", "m1", "--mqtt-ca", tls.caFile});
    QVERIFY(trusting.started());
    MqttProbe probe(broker.Port(), kBase + "#", {{}, {}, tls.caFile});
    QVERIFY(probe.connected());
    QVERIFY(WaitOnline(probe, 5000));
    // The check for another bridge at start went through TLS too.
    const QByteArray log = trusting.errors();
    QVERIFY2(!log.contains("no answer from"), log.constData());
}

// A second `serve` with the topics of a bridge that is online would push it off the broker
// under the same client id, and Home Assistant would see one device flip between two
// matrices: it does not start. Nor does one whose discovery topics a bridge elsewhere holds
// (one of an older release, whose keys could meet). Once the other is offline, it starts.
void MqttBrokerTest::aSecondBridgeOnTheSameTopicsIsRefused()
{
    MosquittoBroker broker;
    QString error;
    QVERIFY2(broker.Start(&error), qPrintable(error));
    MatrixSimulator first;
    MatrixSimulator second;
    std::string simError;
    QVERIFY2(first.Start(&simError) && second.Start(&simError), simError.c_str());
    const auto serve = [&](const char* id) {
        return server_test::RunTavloctl({"--port", QString::fromStdString(second.SlavePath()),
                                         "serve", "--listen", "127.0.0.1:0", "--api", "127.0.0.1:0",
                                         "--mqtt", broker.Url(), "--mqtt-id", id},
                                        10000);
    };

    auto running = std::make_unique<ServeProcess>(
        first.SlavePath(), QStringList{"--mqtt", broker.Url(), "--mqtt-id", "m1"});
    QVERIFY(running->started());
    MqttProbe probe(broker.Port(), "#");
    QVERIFY(WaitOnline(probe, 5000));
    server_test::ToolRun refused = serve("m1");
    QCOMPARE(refused.exitCode, 2);
    QVERIFY2(refused.err.contains("another bridge is online with the topics tavlo/m1/#"),
             refused.err.constData());
    QTest::qWait(500);
    QCOMPARE(Latest(probe, kBase + "availability"), QByteArray("online")); // never pushed off

    // Discovery held for tavlo_m2 by a bridge below other topics.
    QVERIFY(probe.publish("homeassistant/sensor/tavlo_m2/model/config",
                          R"({"availability_topic": "old/m2/availability"})", true));
    QVERIFY(probe.publish("old/m2/availability", "online", true));
    refused = serve("m2");
    QCOMPARE(refused.exitCode, 2);
    QVERIFY2(refused.err.contains("(old/m2/availability) holds the Home Assistant discovery"),
             refused.err.constData());

    running->signal(SIGTERM);
    QCOMPARE(running->waitEnded(5000), 0);
    QVERIFY(probe.publish("old/m2/availability", "offline", true));
    for (const char* id : {"m1", "m2"}) {
        ServeProcess now(second.SlavePath(), {"--mqtt", broker.Url(), "--mqtt-id", id});
        QVERIFY2(now.started(), id);
        now.signal(SIGTERM);
        QCOMPARE(now.waitEnded(5000), 0);
    }
}

// The bridge's device and entities leave Home Assistant (an empty config each, before any
// state is cleared), and the broker holds nothing of it afterwards. Not while it runs.
void MqttBrokerTest::mqttForgetRemovesTheDeviceAndItsTopics()
{
    MosquittoBroker broker;
    QString error;
    QVERIFY2(broker.Start(&error), qPrintable(error));
    MatrixSimulator sim;
    std::string simError;
    QVERIFY2(sim.Start(&simError), simError.c_str());
    const QStringList mqtt{"--mqtt", broker.Url(), "--mqtt-id", "m1", "--mqtt-discovery-prefix",
                           "ha/disc"};
    ServeProcess serve(sim.SlavePath(), mqtt);
    QVERIFY(serve.started());
    MqttProbe probe(broker.Port(), "#");
    QVERIFY(WaitOnline(probe, 5000));
    QVERIFY(probe.waitFor([](const MqttProbe::Message& m) {
        return m.topic == "ha/disc/sensor/tavlo_m1/firmware/config";
    }));
    probe.settle();
    QCOMPARE(Held(broker.Port(), "ha/disc/#").size(), size_t(26));
    QVERIFY(Held(broker.Port(), "homeassistant/#").empty());
    QVERIFY(probe.publish("elsewhere/kept", "yes", true));

    server_test::ToolRun run = server_test::RunTavloctl(QStringList{"mqtt-forget"} + mqtt);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains("online"), run.err.constData());

    serve.signal(SIGTERM);
    QCOMPARE(serve.waitEnded(5000), 0);
    probe.settle();
    probe.forget();
    run = server_test::RunTavloctl(QStringList{"mqtt-forget"} + mqtt);
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains("26 discovery messages"), run.out.constData());
    probe.settle();
    QCOMPARE(Held(broker.Port(), "#"), (std::map<QString, QByteArray>{{"elsewhere/kept", "yes"}}));
    bool stateCleared = false;
    int configsCleared = 0;
    for (const MqttProbe::Message& message : probe.messages()) {
        QVERIFY2(message.payload.isEmpty(), qPrintable(message.topic));
        if (message.topic.startsWith("ha/disc/")) {
            QVERIFY2(!stateCleared, "a state topic was cleared before a discovery message");
            ++configsCleared;
        } else {
            stateCleared = true;
        }
    }
    QCOMPARE(configsCleared, 26);
    QVERIFY(stateCleared);
}

void MqttBrokerTest::optionsAreCheckedBeforeAnythingStarts_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("says");
    const QString url = "mqtt://127.0.0.1:1";
    QTest::newRow("no id") << QStringList{"--mqtt", url} << "--mqtt needs --mqtt-id";
    QTest::newRow("id not one level")
        << QStringList{"--mqtt", url, "--mqtt-id", "hall/1"} << "letters, digits";
    QTest::newRow("id with wildcard")
        << QStringList{"--mqtt", url, "--mqtt-id", "+"} << "letters, digits";
    QTest::newRow("bad prefix") << QStringList{"--mqtt",        url,   "--mqtt-id", "m1",
                                               "--mqtt-prefix", "a//b"}
                                << "--mqtt-prefix 'a//b'";
    QTest::newRow("bad discovery prefix")
        << QStringList{"--mqtt", url, "--mqtt-id", "m1", "--mqtt-discovery-prefix", "ha/#"}
        << "--mqtt-discovery-prefix 'ha/#'";
    QTest::newRow("no broker") << QStringList{"--mqtt-id", "m1"} << "need --mqtt";
    QTest::newRow("not mqtt") << QStringList{"--mqtt", "http://x:1", "--mqtt-id", "m1"}
                              << "not a broker address";
    QTest::newRow("password in the address")
        << QStringList{"--mqtt", "mqtt://u:p@x:1", "--mqtt-id", "m1"} << "--mqtt-password-file";
    QTest::newRow("password without user")
        << QStringList{"--mqtt", url, "--mqtt-id", "m1", "--mqtt-password-file", "/etc/hostname"}
        << "needs --mqtt-user";
    QTest::newRow("missing password file") << QStringList{"--mqtt",
                                                          url,
                                                          "--mqtt-id",
                                                          "m1",
                                                          "--mqtt-user",
                                                          "u",
                                                          "--mqtt-password-file",
                                                          "/nonexistent/pw"}
                                           << "cannot read the password file";
    QTest::newRow("ca without TLS")
        << QStringList{"--mqtt", url, "--mqtt-id", "m1", "--mqtt-ca", "/etc/hostname"}
        << "mqtts://";
    QTest::newRow("missing ca") << QStringList{"--mqtt", "mqtts://x", "--mqtt-id",
                                               "m1",     "--mqtt-ca", "/nonexistent/ca.pem"}
                                << "cannot read the CA file";
}

void MqttBrokerTest::optionsAreCheckedBeforeAnythingStarts()
{
    QFETCH(QStringList, args);
    QFETCH(QString, says);
    const server_test::ToolRun run =
        server_test::RunTavloctl(QStringList{"--port", "/nonexistent/tty", "serve", "--listen",
                                             "127.0.0.1:0", "--api", "127.0.0.1:0"} +
                                 args);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(says.toUtf8()), run.err.constData());
}

QTEST_GUILESS_MAIN(MqttBrokerTest)
#include "tst_mqtt_broker.moc"
