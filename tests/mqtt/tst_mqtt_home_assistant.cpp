// The bridge as Home Assistant sees it: everything it publishes, in the order a subscriber gets
// it from a real broker, run through Home Assistant's rules for selects. After renames, however
// the names collide, every output's select must show the input routed to it, offer one option
// per input, and each option must route its own input.
#include "BridgeFixture.h"
#include "HomeAssistantSelects.h"
#include "MosquittoBroker.h"
#include "ServeProcess.h"
#include "ServerFixture.h"

#include <csignal>

#include <QtTest>

using namespace mqtt_test;
using server_test::ServerFixture;

namespace {

QStringList wire(const ServerFixture& server)
{
    QStringList commands;
    for (const std::string& command : server.clientCommandBytes())
        commands.append(QString::fromLatin1(command));
    return commands;
}

QString outputSelect(int n) { return QStringLiteral("tavlo_m1_output%1").arg(n); }

} // namespace

class MqttHomeAssistantTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void everySelectShowsItsInputAfterRenames_data();
    void everySelectShowsItsInputAfterRenames();
    void audioModeOptionsAreWordsThatDriveTheMode_data();
    void audioModeOptionsAreWordsThatDriveTheMode();
    void anEmptyCommandIsIgnored_data();
    void anEmptyCommandIsIgnored();
    void twoBridgesWhoseKeysOnceMetStayApart();

private:
    // Sends the command and waits until the matrix has received it.
    bool command(const QString& topic, const QByteArray& payload);
    bool rename(const QStringList& names);
    HomeAssistantSelects replayed() const;

    std::unique_ptr<MosquittoBroker> broker_;
    std::unique_ptr<ServerFixture> server_;
    std::unique_ptr<MqttProbe> probe_; // every topic, from before the bridge's first message
};

void MqttHomeAssistantTest::initTestCase()
{
    broker_ = std::make_unique<MosquittoBroker>();
    QString error;
    QVERIFY2(broker_->Start(&error), qPrintable(error));
    probe_ = std::make_unique<MqttProbe>(broker_->Port(), "#");
    QVERIFY(probe_->connected());
    server_ = std::make_unique<ServerFixture>(BridgeServerOptions(TestMqtt(broker_->Port())));
    QVERIFY2(server_->started(), qPrintable(server_->startError()));
    QVERIFY(server_->waitAcquired());
    QVERIFY(WaitOnline(*probe_));
}

void MqttHomeAssistantTest::cleanupTestCase()
{
    probe_.reset();
    server_.reset();
    broker_.reset();
}

bool MqttHomeAssistantTest::command(const QString& topic, const QByteArray& payload)
{
    const size_t before = server_->clientCommands().size();
    return probe_->publish(SetTopic(topic), payload) &&
           QTest::qWaitFor([&] { return server_->clientCommands().size() > before; }, 3000);
}

// Names the matrix takes are given as Home Assistant's user would give them, over MQTT; an
// empty one (which no command sets) is put in the matrix, which then sends its state.
bool MqttHomeAssistantTest::rename(const QStringList& names)
{
    bool emptied = false;
    for (int n = 1; n <= int(names.size()); ++n) {
        const std::string now = server_->sim.State().nameAt(NameTable::InputPort, n);
        if (QString::fromStdString(now) == names[n - 1])
            continue;
        if (names[n - 1].isEmpty())
            emptied = true;
        else if (!command(QStringLiteral("input/%1/name").arg(n), names[n - 1].toUtf8())) {
            qWarning() << "renaming input" << n << "to" << names[n - 1] << "reached no matrix";
            return false;
        }
    }
    if (!emptied)
        return true;
    MatrixState state = server_->sim.State();
    for (int n = 1; n <= int(names.size()); ++n) {
        if (names[n - 1].isEmpty())
            state.nameAt(NameTable::InputPort, n).clear();
    }
    server_->sim.SetState(state);
    // The tests that follow wait for what the bridge then publishes.
    return probe_->publish(SetTopic("send"), "#upper:80/00");
}

HomeAssistantSelects MqttHomeAssistantTest::replayed() const
{
    HomeAssistantSelects home;
    home.Replay(probe_->messages());
    return home;
}

