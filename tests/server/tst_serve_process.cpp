// `tavloctl serve` as a process: its options, its end on a signal, its token read again on
// SIGHUP, and tavloctl itself working through it over a socket:// port, two at once.
#include "ServeProcess.h"
#include "TestClients.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/stat.h>

using namespace server_test;

class ServeProcessTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { sim.Stop(); }

    void optionsAreCheckedBeforeAnythingOpens_data();
    void optionsAreCheckedBeforeAnythingOpens();
    void aSignalEndsItWithTheLastCommandOnTheWire_data();
    void aSignalEndsItWithTheLastCommandOnTheWire();
    void tavloctlWorksThroughItTwoAtOnce();
    void aLostLineComesBackWithAFreshState();
    void aLongTokenIsReadWhole();
    void thePerAddressLimitIsAnOption();
    void aHangUpReadsTheTokenAgain_data();
    void aHangUpReadsTheTokenAgain();
    void aHangUpWithoutATokenFileOnlySaysSo();
    void watchThroughItSeesOtherClientsChanges();

private:
    std::vector<std::string> clientCommands() const;
    size_t wholeStateRequests() const;
    QString tokenFile(const char* name, const QByteArray& contents, int mode);

    QTemporaryDir tokenFolder_;

    MatrixSimulator sim;
};

void ServeProcessTest::init()
{
    std::string error;
    QVERIFY2(sim.Start(&error), error.c_str());
    // The log outlives a restart: a row must not pass on the commands of the row before.
    sim.ClearCommandLog();
}

std::vector<std::string> ServeProcessTest::clientCommands() const
{
    std::vector<std::string> commands;
    for (const CommandRecord& record : sim.CommandLog()) {
        if (record.bytes.rfind("#upper:", 0) != 0)
            commands.push_back(record.bytes);
    }
    return commands;
}

// The server's requests for the whole state: one more would be the line opened anew.
size_t ServeProcessTest::wholeStateRequests() const
{
    const std::vector<CommandRecord> log = sim.CommandLog();
    return size_t(std::count_if(log.begin(), log.end(),
                                [](const CommandRecord& r) { return r.bytes == "#upper:80/00"; }));
}

void ServeProcessTest::optionsAreCheckedBeforeAnythingOpens_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");
    QTest::newRow("beyond loopback, no token")
        << QStringList{"--listen", "0.0.0.0:0"} << "needs --token-file";
    QTest::newRow("not an address") << QStringList{"--api", "local:host"} << "ADDR:PORT";
    QTest::newRow("port out of range") << QStringList{"--api", "127.0.0.1:70000"} << "ADDR:PORT";
    QTest::newRow("no token file")
        << QStringList{"--token-file", "/nonexistent/token"} << "cannot read the token file";
    QTest::newRow("token file readable by every user")
        << QStringList{"--token-file", tokenFile("open", "s3cret\n", 0644)}
        << "is readable by every user";
    QTest::newRow("token longer than a line may be")
        << QStringList{"--token-file", tokenFile("huge", QByteArray(65 * 1024, 'k'), 0600)}
        << "a token must be shorter";
}

// A token file in the test's own folder, with the permissions given.
QString ServeProcessTest::tokenFile(const char* name, const QByteArray& contents, int mode)
{
    const QString path = tokenFolder_.filePath(QString::fromLatin1(name));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        qFatal("cannot write %s", qPrintable(path));
    file.close();
    ::chmod(QFile::encodeName(path).constData(), mode_t(mode));
    return path;
}

// The whole token counts, however long: not its first 4096 bytes.
void ServeProcessTest::aLongTokenIsReadWhole()
{
    const QByteArray token(6000, 't');
    ServeProcess serve(sim.SlavePath(), {"--token-file", tokenFile("long", token + "\n", 0600)});
    QVERIFY2(serve.started(), serve.errors().constData());
    JsonClient cut(serve.apiPort());
    cut.send({{"id", 1}, {"cmd", "auth"}, {"token", QString::fromLatin1(token.left(4096))}});
    QCOMPARE(cut.reply(1)->object["error"].toObject()["code"].toString(), "unauthorized");
    JsonClient whole(serve.apiPort());
    QCOMPARE(whole.request({{"cmd", "auth"}, {"token", QString::fromLatin1(token)}})["ok"].toBool(),
             true);
}

