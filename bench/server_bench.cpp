// Measurements of `tavloctl serve`, not tests: a simulated matrix in this process, the server as
// its own process on the simulator's pseudo-terminal, clients over loopback. Run by hand:
//
//   build/bench/server_bench            # about three minutes
//   build/bench/server_bench --quick    # fewer samples and routes, about 40 s
//
// latency: request to wire, the median over 30 spaced requests, for tavloctl's own sending on
//   the port (the baseline) and through the server's raw and JSON endpoints. "Added" is what
//   comes on top of the 100 ms pause in front of every command. Wire times are the
//   simulator's stamps of each command's first byte.
// fairness: 10 JSON clients send 100 routes each at once. Every command must reach the matrix;
//   the total is set against the wire's floor (commands x 100 ms); fairness is the slowest
//   client's completion time over the fastest's.
// idle CPU: the server's user + system time with 64 idle clients connected, over 20 s, as
//   a share of one core (the 7 s status poll included).
// TLS: a second server with every endpoint behind TLS (a certificate from `tavloctl tls-cert`):
//   the raw endpoint's latency set against the plain one's of the same run, a client's
//   handshake (connect to encrypted, median of 30), and the idle CPU with 64 TLS clients.
#include "CpuOfProcess.h"
#include "MatrixSimulator.h"
#include "MySerialPortComm.h"
#include "SendCommand.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Settings {
    int latencySamples = 30;
    int fairClients = 10;
    int fairRoutes = 100;
    int idleClients = 64;
    int idleSeconds = 20;
};

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The simulator's stamp of the first command with these bytes logged after index from.
std::optional<Clock::time_point> wireTime(MatrixSimulator& sim, const std::string& bytes,
                                          size_t from)
{
    std::optional<Clock::time_point> at;
    (void)QTest::qWaitFor(
        [&] {
            const auto log = sim.CommandLog();
            for (size_t i = from; i < log.size(); ++i) {
                if (log[i].bytes == bytes) {
                    at = log[i].firstByte;
                    return true;
                }
            }
            return false;
        },
        5000);
    return at;
}

std::string route(int i)
{
    return "#video_d out" + std::to_string(i % 4 + 1) + " matrix=" + std::to_string(i / 4 % 4 + 1);
}

QByteArray jsonRoute(int id, int i)
{
    return QByteArray("{\"id\":") + QByteArray::number(id) +
           ",\"cmd\":\"route\",\"input\":" + QByteArray::number(i / 4 % 4 + 1) +
           ",\"output\":" + QByteArray::number(i % 4 + 1) + "}\n";
}

std::vector<double> directLatencies(MatrixSimulator& sim, int samples)
{
    std::vector<double> added;
    GlobalSerialPort().OpenPortByName(QString::fromStdString(sim.SlavePath()), 115200);
    for (int i = 0; i < samples; ++i) {
        const size_t from = sim.CommandLog().size();
        const Clock::time_point asked = Clock::now();
        SendCommand(route(i));
        if (auto at = wireTime(sim, route(i), from))
            added.push_back(msBetween(asked, *at) - kCommandPauseMs);
        QTest::qWait(300);
    }
    GlobalSerialPort().DrainOutput(1000);
    GlobalSerialPort().ClosePort();
    return added;
}

// Behind TLS when given the certificate to trust.
QList<QSslCertificate> tlsTrust;

std::unique_ptr<QTcpSocket> connectTo(quint16 port)
{
    if (tlsTrust.isEmpty()) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, port);
        socket->waitForConnected(3000);
        return socket;
    }
    auto socket = std::make_unique<QSslSocket>();
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setCaCertificates(tlsTrust);
    socket->setSslConfiguration(tls);
    socket->connectToHostEncrypted(QStringLiteral("localhost"), port);
    if (!socket->waitForEncrypted(3000))
        std::fprintf(stderr, "TLS: %s\n", qPrintable(socket->errorString()));
    return socket;
}

std::vector<double> handshakeTimes(quint16 port, int samples)
{
    std::vector<double> times;
    for (int i = 0; i < samples; ++i) {
        const Clock::time_point start = Clock::now();
        auto socket = connectTo(port);
        const auto* tls = static_cast<QSslSocket*>(socket.get());
        if (tls->isEncrypted())
            times.push_back(msBetween(start, Clock::now()));
        socket->abort();
    }
    return times;
}