// The rows follow each other on one matrix, as renames do in a venue.
void MqttHomeAssistantTest::everySelectShowsItsInputAfterRenames_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int>>("routes"); // output 1 to 4
    QTest::addColumn<QStringList>("options");

    QTest::newRow("the routed input renamed")
        << QStringList{"Input1", "Camera", "Input3", "Input4"} << QList<int>{2, 2, 2, 2}
        << QStringList{"Input1", "Camera", "Input3", "Input4"};
    QTest::newRow("names that meet, and one that looks told apart")
        << QStringList{"Cam", "Cam", "Cam (In 2)", "Camera"} << QList<int>{1, 2, 3, 2}
        << QStringList{"Cam (In 1)", "Cam (In 2)", "Cam (In 2) (In 3)", "Camera"};
    QTest::newRow("none, a number, white space")
        << QStringList{"None", " 3", "3 (In 2)", " Camera "} << QList<int>{2, 3, 1, 4}
        << QStringList{"None (In 1)", "3 (In 2)", "3 (In 2) (In 3)", "Camera"};
    QTest::newRow("an empty name beside its stand-in")
        << QStringList{"", "Input 1", "Camera", "Camera "} << QList<int>{1, 2, 3, 4}
        << QStringList{"Input 1", "Input 1 (In 2)", "Camera (In 3)", "Camera (In 4)"};
}

void MqttHomeAssistantTest::everySelectShowsItsInputAfterRenames()
{
    QFETCH(QStringList, names);
    QFETCH(QList<int>, routes);
    QFETCH(QStringList, options);
    for (int n = 1; n <= 4; ++n)
        QVERIFY(
            command(QStringLiteral("output/%1/input").arg(n), QByteArray::number(routes[n - 1])));
    QVERIFY(rename(names));
    // Until the bridge has published the last of it.
    for (int n = 1; n <= 4; ++n) {
        const QString topic = kBase + QStringLiteral("output/%1/input_name").arg(n);
        QVERIFY2(QTest::qWaitFor(
                     [&] { return Latest(*probe_, topic) == options[routes[n - 1] - 1].toUtf8(); },
                     5000),
                 qPrintable(topic + " shows " + Latest(*probe_, topic)));
    }
    probe_->settle();

    const HomeAssistantSelects home = replayed();
    QCOMPARE(home.Complaints(), QStringList());
    for (int n = 1; n <= 4; ++n) {
        const HomeAssistantSelects::Select& select = home.Selects().at(outputSelect(n));
        QCOMPARE(select.options, options);
        QCOMPARE(select.current.value_or("Unknown"), options[routes[n - 1] - 1]);
    }
    // Choosing each option routes its own input.
    const QString commandTopic = home.Selects().at(outputSelect(1)).commandTopic;
    for (int k = 1; k <= 4; ++k) {
        server_->sim.ClearCommandLog();
        QVERIFY(probe_->publish(commandTopic, options[k - 1].toUtf8()));
        QVERIFY2(QTest::qWaitFor([&] { return !server_->clientCommands().empty(); }, 3000),
                 qPrintable(options[k - 1]));
        QCOMPARE(wire(*server_), QStringList{QStringLiteral("#video_d out1 matrix=%1").arg(k)});
    }
}

void MqttHomeAssistantTest::audioModeOptionsAreWordsThatDriveTheMode_data()
{
    QTest::addColumn<QByteArray>("option");
    QTest::addColumn<QString>("sent");
    QTest::newRow("Analog") << QByteArray("Analog") << "#audio_d in3 enc=2";
    QTest::newRow("Off") << QByteArray("Off") << "#audio_d in3 enc=0";
    QTest::newRow("HDMI") << QByteArray("HDMI") << "#audio_d in3 enc=1";
    QTest::newRow("the command's own word") << QByteArray("a") << "#audio_d in3 enc=2";
}

void MqttHomeAssistantTest::audioModeOptionsAreWordsThatDriveTheMode()
{
    QFETCH(QByteArray, option);
    QFETCH(QString, sent);
    const QString select = "tavlo_m1_input3_audio";
    const QString commandTopic = replayed().Selects().at(select).commandTopic;
    server_->sim.ClearCommandLog();
    QVERIFY(probe_->publish(commandTopic, option));
    QVERIFY(QTest::qWaitFor([&] { return !server_->clientCommands().empty(); }, 3000));
    QCOMPARE(wire(*server_), QStringList{sent});
    const QByteArray shown = sent.endsWith('0') ? "Off" : sent.endsWith('1') ? "HDMI" : "Analog";
    QVERIFY(probe_->waitFor(kBase + "input/3/audio_name", shown));
    probe_->settle();
    const HomeAssistantSelects home = replayed();
    QCOMPARE(home.Complaints(), QStringList());
    QCOMPARE(home.Selects().at(select).options, (QStringList{"Off", "HDMI", "Analog"}));
    QCOMPARE(home.Selects().at(select).current.value_or("Unknown"), QString(shown));
}