// Many operators behind one gateway share its address: the limit must be one an admin can raise.
void ServeProcessTest::thePerAddressLimitIsAnOption()
{
    ServeProcess serve(sim.SlavePath(), {"--max-clients-per-address", "2"});
    QVERIFY2(serve.started(), serve.errors().constData());
    JsonClient first(serve.apiPort());
    JsonClient second(serve.apiPort());
    QCOMPARE(first.request({{"cmd", "status"}})["ok"].toBool(), true);
    QCOMPARE(second.request({{"cmd", "status"}})["ok"].toBool(), true);
    JsonClient third(serve.apiPort());
    const auto refusal = third.waitFor([](const QJsonObject& o) { return o.contains("error"); });
    QVERIFY(refusal);
    QCOMPARE(refusal->object["error"].toObject()["code"].toString(), "too_many_clients");
    QVERIFY(third.waitClosed());
}

void ServeProcessTest::aHangUpReadsTheTokenAgain_data()
{
    QTest::addColumn<QByteArray>("contents"); // of the file when the signal comes; null: none
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("replaced");
    QTest::addColumn<QString>("told");
    QTest::newRow("a new token") << QByteArray("n3w\n") << 0600 << true << "read again";
    QTest::newRow("readable by every user")
        << QByteArray("n3w\n") << 0644 << false << "is readable by every user";
    QTest::newRow("empty") << QByteArray("") << 0600 << false << "one non-empty line";
    QTest::newRow("a command") << QByteArray("#n3w\n") << 0600 << false << "must not begin with";
    QTest::newRow("gone") << QByteArray() << 0600 << false << "cannot read the token file";
}

// The matrix's line stays open throughout, and so does the subscriber already past the old token.
void ServeProcessTest::aHangUpReadsTheTokenAgain()
{
    QFETCH(QByteArray, contents);
    QFETCH(int, mode);
    QFETCH(bool, replaced);
    QFETCH(QString, told);
    const QString file = tokenFile("hup", "old\n", 0600);
    ServeProcess serve(sim.SlavePath(), {"--token-file", file});
    QVERIFY2(serve.started(), serve.errors().constData());
    JsonClient subscriber(serve.apiPort());
    QCOMPARE(subscriber.request({{"cmd", "auth"}, {"token", "old"}})["ok"].toBool(), true);
    QCOMPARE(subscriber.request({{"cmd", "subscribe"}})["ok"].toBool(), true);
    const QString model = QString::fromStdString(sim.State().productModel);
    QVERIFY(QTest::qWaitFor(
        [&] {
            const QJsonObject state = subscriber.request({{"cmd", "status"}})["state"].toObject();
            return wholeStateRequests() > 0 && state["device"].toObject()["model"] == model;
        },
        5000));
    const size_t acquisitions = wholeStateRequests();
    subscriber.forget();

    QFile::remove(file);
    if (!contents.isNull())
        tokenFile("hup", contents, mode);
    serve.signal(SIGHUP);
    const QByteArray log = serve.waitForLog("SIGHUP");
    QVERIFY2(log.contains("SIGHUP"), log.constData());
    QVERIFY2(log.contains(told.toUtf8()), log.constData());

    JsonClient withOld(serve.apiPort());
    QCOMPARE(withOld.request({{"cmd", "auth"}, {"token", "old"}})["ok"].toBool(), !replaced);
    JsonClient withNew(serve.apiPort());
    QCOMPARE(withNew.request({{"cmd", "auth"}, {"token", "n3w"}})["ok"].toBool(), replaced);
    QCOMPARE(subscriber.request({{"cmd", "status"}})["ok"].toBool(), true);
    QVERIFY(subscriber.connected());
    const auto lineOrEnd = [](const QJsonObject& o) {
        return o["event"] == "link" || o["event"] == "shutdown";
    };
    QVERIFY2(!subscriber.waitFor(lineOrEnd, 200), "the subscriber heard of the line or of an end");
    QCOMPARE(wholeStateRequests(), acquisitions);
}

