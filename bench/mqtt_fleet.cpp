// A fleet of MQTT bridges on one machine, measured, not tested: one broker (`mosquitto` on a
// free loopback port), N simulated matrices in this process, and N `tavloctl serve --mqtt`
// processes, one per matrix, each with its own ID. Run it through bench/fleet.
//
// set to wire: a route published on …/output/1/input/set, to the simulator's stamp of the
//   command's first byte (the 100 ms pause included). Every round publishes to all N at once.
// block to publish: the simulator has written the block that confirms the route, to the
//   retained output/1/input arriving at a subscriber. The server reads once the line has
//   been quiet for its short gap, so that gap is part of the figure.
// idle CPU: the N servers' user + system time, together, over a quiet spell, as a share of
//   one core (their own 7 s status polls included).
// broker restart: the broker stopped and started again, without persistence; the time from its
//   start until every bridge has said "online" again.
#include "CpuOfProcess.h"
#include "MatrixSimulator.h"
#include "MosquittoBroker.h"
#include "MqttProbe.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

using namespace mqtt_test;

namespace {

struct Settings {
    int bridges = 20;
    int rounds = 10;
    int idleSeconds = 20;
};

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p / 100 * double(values.size())))];
}

// One matrix and its bridge. The simulator stamps each route's first byte and, once its
// confirming block is wholly written, that moment too.
struct Member {
    struct Route {
        std::string bytes;
        Clock::time_point onWire;
        Clock::time_point blockWritten;
    };

    QString id;
    std::unique_ptr<MatrixSimulator> sim;
    std::unique_ptr<QProcess> serve;
    std::mutex mutex;
    std::vector<Route> routes;

    std::optional<Route> routeSent(const std::string& bytes)
    {
        std::lock_guard lock(mutex);
        for (const Route& route : routes) {
            if (route.bytes == bytes)
                return route;
        }
        return std::nullopt;
    }
};

bool startMember(Member& m, int index, const QString& brokerUrl)
{
    m.id = QStringLiteral("m%1").arg(index + 1);
    SimulatorOptions options;
    options.onCommand = [&m](const CommandRecord& record) {
        if (record.bytes.rfind("#video_d", 0) != 0)
            return;
        // On the simulator's thread: no next command is read before this one's reply is out.
        m.sim->WaitRepliesWritten(3000);
        std::lock_guard lock(m.mutex);
        m.routes.push_back({record.bytes, record.firstByte, Clock::now()});
    };
    m.sim = std::make_unique<MatrixSimulator>(options);
    std::string error;
    if (!m.sim->Start(&error)) {
        std::fprintf(stderr, "no simulator: %s\n", error.c_str());
        return false;
    }
    m.serve = std::make_unique<QProcess>();
    m.serve->setStandardOutputFile(QProcess::nullDevice());
    m.serve->setStandardErrorFile(QProcess::nullDevice());
    m.serve->start(TAVLOCTL_PATH,
                   {"--port", QString::fromStdString(m.sim->SlavePath()), "serve", "--listen",
                    "127.0.0.1:0", "--api", "127.0.0.1:0", "--mqtt", brokerUrl, "--mqtt-id", m.id});
    return m.serve->waitForStarted(5000);
}

// The IDs that have said "online" since the probe began listening.
std::set<QString> onlineIds(const MqttProbe& availability)
{
    std::set<QString> ids;
    for (const MqttProbe::Message& message : availability.messages()) {
        if (message.payload == "online")
            ids.insert(message.topic.section('/', 1, 1));
    }
    return ids;
}

struct Latencies {
    std::vector<double> setToWire;
    std::vector<double> blockToPublish;
    int lost = 0;
};

// One round: a route published to every bridge at once, then each one followed to its end.
void routeRound(std::vector<std::unique_ptr<Member>>& fleet, MqttProbe& publisher, MqttProbe& state,
                int input, Latencies& out)
{
    const std::string bytes = "#video_d out1 matrix=" + std::to_string(input);
    const QByteArray payload = QByteArray::number(input);
    std::vector<Clock::time_point> published;
    for (auto& m : fleet) {
        published.push_back(Clock::now());
        publisher.publish("tavlo/" + m->id + "/output/1/input/set", payload);
    }
    for (size_t k = 0; k < fleet.size(); ++k) {
        Member& m = *fleet[k];
        const QString topic = "tavlo/" + m.id + "/output/1/input";
        const auto seen = state.waitFor(
            [&](const MqttProbe::Message& msg) {
                return msg.topic == topic && msg.payload == payload && msg.at > published[k];
            },
            5000);
        std::optional<Member::Route> route;
        (void)QTest::qWaitFor([&] { return (route = m.routeSent(bytes)).has_value(); }, 1000);
        if (!seen || !route) {
            ++out.lost;
            continue;
        }
        out.setToWire.push_back(msBetween(published[k], route->onWire));
        out.blockToPublish.push_back(msBetween(route->blockWritten, seen->at));
    }
    for (auto& m : fleet) {
        std::lock_guard lock(m->mutex);
        m->routes.clear();
    }
    state.forget();
}