// docs/mqtt.md tells whoever left a command retained to clear it with an empty retained
// message; the bridge, subscribed, gets that as an empty message.
void MqttHomeAssistantTest::anEmptyCommandIsIgnored_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("retain");
    QTest::newRow("route, retained") << "output/1/input" << true;
    QTest::newRow("name") << "input/1/name" << false;
    QTest::newRow("raw text, retained") << "send" << true;
}

void MqttHomeAssistantTest::anEmptyCommandIsIgnored()
{
    QFETCH(QString, command);
    QFETCH(bool, retain);
    server_->sim.ClearCommandLog();
    probe_->forget();
    QVERIFY(probe_->publish(SetTopic(command), QByteArray(), retain));
    QVERIFY(!WaitError(*probe_, SetTopic(command), 500));
    QCOMPARE(wire(*server_), QStringList());
}

// --mqtt-prefix tavlo/x --mqtt-id y and --mqtt-id x_y once made one device key, one client id:
// the broker threw one bridge off for the other, and Home Assistant saw one device flip
// between two matrices. Now each has a device of its own, shows its own matrix, and stays.
void MqttHomeAssistantTest::twoBridgesWhoseKeysOnceMetStayApart()
{
    MosquittoBroker broker;
    QString error;
    QVERIFY2(broker.Start(&error), qPrintable(error));
    MqttProbe probe(broker.Port(), "#");
    QVERIFY(probe.connected());
    struct Matrix {
        QStringList mqtt;
        QString base;
        QString key;
        int routedInput;
    };
    const Matrix matrices[] = {
        {{"--mqtt-prefix", "tavlo/x", "--mqtt-id", "y"}, "tavlo/x/y/", "tavlo-2Fx_y", 3},
        {{"--mqtt-id", "x_y"}, "tavlo/x_y/", "tavlo_x_y", 4}};
    std::vector<std::unique_ptr<MatrixSimulator>> sims;
    std::vector<std::unique_ptr<server_test::ServeProcess>> serves;
    for (const Matrix& matrix : matrices) {
        sims.push_back(std::make_unique<MatrixSimulator>());
        std::string simError;
        QVERIFY2(sims.back()->Start(&simError), simError.c_str());
        MatrixState state = sims.back()->State();
        state.routing.fill(matrix.routedInput);
        sims.back()->SetState(state);
        serves.push_back(std::make_unique<server_test::ServeProcess>(
            sims.back()->SlavePath(), QStringList{"--mqtt", broker.Url()} + matrix.mqtt));
        QVERIFY(serves.back()->started());
        QVERIFY(probe.waitFor(matrix.base + "availability", "online", 5000));
    }
    QTest::qWait(2000); // four keep-alive rounds of a broker throwing one off for the other
    probe.settle();
    HomeAssistantSelects home;
    home.Replay(probe.messages());
    QCOMPARE(home.Complaints(), QStringList());
    for (const Matrix& matrix : matrices) {
        int onlines = 0;
        for (const MqttProbe::Message& message : probe.messages())
            onlines += message.topic == matrix.base + "availability" && message.payload == "online";
        QCOMPARE(onlines, 1);
        QCOMPARE(Latest(probe, matrix.base + "availability"), QByteArray("online"));
        for (int n = 1; n <= 4; ++n) {
            const QString id = matrix.key + QStringLiteral("_output%1").arg(n);
            QVERIFY2(home.Selects().count(id), qPrintable(id));
            const HomeAssistantSelects::Select& select = home.Selects().at(id);
            QCOMPARE(select.stateTopic,
                     matrix.base + QStringLiteral("output/%1/input_name").arg(n));
            QCOMPARE(select.current.value_or("Unknown"),
                     QStringLiteral("Input%1").arg(matrix.routedInput));
        }
    }
    for (auto& serve : serves) {
        serve->signal(SIGTERM);
        QCOMPARE(serve->waitEnded(5000), 0);
    }
}

QTEST_GUILESS_MAIN(MqttHomeAssistantTest)
#include "tst_mqtt_home_assistant.moc"