void ServeProcessTest::aHangUpWithoutATokenFileOnlySaysSo()
{
    ServeProcess serve(sim.SlavePath());
    QVERIFY2(serve.started(), serve.errors().constData());
    serve.signal(SIGHUP);
    const QByteArray log = serve.waitForLog("no token file to read again");
    QVERIFY2(log.contains("no token file to read again"), log.constData());
    JsonClient client(serve.apiPort());
    QCOMPARE(client.request({{"cmd", "status"}})["ok"].toBool(), true);
}

void ServeProcessTest::optionsAreCheckedBeforeAnythingOpens()
{
    QFETCH(QStringList, options);
    QFETCH(QString, message);
    const ToolRun run = RunTavloctl(
        QStringList{"--port", QString::fromStdString(sim.SlavePath()), "serve"} + options);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
    QVERIFY(sim.CommandLog().empty());
}

void ServeProcessTest::aSignalEndsItWithTheLastCommandOnTheWire_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
}

// The signal comes while the route waits in its 100 ms pause: it still goes out whole, its
// client hears so, then every client learns of the end.
void ServeProcessTest::aSignalEndsItWithTheLastCommandOnTheWire()
{
    QFETCH(int, signal);
    ServeProcess serve(sim.SlavePath());
    QVERIFY2(serve.started(), serve.errors().constData());
    QVERIFY(sim.WaitForCommands(1, 3000)); // the server's own request
    JsonClient json(serve.apiPort());
    QCOMPARE(json.request({{"cmd", "subscribe"}})["ok"].toBool(), true);
    RawClient raw(serve.rawPort());
    QTest::qWait(100);

    json.send({{"id", 7}, {"cmd", "route"}, {"input", 2}, {"output", 3}});
    QTest::qWait(40);
    serve.signal(signal);
    const auto reply = json.reply(7);
    QVERIFY(reply);
    QCOMPARE(reply->object["ok"].toBool(), true);
    const auto shutdown = json.event("shutdown");
    QVERIFY(shutdown);
    QVERIFY(reply->at <= shutdown->at);
    QVERIFY(json.waitClosed());
    QVERIFY(raw.waitClosed());
    QCOMPARE(serve.waitEnded(5000), 0);
    // As one text, so that a failure shows what did reach the wire.
    const auto wire = [this] {
        QStringList commands;
        for (const std::string& command : clientCommands())
            commands << QString::fromStdString(command);
        return commands.join(" | ");
    };
    QTRY_COMPARE_WITH_TIMEOUT(wire(), QString("#video_d out3 matrix=2"), 3000);
    QCOMPARE(sim.State().routing[2], 2);
}

void ServeProcessTest::tavloctlWorksThroughItTwoAtOnce()
{
    ServeProcess serve(sim.SlavePath());
    QVERIFY2(serve.started(), serve.errors().constData());
    const QStringList port{"--port", serve.socketUrl()};

    const ToolRun status = RunTavloctl(port + QStringList{"status", "--json"});
    QCOMPARE(status.exitCode, 0);
    const QJsonObject state = QJsonDocument::fromJson(status.out).object();
    QCOMPARE(state["device"].toObject()["model"].toString(),
             QString::fromStdString(sim.State().productModel));

    QProcess first;
    QProcess second;
    first.start(TAVLOCTL_PATH, port + QStringList{"route", "3", "1", "2", "--wait"});
    second.start(TAVLOCTL_PATH, port + QStringList{"audio", "input", "4", "a", "--wait"});
    QVERIFY(QTest::qWaitFor(
        [&] {
            return first.state() == QProcess::NotRunning && second.state() == QProcess::NotRunning;
        },
        20000));
    QCOMPARE(first.exitCode(), 0);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(first.readAllStandardOutput().contains("2      3"));
    QCOMPARE(sim.State().routing[0], 3);
    QCOMPARE(sim.State().routing[1], 3);
    QCOMPARE(sim.State().audioInputMode[3], 2);
    for (const CommandRecord& record : sim.CommandLog()) {
        QCOMPARE(record.outcome, CommandOutcome::Accepted);
        if (record.gapMs >= 0)
            QVERIFY(record.gapMs >= kPauseMs - kStampSlackMs);
    }
}