void report(const char* what, const std::vector<double>& values, double target)
{
    std::printf("  %-19s p50 %6.1f ms  p95 %6.1f ms  max %6.1f ms  (n=%zu, target p95 <= %.0f)\n",
                what, percentile(values, 50), percentile(values, 95), percentile(values, 100),
                values.size(), target);
}

double idleCpuPercent(const std::vector<std::unique_ptr<Member>>& fleet, int seconds)
{
    const auto total = [&] {
        double sum = 0;
        for (const auto& m : fleet)
            sum += CpuSecondsOf(m->serve->processId());
        return sum;
    };
    const double before = total();
    QTest::qWait(seconds * 1000);
    return 100.0 * (total() - before) / seconds;
}

Settings readSettings(const QStringList& args)
{
    Settings s;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        const int value = args[i + 1].toInt();
        if (args[i] == "--bridges")
            s.bridges = std::clamp(value, 1, 200);
        else if (args[i] == "--rounds")
            s.rounds = std::clamp(value, 1, 1000);
        else if (args[i] == "--idle-seconds")
            s.idleSeconds = std::clamp(value, 1, 600);
    }
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const Settings s = readSettings(app.arguments());
    MosquittoBroker broker;
    QString error;
    if (!broker.Start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    MqttProbe availability(broker.Port(), "tavlo/+/availability");
    std::vector<std::unique_ptr<Member>> fleet;
    for (int k = 0; k < s.bridges; ++k) {
        fleet.push_back(std::make_unique<Member>());
        if (!startMember(*fleet.back(), k, broker.Url()))
            return 1;
    }
    const auto allOnline = [&] { return int(onlineIds(availability).size()) == s.bridges; };
    if (!QTest::qWaitFor(allOnline, 30000)) {
        std::fprintf(stderr, "only %zu of %d bridges came online\n", onlineIds(availability).size(),
                     s.bridges);
        return 1;
    }
    QTest::qWait(1000);
    std::printf("%d bridges, one broker, %d simulated matrices, on %s\n", s.bridges, s.bridges,
                qPrintable(broker.Url()));

    MqttProbe publisher(broker.Port(), "tavlo/none");
    MqttProbe state(broker.Port(), "tavlo/+/output/1/input");
    state.settle();
    state.forget();
    Latencies latencies;
    for (int round = 0; round < s.rounds; ++round) {
        routeRound(fleet, publisher, state, round % 3 + 2, latencies); // the simulator starts on 1
        QTest::qWait(300);
    }
    std::printf("%d rounds, a route to every bridge at once%s\n", s.rounds,
                latencies.lost ? qPrintable(QStringLiteral(" (%1 LOST)").arg(latencies.lost)) : "");
    report("set to wire", latencies.setToWire, 150);
    report("block to publish", latencies.blockToPublish, 50);

    QTest::qWait(1000);
    std::printf("idle: %d servers over %d s\n  CPU together %.3f %% of one core (target <= 1)\n",
                s.bridges, s.idleSeconds, idleCpuPercent(fleet, s.idleSeconds));

    broker.Stop();
    availability.forget();
    if (!broker.Start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const Clock::time_point restarted = Clock::now();
    MqttProbe returned(broker.Port(), "tavlo/+/availability");
    const bool back =
        QTest::qWaitFor([&] { return int(onlineIds(returned).size()) == s.bridges; }, 60000);
    Clock::time_point last = restarted;
    for (const MqttProbe::Message& message : returned.messages())
        last = std::max(last, message.at);
    std::printf("broker restarted: %s%zu of %d bridges online again %.2f s after its start\n",
                back ? "all " : "ONLY ", onlineIds(returned).size(), s.bridges,
                msBetween(restarted, last) / 1000);

    for (auto& m : fleet) {
        m->serve->terminate();
        m->serve->waitForFinished(5000);
    }
    return 0;
}