// Raw: the client writes the command and pauses; JSON: one request line.
std::vector<double> serverLatencies(MatrixSimulator& sim, quint16 port, bool json, int samples)
{
    std::vector<double> added;
    auto socket = connectTo(port);
    QTest::qWait(200);
    for (int i = 0; i < samples; ++i) {
        const size_t from = sim.CommandLog().size();
        const QByteArray request = json ? jsonRoute(i, i) : QByteArray::fromStdString(route(i));
        const Clock::time_point asked = Clock::now();
        socket->write(request);
        socket->flush();
        if (auto at = wireTime(sim, route(i), from))
            added.push_back(msBetween(asked, *at) - kCommandPauseMs);
        QTest::qWait(300);
        socket->readAll();
    }
    return added;
}

struct Fairness {
    size_t delivered = 0;
    double totalMs = 0;
    double floorMs = 0;
    double ratio = 0;
};

Fairness fairness(MatrixSimulator& sim, quint16 port, const Settings& s)
{
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    std::vector<int> replies(size_t(s.fairClients), 0);
    std::vector<Clock::time_point> done(size_t(s.fairClients));
    for (int c = 0; c < s.fairClients; ++c) {
        clients.push_back(connectTo(port));
        QTcpSocket* socket = clients.back().get();
        QObject::connect(socket, &QTcpSocket::readyRead, [&, socket, c] {
            while (socket->canReadLine()) {
                socket->readLine();
                if (++replies[size_t(c)] == s.fairRoutes)
                    done[size_t(c)] = Clock::now();
            }
        });
    }
    QTest::qWait(200);
    const size_t from = sim.CommandLog().size();
    const Clock::time_point start = Clock::now();
    for (int c = 0; c < s.fairClients; ++c) {
        QByteArray batch;
        for (int i = 0; i < s.fairRoutes; ++i)
            batch += jsonRoute(i, i + c);
        clients[size_t(c)]->write(batch);
        clients[size_t(c)]->flush();
    }
    const int commands = s.fairClients * s.fairRoutes;
    (void)QTest::qWaitFor(
        [&] {
            return std::all_of(replies.begin(), replies.end(),
                               [&](int n) { return n >= s.fairRoutes; });
        },
        commands * 200 + 10000);
    const auto [first, last] = std::minmax_element(done.begin(), done.end());
    Fairness result;
    const auto delivered = [&] {
        size_t routes = 0;
        const auto log = sim.CommandLog();
        for (size_t i = from; i < log.size(); ++i)
            routes += log[i].bytes.rfind("#video_d", 0) == 0;
        return routes;
    };
    // The matrix takes the last command as ended only after its idle gap.
    (void)QTest::qWaitFor([&] { return delivered() >= size_t(commands); }, 1000);
    result.delivered = delivered();
    result.totalMs = msBetween(start, *last);
    result.floorMs = commands * double(kCommandPauseMs);
    result.ratio = msBetween(start, *last) / msBetween(start, *first);
    return result;
}

struct IdleCpu {
    int connected = 0;
    double percent = 0;
};

// Half of the clients on each endpoint.
IdleCpu idleCpu(qint64 pid, quint16 rawPort, quint16 apiPort, const Settings& s)
{
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int c = 0; c < s.idleClients; ++c)
        clients.push_back(connectTo(c % 2 ? rawPort : apiPort));
    QTest::qWait(1000);
    IdleCpu result;
    for (const auto& client : clients)
        result.connected += client->state() == QAbstractSocket::ConnectedState;
    const double before = CpuSecondsOf(pid);
    const Clock::time_point start = Clock::now();
    QTest::qWait(s.idleSeconds * 1000);
    const double used = CpuSecondsOf(pid) - before;
    result.percent = 100.0 * used / (msBetween(start, Clock::now()) / 1000.0);
    return result;
}

// The median added latency and, with a baseline, how far it lies above the baseline's.
double report(const char* what, const std::vector<double>& added,
              std::optional<double> baseline = {})
{
    const std::string against =
        baseline ? QString::asprintf("%+.2f ms against tavloctl; ", median(added) - *baseline)
                       .toStdString()
                 : std::string();
    std::printf("  %-26s median added %5.2f ms (%smin %.2f, max %.2f, n=%zu)\n", what,
                median(added), against.c_str(), *std::min_element(added.begin(), added.end()),
                *std::max_element(added.begin(), added.end()), added.size());
    return median(added);
}

quint16 portFromLine(const QByteArray& line)
{
    return quint16(line.trimmed().split(':').last().toUInt());
}

struct Served {
    quint16 raw = 0;
    quint16 api = 0;
};

