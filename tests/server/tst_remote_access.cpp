// Clients of a `tavloctl serve` beyond loopback: the token from tavloctl and from the panel, and
// every endpoint behind TLS, with real processes, real sockets and real TLS handshakes against
// a simulated matrix. Certificates are made by `tavloctl tls-cert`.
#include "ServeProcess.h"

#include "CDialog_Link.h"
#include "CTavloDlg.h"
#include "ControlId.h"
#include "DeviceStatus.h"
#include "MySerialPortComm.h"
#include "OperatorMessages.h"
#include "RxLogBox.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using namespace server_test;

namespace {

const QByteArray kToken = "c0ffee-remote-7d41";

enum class Server { Plain, Token, TokenTls };
enum class Given { Right, None, Wrong };

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// `tavloctl serve` on fixed loopback ports, so that it can be started again on the same ones.
class Serve {
public:
    Serve(const std::string& portPath, quint16 rawPort, const QStringList& extra)
    {
        process_.start(TAVLOCTL_PATH,
                       QStringList{"--port", QString::fromStdString(portPath), "serve", "--listen",
                                   QStringLiteral("127.0.0.1:%1").arg(rawPort), "--api",
                                   "127.0.0.1:0"} +
                           extra);
        process_.waitForStarted(5000);
        ready_ =
            QTest::qWaitFor([this] { return process_.peek(4096).count('\n') >= 2 || !running(); },
                            10000) &&
            running();
        if (ready_) {
            process_.readLine();
            apiPort_ = quint16(process_.readLine().trimmed().split(':').last().toUInt());
        }
    }
    quint16 apiPort() const { return apiPort_; }
    ~Serve() { stop(); }
    bool ready() const { return ready_; }
    bool running() const { return process_.state() == QProcess::Running; }
    void stop()
    {
        if (!running())
            return;
        process_.kill();
        process_.waitForFinished(3000);
    }
    QByteArray errors() { return process_.readAllStandardError(); }

private:
    QProcess process_;
    bool ready_ = false;
    quint16 apiPort_ = 0;
};

int wireCommands(const MatrixSimulator& sim, const std::string& start)
{
    int count = 0;
    for (const CommandRecord& record : sim.CommandLog())
        count += record.bytes.rfind(start, 0) == 0 ? 1 : 0;
    return count;
}

} // namespace

class RemoteAccessTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() { GlobalSerialPort().ClosePort(); }
    void tavloctlAgainstEachServer_data();
    void tavloctlAgainstEachServer();
    void panelAgainstEachServer_data();
    void panelAgainstEachServer();
    void certificateThatDoesNotVerifyIsRefusedWithTheReason_data();
    void certificateThatDoesNotVerifyIsRefusedWithTheReason();
    void reconnectThroughTlsKeepsTheTokenAndTheVerification();
    void tokenFileFromTheEnvironment();
    void jsonEndpointBehindTls();
    void clientsGivingUpMidHandshakeHoldUpNoOne();

private:
    QStringList serverArgs(Server server) const;
    QString portUrl(Server server, quint16 port) const;
    QStringList clientArgs(Server server, Given given) const;

    QTemporaryDir dir_;
    QString tokenFile_, wrongTokenFile_, cert_, key_, otherCert_, otherKey_;
};