// The matrix's line goes away and comes back on another pseudo-terminal behind the same link,
// as an adapter does behind its /dev/serial/by-id name; meanwhile the matrix was renamed.
void ServeProcessTest::aLostLineComesBackWithAFreshState()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyMATRIX"));
    QVERIFY(QFile::link(QString::fromStdString(sim.SlavePath()), link));
    ServeProcess serve(link.toStdString());
    QVERIFY2(serve.started(), serve.errors().constData());
    JsonClient client(serve.apiPort());
    QCOMPARE(client.request({{"cmd", "subscribe"}})["ok"].toBool(), true);
    const QString model = QString::fromStdString(sim.State().productModel);
    QVERIFY(QTest::qWaitFor(
        [&] {
            const QJsonObject state = client.request({{"cmd", "status"}})["state"].toObject();
            return state["device"].toObject()["model"] == model;
        },
        5000));

    client.forget();
    sim.CloseLine();
    QFile::remove(link);
    const auto down = client.waitFor(
        [](const QJsonObject& o) { return o["event"] == "link" && o["state"] == "down"; });
    QVERIFY(down);
    QVERIFY(client.waitFor([](const QJsonObject& o) {
        return o["event"] == "state" && o["state"].toObject()["stale"] == true;
    }));

    MatrixState renamed = sim.State();
    renamed.nameAt(NameTable::InputPort, 1) = "Returned";
    sim.SetState(renamed);
    std::string error;
    QVERIFY2(sim.Start(&error), error.c_str());
    QVERIFY(QFile::link(QString::fromStdString(sim.SlavePath()), link));
    const auto up = client.waitFor(
        [](const QJsonObject& o) { return o["event"] == "link" && o["state"] == "up"; }, 5000);
    QVERIFY(up);
    QVERIFY(up->at > down->at);
    const auto fresh = client.waitFor(
        [](const QJsonObject& o) {
            const QJsonObject state = o["state"].toObject();
            return o["event"] == "state" && state["stale"] == false &&
                   state["inputs"].toArray().at(0).toObject()["name"] == "Returned";
        },
        5000);
    QVERIFY(fresh);
    QVERIFY(fresh->at >= up->at);
}

// tavloctl watch on the raw endpoint: the answers to another client's commands reach it as they
// happen, with no request of its own.
void ServeProcessTest::watchThroughItSeesOtherClientsChanges()
{
    sim.SetState(DefaultMatrixState()); // the names earlier tests gave are gone
    ServeProcess serve(sim.SlavePath());
    QVERIFY2(serve.started(), serve.errors().constData());
    QProcess watch;
    watch.start(TAVLOCTL_PATH,
                {"--port", serve.socketUrl(), "watch", "--every", "600", "--for", "10"});
    QVERIFY(watch.waitForStarted());
    QByteArray out;
    const auto shown = [&](const QByteArray& text) {
        return QTest::qWaitFor(
            [&] {
                out += watch.readAllStandardOutput();
                return out.contains(text);
            },
            5000);
    };
    QVERIFY2(shown("output 4 ← input 4 (Input4)"), out.constData());
    JsonClient client(serve.apiPort());
    const QJsonObject route = client.request({{"cmd", "route"}, {"input", 3}, {"output", 2}});
    QCOMPARE(route["ok"].toBool(), true);
    QVERIFY2(shown("output 2 ← input 3 (Input3)"), out.constData());
    const QJsonObject rename =
        client.request({{"cmd", "name"}, {"kind", "input"}, {"port", 1}, {"name", "Camera"}});
    QCOMPARE(rename["ok"].toBool(), true);
    QVERIFY2(shown("input 1 is named 'Camera' (was 'Input1')"), out.constData());
    watch.terminate();
    QVERIFY(watch.waitForFinished(5000));
}

QTEST_GUILESS_MAIN(ServeProcessTest)
#include "tst_serve_process.moc"