Served startServer(QProcess& server, const MatrixSimulator& sim, const QStringList& extra)
{
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(TAVLOCTL_PATH,
                 QStringList{"--port", QString::fromStdString(sim.SlavePath()), "serve", "--listen",
                             "127.0.0.1:0", "--api", "127.0.0.1:0"} +
                     extra);
    Served served;
    if (!server.waitForStarted() || !QTest::qWaitFor([&] { return server.canReadLine(); }, 5000))
        return served;
    served.raw = portFromLine(server.readLine());
    (void)QTest::qWaitFor([&] { return server.canReadLine(); }, 2000);
    served.api = portFromLine(server.readLine());
    QTest::qWait(1500); // the server's own acquisition
    return served;
}

// The same server behind TLS: latency against the plain raw endpoint's, handshakes, idle CPU.
void measureTls(MatrixSimulator& sim, const Settings& s, double plainRaw)
{
    QTemporaryDir dir;
    QProcess made;
    made.start(TAVLOCTL_PATH, {"tls-cert", "--out", dir.path(), "--host", "localhost"});
    made.waitForFinished(60000);
    QFile cert(dir.filePath("tavlo.crt"));
    if (made.exitCode() != 0 || !cert.open(QIODevice::ReadOnly)) {
        std::printf("TLS: no certificate (%s)\n", made.readAllStandardError().constData());
        return;
    }
    QProcess server;
    const Served tls = startServer(
        server, sim, {"--tls-cert", cert.fileName(), "--tls-key", dir.filePath("tavlo.key")});
    if (tls.raw == 0)
        return;
    tlsTrust = QSslCertificate::fromDevice(&cert);
    std::printf("behind TLS (the 100 ms pause not counted)\n");
    const std::vector<double> added = serverLatencies(sim, tls.raw, false, s.latencySamples);
    report("through the raw endpoint", added);
    std::printf("  %-26s %+.2f ms\n", "TLS against plain TCP", median(added) - plainRaw);
    const std::vector<double> handshakes = handshakeTimes(tls.raw, 30);
    if (!handshakes.empty())
        std::printf("  client handshake           median %.2f ms (min %.2f, max %.2f, n=%zu)\n",
                    median(handshakes), *std::min_element(handshakes.begin(), handshakes.end()),
                    *std::max_element(handshakes.begin(), handshakes.end()), handshakes.size());
    QTest::qWait(1000);
    const IdleCpu idle = idleCpu(server.processId(), tls.raw, tls.api, s);
    std::printf("idle behind TLS: %d clients connected for %d s\n  server CPU %.3f %% of one "
                "core\n",
                idle.connected, s.idleSeconds, idle.percent);
    tlsTrust.clear();
    server.terminate();
    server.waitForFinished(5000);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Settings s;
    if (app.arguments().contains("--quick"))
        s = {10, 10, 20, 64, 10};
    MatrixSimulator sim;
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "no simulator: %s\n", error.c_str());
        return 1;
    }
    std::printf("request to wire (the 100 ms pause not counted)\n");
    const double baseline = report("tavloctl on the port", directLatencies(sim, s.latencySamples));

    QProcess server;
    const Served plain = startServer(server, sim, {});
    if (plain.raw == 0)
        return 1;
    const quint16 rawPort = plain.raw;
    const quint16 apiPort = plain.api;
    const double plainRaw =
        report("through the raw endpoint", serverLatencies(sim, rawPort, false, s.latencySamples),
               baseline);
    report("through the JSON endpoint", serverLatencies(sim, apiPort, true, s.latencySamples),
           baseline);

    const double cpuBefore = CpuSecondsOf(server.processId());
    const Fairness fair = fairness(sim, apiPort, s);
    const double busyCpu = CpuSecondsOf(server.processId()) - cpuBefore;
    std::printf("%d clients x %d routes\n  delivered %zu of %d; total %.1f s against a floor of "
                "%.1f s (%.3f x); fairness %.3f\n",
                s.fairClients, s.fairRoutes, fair.delivered, s.fairClients * s.fairRoutes,
                fair.totalMs / 1000, fair.floorMs / 1000, fair.totalMs / fair.floorMs, fair.ratio);
    std::printf("  server CPU meanwhile %.2f s, %.2f %% of one core\n", busyCpu,
                100.0 * busyCpu / (fair.totalMs / 1000));

    QTest::qWait(1000); // the clients above have gone
    const IdleCpu idle = idleCpu(server.processId(), rawPort, apiPort, s);
    std::printf("idle: %d clients connected for %d s\n  server CPU %.3f %% of one core\n",
                idle.connected, s.idleSeconds, idle.percent);
    server.terminate();
    server.waitForFinished(5000);
    if (!app.arguments().contains("--no-tls"))
        measureTls(sim, s, plainRaw);
    return 0;
}