void RemoteAccessTest::initTestCase()
{
    QVERIFY(dir_.isValid());
    const auto write = [&](const QString& name, const QByteArray& text) {
        QFile file(dir_.filePath(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(text);
        // A server refuses a token file that others can read.
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        return dir_.filePath(name);
    };
    tokenFile_ = write("token", kToken + "\n");
    wrongTokenFile_ = write("wrong", "not-" + kToken + "\n");
    const ToolRun made = RunTavloctl(
        {"tls-cert", "--out", dir_.filePath("ok"), "--host", "localhost", "--host", "127.0.0.1"});
    QVERIFY2(made.exitCode == 0, made.err.constData());
    cert_ = dir_.filePath("ok/tavlo.crt");
    key_ = dir_.filePath("ok/tavlo.key");
    QCOMPARE(QFile::permissions(key_) & (QFile::ReadGroup | QFile::ReadOther),
             QFile::Permissions());
    const ToolRun other =
        RunTavloctl({"tls-cert", "--out", dir_.filePath("other"), "--host", "matrix.example"});
    QVERIFY2(other.exitCode == 0, other.err.constData());
    otherCert_ = dir_.filePath("other/tavlo.crt");
    otherKey_ = dir_.filePath("other/tavlo.key");
    // Made once: a second run would silently replace the key a server uses.
    QCOMPARE(RunTavloctl({"tls-cert", "--out", dir_.filePath("ok"), "--host", "x"}).exitCode, 1);
}

QStringList RemoteAccessTest::serverArgs(Server server) const
{
    switch (server) {
    case Server::Plain:
        return {};
    case Server::Token:
        return {"--token-file", tokenFile_};
    case Server::TokenTls:
        return {"--token-file", tokenFile_, "--tls-cert", cert_, "--tls-key", key_};
    }
    return {};
}

QString RemoteAccessTest::portUrl(Server server, quint16 port) const
{
    return server == Server::TokenTls ? QStringLiteral("tls://localhost:%1").arg(port)
                                      : QStringLiteral("socket://127.0.0.1:%1").arg(port);
}

QStringList RemoteAccessTest::clientArgs(Server server, Given given) const
{
    QStringList args;
    if (given == Given::Right)
        args << "--token-file" << tokenFile_;
    if (given == Given::Wrong)
        args << "--token-file" << wrongTokenFile_;
    if (server == Server::TokenTls)
        args << "--tls-ca" << cert_;
    return args;
}

void RemoteAccessTest::tavloctlAgainstEachServer_data()
{
    QTest::addColumn<Server>("server");
    QTest::addColumn<Given>("given");
    QTest::addColumn<bool>("wait");
    QTest::addColumn<QString>("refusal"); // empty: the route reaches the matrix
    const QString needs = QStringLiteral("needs a token (--token-file)");
    const QString refused = QStringLiteral("tavloctl: the server refused the token");
    QTest::newRow("no token, none given") << Server::Plain << Given::None << true << QString();
    QTest::newRow("token, right") << Server::Token << Given::Right << true << QString();
    QTest::newRow("token, right, no wait") << Server::Token << Given::Right << false << QString();
    QTest::newRow("token, none") << Server::Token << Given::None << true << needs;
    QTest::newRow("token, none, no wait") << Server::Token << Given::None << false << needs;
    QTest::newRow("token, wrong") << Server::Token << Given::Wrong << true << refused;
    QTest::newRow("token, wrong, no wait") << Server::Token << Given::Wrong << false << refused;
    QTest::newRow("tls, right") << Server::TokenTls << Given::Right << true << QString();
    QTest::newRow("tls, none, no wait") << Server::TokenTls << Given::None << false << needs;
    QTest::newRow("tls, wrong") << Server::TokenTls << Given::Wrong << true << refused;
}

void RemoteAccessTest::tavloctlAgainstEachServer()
{
    QFETCH(Server, server);
    QFETCH(Given, given);
    QFETCH(bool, wait);
    QFETCH(QString, refusal);
    MatrixSimulator sim;
    std::string error;
    QVERIFY2(sim.Start(&error), error.c_str());
    const quint16 port = freePort();
    Serve serve(sim.SlavePath(), port, serverArgs(server));
    QVERIFY2(serve.ready(), serve.errors().constData());

    QStringList args = clientArgs(server, given);
    args << "--port" << portUrl(server, port) << "route"
         << "3"
         << "2";
    if (wait)
        args << "--wait";
    const ToolRun run = RunTavloctl(args);
    if (refusal.isEmpty()) {
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QTRY_COMPARE_WITH_TIMEOUT(sim.State().routing[1], 3, 3000);
        return;
    }
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.err.contains(refusal.toUtf8()), run.err.constData());
    QVERIFY2(!run.err.contains("lost the line"), run.err.constData());
    if (given == Given::None)
        QVERIFY(run.err.contains(QStringLiteral("the server at localhost:%1").arg(port).toUtf8()) ||
                run.err.contains(QStringLiteral("the server at 127.0.0.1:%1").arg(port).toUtf8()));
    QTest::qWait(300);
    QCOMPARE(wireCommands(sim, "#video_d"), 0);
}

void RemoteAccessTest::panelAgainstEachServer_data()
{
    QTest::addColumn<Server>("server");
    QTest::addColumn<Given>("given");
    QTest::addColumn<bool>("typed"); // the operator types the right token when asked
    QTest::newRow("no token") << Server::Plain << Given::None << false;
    QTest::newRow("token from its file") << Server::Token << Given::Right << false;
    QTest::newRow("token asked for") << Server::Token << Given::None << true;
    QTest::newRow("wrong token, asked again") << Server::Token << Given::Wrong << true;
    QTest::newRow("wrong token, cancelled") << Server::Token << Given::Wrong << false;
    QTest::newRow("tls, token from its file") << Server::TokenTls << Given::Right << false;
    QTest::newRow("tls, token asked for") << Server::TokenTls << Given::None << true;
}

void RemoteAccessTest::panelAgainstEachServer()
{
    QFETCH(Server, server);
    QFETCH(Given, given);
    QFETCH(bool, typed);
    MatrixSimulator sim;
    std::string error;
    QVERIFY2(sim.Start(&error), error.c_str());
    const quint16 port = freePort();
    Serve serve(sim.SlavePath(), port, serverArgs(server));
    QVERIFY2(serve.ready(), serve.errors().constData());

    RecordingMessages messages;
    if (typed)
        messages.secrets.push_back(QString::fromUtf8(kToken));
    GlobalDeviceStatus().initialDataReceived = 0;
    CTavloDlg window;
    CDialog_Link* link = window.linkPage();
    const QByteArray token = given == Given::Right   ? kToken
                             : given == Given::Wrong ? "not-" + kToken
                                                     : QByteArray();
    link->SetRemoteAccess({token, server == Server::TokenTls ? cert_ : QString()});
    SSerInfo entry;
    entry.devicePath = entry.portName = entry.friendlyName = portUrl(server, port);
    link->SetPortEnumerator([entry] { return std::vector<SSerInfo>{entry}; });
    link->FillPortList();
    window.show();
    QTest::mouseClick(FindControl<QPushButton>(link, CDialog_Link::kOpenPort), Qt::LeftButton);
    auto* rx = FindControl<RxLogBox>(link, CDialog_Link::kRxBox);

    const bool works = given == Given::Right || typed || server == Server::Plain;
    if (works) {
        QTRY_VERIFY_WITH_TIMEOUT(
            rx->toPlainText().contains("The initialization data was successful"), 10000);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(!messages.shown.empty(), 5000);
        QTRY_VERIFY(!GlobalSerialPort().IsOpen());
    }
    const bool asked = given != Given::Right && server != Server::Plain;
    QCOMPARE(messages.shown.size(), size_t(asked ? 1 : 0));
    if (asked) {
        QCOMPARE(messages.shown.front().caption, QStringLiteral("This server needs its token"));
        const QString reason = given == Given::Wrong
                                   ? QStringLiteral("the server refused the token")
                                   : QStringLiteral("needs a token (--token-file)");
        QVERIFY2(messages.shown.front().text.contains(reason),
                 qPrintable(messages.shown.front().text));
    }
    for (const OperatorMessage& shown : messages.shown)
        QVERIFY2(!shown.text.contains("was lost"), qPrintable(shown.text));
    GlobalSerialPort().ClosePort();
}

void RemoteAccessTest::certificateThatDoesNotVerifyIsRefusedWithTheReason_data()
{
    QTest::addColumn<bool>("otherName"); // the server's certificate is for another name
    QTest::addColumn<bool>("trusted");   // the client is given the certificate
    QTest::addColumn<QString>("reason");
    QTest::newRow("not given") << false << false << "certificate not trusted";
    QTest::newRow("another name") << true << true << "name does not match localhost";
}

void RemoteAccessTest::certificateThatDoesNotVerifyIsRefusedWithTheReason()
{
    QFETCH(bool, otherName);
    QFETCH(bool, trusted);
    QFETCH(QString, reason);
    MatrixSimulator sim;
    std::string error;
    QVERIFY2(sim.Start(&error), error.c_str());
    const quint16 port = freePort();
    const QString cert = otherName ? otherCert_ : cert_;
    Serve serve(sim.SlavePath(), port,
                {"--token-file", tokenFile_, "--tls-cert", cert, "--tls-key",
                 otherName ? otherKey_ : key_});
    QVERIFY2(serve.ready(), serve.errors().constData());
    QStringList args{"--token-file", tokenFile_};
    if (trusted)
        args << "--tls-ca" << cert;
    const ToolRun run = RunTavloctl(
        args + QStringList{"--port", portUrl(Server::TokenTls, port), "route", "1", "1"});
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.err.contains(reason.toUtf8()), run.err.constData());
    QCOMPARE(wireCommands(sim, "#video_d"), 0);
}

void RemoteAccessTest::reconnectThroughTlsKeepsTheTokenAndTheVerification()
{
    MatrixSimulator sim;
    std::string error;
    QVERIFY2(sim.Start(&error), error.c_str());
    const quint16 port = freePort();
    const QStringList tls{"--token-file", tokenFile_, "--tls-cert", cert_, "--tls-key", key_};
    auto serve = std::make_unique<Serve>(sim.SlavePath(), port, tls);
    QVERIFY2(serve->ready(), serve->errors().constData());

    MySerialPortComm& comm = GlobalSerialPort();
    comm.SetRemoteAccess({kToken, cert_});
    comm.SetReconnect(true);
    QSignalSpy lost(&comm, &MySerialPortComm::portLostWaiting);
    QSignalSpy back(&comm, &MySerialPortComm::portReconnected);
    QSignalSpy failing(&comm, &MySerialPortComm::reconnectFailing);
    QVERIFY(comm.OpenPortByName(portUrl(Server::TokenTls, port), 115200));

    // Back with a certificate this client was not told to trust: it stays out.
    serve.reset();
    serve = std::make_unique<Serve>(
        sim.SlavePath(), port,
        QStringList{"--token-file", tokenFile_, "--tls-cert", otherCert_, "--tls-key", otherKey_});
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 5000);
    QVERIFY2(serve->ready(), serve->errors().constData());
    QTRY_VERIFY_WITH_TIMEOUT(!failing.isEmpty(), 10000);
    QVERIFY2(failing.front().front().toString().contains("certificate not trusted"),
             qPrintable(failing.front().front().toString()));
    QCOMPARE(back.count(), 0);

    // Back as it was: the token goes first again, and commands reach the matrix.
    serve.reset();
    serve = std::make_unique<Serve>(sim.SlavePath(), port, tls);
    QVERIFY2(serve->ready(), serve->errors().constData());
    QTRY_COMPARE_WITH_TIMEOUT(back.count(), 1, 15000);
    QTest::qWait(150);
    QVERIFY(comm.WritePort("#video_d out3 matrix=4") > 0);
    QTRY_COMPARE_WITH_TIMEOUT(sim.State().routing[2], 4, 3000);
    comm.SetReconnect(false);
    comm.SetRemoteAccess({});
}

void RemoteAccessTest::tokenFileFromTheEnvironment()
{
    MatrixSimulator sim;
    std::string error;
    QVERIFY2(sim.Start(&error), error.c_str());
    const quint16 port = freePort();
    Serve serve(sim.SlavePath(), port, serverArgs(Server::Token));
    QVERIFY2(serve.ready(), serve.errors().constData());
    qputenv("TAVLO_TOKEN_FILE", tokenFile_.toUtf8());
    const ToolRun run = RunTavloctl({"--port", portUrl(Server::Token, port), "route", "2", "4"});
    // The option wins over the variable.
    const ToolRun wrong = RunTavloctl({"--token-file", wrongTokenFile_, "--port",
                                       portUrl(Server::Token, port), "route", "2", "3"});
    qunsetenv("TAVLO_TOKEN_FILE");
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QTRY_COMPARE_WITH_TIMEOUT(sim.State().routing[3], 2, 3000);
    QCOMPARE(wrong.exitCode, 3);
}

// Any TLS client reaches the JSON endpoint: the token, then requests, all inside the handshake's
// protection; a plain client gets nothing from it.
void RemoteAccessTest::jsonEndpointBehindTls()
{
    MatrixSimulator sim;
    std::string error;
    QVERIFY2(sim.Start(&error), error.c_str());
    Serve serve(sim.SlavePath(), freePort(), serverArgs(Server::TokenTls));
    QVERIFY2(serve.ready(), serve.errors().constData());

    QSslSocket tls;
    QSslConfiguration trust = QSslConfiguration::defaultConfiguration();
    QFile cert(cert_);
    QVERIFY(cert.open(QIODevice::ReadOnly));
    trust.setCaCertificates(QSslCertificate::fromDevice(&cert));
    tls.setSslConfiguration(trust);
    tls.connectToHostEncrypted(QStringLiteral("localhost"), serve.apiPort());
    QVERIFY2(tls.waitForEncrypted(5000), qPrintable(tls.errorString()));
    QCOMPARE(tls.sessionProtocol() >= QSsl::TlsV1_2, true);
    tls.write(R"({"id":1,"cmd":"auth","token":")" + kToken + "\"}\n" +
              R"({"id":2,"cmd":"route","input":4,"output":4})" + "\n");
    QTRY_VERIFY_WITH_TIMEOUT(tls.peek(4096).count('\n') >= 2, 5000);
    QVERIFY(tls.readLine().contains(R"("ok":true)"));
    QVERIFY(tls.readLine().contains(R"("ok":true)"));
    QTRY_COMPARE_WITH_TIMEOUT(sim.State().routing[3], 4, 3000);

    QTcpSocket plain;
    plain.connectToHost(QHostAddress::LocalHost, serve.apiPort());
    QVERIFY(plain.waitForConnected(3000));
    plain.write(R"({"id":1,"cmd":"auth","token":")" + kToken + "\"}\n");
    QVERIFY(QTest::qWaitFor([&] { return plain.state() != QAbstractSocket::ConnectedState; },
                            8000));
    QVERIFY(!plain.readAll().contains("ok"));
}

// A client that drops the connection as soon as its side of the handshake is done leaves the
// server's side unfinished; forty of them must not keep the next client waiting.
void RemoteAccessTest::clientsGivingUpMidHandshakeHoldUpNoOne()
{
    MatrixSimulator sim;
    std::string error;
    QVERIFY2(sim.Start(&error), error.c_str());
    const quint16 rawPort = freePort();
    Serve serve(sim.SlavePath(), rawPort, serverArgs(Server::TokenTls));
    QVERIFY2(serve.ready(), serve.errors().constData());
    QSslConfiguration trust = QSslConfiguration::defaultConfiguration();
    QFile cert(cert_);
    QVERIFY(cert.open(QIODevice::ReadOnly));
    trust.setCaCertificates(QSslCertificate::fromDevice(&cert));
    const auto handshake = [&](QSslSocket& socket, quint16 port) {
        socket.setSslConfiguration(trust);
        socket.connectToHostEncrypted(QStringLiteral("localhost"), port);
        return socket.waitForEncrypted(2000);
    };
    for (int i = 0; i < 40; ++i) {
        QSslSocket quitter;
        QVERIFY2(handshake(quitter, rawPort), qPrintable(quitter.errorString()));
        quitter.abort();
    }
    std::vector<std::unique_ptr<QSslSocket>> stayers;
    for (int i = 0; i < 40; ++i) {
        stayers.push_back(std::make_unique<QSslSocket>());
        QVERIFY2(handshake(*stayers.back(), i % 2 ? rawPort : serve.apiPort()),
                 qPrintable(QStringLiteral("client %1: %2").arg(i).arg(stayers.back()->errorString())));
    }
}

QTEST_MAIN(RemoteAccessTest)
#include "tst_remote_access.moc"
