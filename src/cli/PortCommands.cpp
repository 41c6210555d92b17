// tavloctl subcommands that look at ports and at what the matrix says: ports, status,
// monitor and send.
#include "CliFailure.h"
#include "CommandRunner.h"
#include "Cp936.h"
#include "InterruptWatcher.h"
#include "MatrixCommands.h"
#include "MatrixRequests.h"
#include "MatrixSession.h"
#include "SerialPortList.h"
#include "StateDocument.h"
#include "StatusText.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTimer>
#include <cstdlib>
#include <memory>

namespace {

QString listLine(const QString& name, const QString& usb, const QString& description,
                 const QString& path)
{
    QString line = name.leftJustified(16) + ' ' + usb.leftJustified(4) + ' ' + description;
    if (!path.isEmpty() && path != name)
        line += "  [" + path + ']';
    return line.trimmed() + '\n';
}

int runPorts(bool json)
{
    std::vector<SSerInfo> ports;
    try {
        ports = EnumerateSerialPorts();
    } catch (const SerialPortListError& error) {
        throw CliFailure{ExitPortError,
                         std::string("cannot list the serial ports: ") + error.what()};
    }
    if (json) {
        QJsonArray list;
        for (const SSerInfo& p : ports)
            list.append(QJsonObject{{"name", p.portName},
                                    {"path", p.devicePath},
                                    {"description", p.portDescription},
                                    {"usb", p.isUsbDevice}});
        PrintOut(QJsonDocument(list).toJson(QJsonDocument::Indented).toStdString());
        return ExitOk;
    }
    QString text = listLine("NAME", "USB", "DESCRIPTION", {});
    for (const SSerInfo& p : ports)
        text += listLine(p.portName, p.isUsbDevice ? "yes" : "no", p.portDescription, p.devicePath);
    PrintOut(text.toStdString());
    return ExitOk;
}

int runStatus(const CliContext& context, bool json)
{
    MatrixSession session(context.port);
    session.Open();
    AcquireWholeState(session, context);
    session.Close();
    const DeviceStatus& status = session.Status();
    PrintOut(json ? QJsonDocument(StateDocument(status)).toJson().toStdString()
                  : FormatStatus(status));
    return ExitOk;
}

// A chunk as the receive box shows it, with the line ends of a text file: logs and pipes
// read it, and a carriage return left in would hide the text before it on a terminal.
std::string chunkText(const std::string& decoded)
{
    QString text = DecodeCp936(decoded);
    text.replace(QRegularExpression(QStringLiteral("\r+\n")), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text.toStdString();
}

// Local time with the date and its offset from UTC, to the millisecond: logs outlive a day.
std::string timestamp()
{
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc() / 60;
    const QString zone = QStringLiteral("%1%2:%3")
                             .arg(QChar(offset < 0 ? u'-' : u'+'))
                             .arg(std::abs(offset) / 60, 2, 10, QChar(u'0'))
                             .arg(std::abs(offset) % 60, 2, 10, QChar(u'0'));
    return (now.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + zone).toStdString();
}

std::string hexLines(const QByteArray& chunk)
{
    std::string out;
    const QByteArray hex = chunk.toHex(' ');
    constexpr qsizetype kPerLine = 16 * 3;
    for (qsizetype at = 0; at < hex.size(); at += kPerLine)
        out += "  " + hex.mid(at, kPerLine).trimmed().toStdString() + "\n";
    return out;
}

struct MonitorOptions {
    bool hex = false;
    bool follow = false;
    double seconds = -1;
};

// A line about the link itself, shaped as a chunk's heading so that readers of the log find
// both the same way.
void printLinkLine(const std::string& what) { PrintOut("[" + timestamp() + "] " + what + "\n\n"); }

void followLosses(MatrixSession& session)
{
    const std::string port = session.PortName();
    session.FollowLosses({
        [port](const QString& reason) {
            printLinkLine("connection to " + port + " lost (" + reason.toStdString() +
                          "); waiting for it to return");
        },
        [port] { printLinkLine("connection to " + port + " back"); },
        [port](const QString& reason) {
            printLinkLine("still waiting for " + port + ": " + reason.toStdString());
        },
    });
}

int runMonitor(const CliContext& context, const MonitorOptions& options)
{
    MatrixSession session(context.port);
    if (options.follow)
        followLosses(session);
    session.Open();
    InterruptWatcher interrupts;
    QObject::connect(&interrupts, &InterruptWatcher::interrupted, &session, &MatrixSession::Stop);
    session.OnDropped([](qint64 n) { PrintOut(std::to_string(n) + " bytes dropped\n"); });
    session.OnChunk([&](const QByteArray& chunk, const std::string& decoded) {
        std::string out = "[" + timestamp() + "] " + std::to_string(chunk.size()) + " bytes\n";
        if (options.hex)
            out += hexLines(chunk);
        out += chunkText(decoded);
        PrintOut(out + "\n");
    });
    const int limitMs = options.seconds < 0 ? -1 : static_cast<int>(options.seconds * 1000);
    session.WaitUntil([] { return false; }, limitMs);
    session.Close();
    return ExitOk;
}

int runSend(const CliContext& context, const std::string& bytes, bool wait)
{
    MatrixSession session(context.port);
    session.Open();
    std::string answer;
    session.OnChunk([&](const QByteArray&, const std::string& decoded) { answer += decoded; });
    session.Send(bytes);
    if (!wait)
        return ExitOk;
    const int timeoutMs = ConfirmTimeoutMs(context);
    const bool answered = session.WaitUntil([&] { return !answer.empty(); }, timeoutMs);
    session.Close();
    if (!answered)
        throw CliFailure{ExitNoReply, "no answer from the matrix on " + context.port + " within " +
                                          std::to_string((timeoutMs + 999) / 1000) + " s"};
    PrintOut(chunkText(answer));
    return ExitOk;
}

} // namespace

void RequirePort(const CliContext& context)
{
    if (context.port.empty())
        throw UsageError{"no port given: use --port PORT (a name from `tavloctl ports` or a "
                         "device path)"};
}

void RegisterPortCommands(CLI::App& app, CliContext& context)
{
    auto json = std::make_shared<bool>(false);
    CLI::App* ports = app.add_subcommand("ports", "List the serial ports: name, USB or not, "
                                                  "description, and the path when it differs.");
    ports->add_flag("--json", *json, "as JSON");
    ports->callback([&context, json] { RunGuarded(context, [&] { return runPorts(*json); }); });

    auto statusJson = std::make_shared<bool>(false);
    CLI::App* status = app.add_subcommand(
        "status", "Ask the matrix for its whole state and print it: routing, names, audio, "
                  "EDID, network and model. Repeats the request every --repeat (3.6 s) until "
                  "every part has arrived; after --timeout (30 s) exit 4, naming what is "
                  "missing.");
    status->fallthrough();
    status->add_flag("--json", *statusJson,
                     "as the JSON state document that docs/api.md describes");
    status->callback([&context, statusJson] {
        RequirePort(context);
        RunGuarded(context, [&] { return runStatus(context, *statusJson); });
    });

    auto monitor = std::make_shared<MonitorOptions>();
    CLI::App* mon = app.add_subcommand(
        "monitor", "Print every chunk the matrix sends, decoded as the panel's receive box "
                   "shows it, after the local time it was read (ISO 8601, to the millisecond) "
                   "and its size. Lines end in LF only. Runs until interrupted; a lost line "
                   "ends it (exit 3) unless --follow is given.");
    mon->fallthrough();
    mon->add_flag("--hex", monitor->hex, "also print the raw bytes in hexadecimal");
    mon->add_flag("--follow", monitor->follow,
                  "keep going when the line is lost: wait for the same port to return, with a "
                  "line for the loss and one for the return");
    mon->add_option("--for", monitor->seconds, "stop after this many seconds")
        ->check(CLI::NonNegativeNumber);
    mon->callback([&context, monitor] {
        RequirePort(context);
        RunGuarded(context, [&] { return runMonitor(context, *monitor); });
    });

    auto text = std::make_shared<std::string>();
    auto wait = std::make_shared<bool>(false);
    CLI::App* send = app.add_subcommand(
        "send", "Send raw text to the matrix as typed (code page 936, line breaks as CR LF), "
                "after the usual 100 ms pause.");
    send->fallthrough();
    send->add_option("TEXT", *text, "the text")->required();
    send->add_flag("--wait", *wait,
                   "wait for an answer and print it decoded; exit 4 if none comes within "
                   "--timeout (5 s)");
    send->callback([&context, text, wait] {
        RequirePort(context);
        const std::string bytes = Requests::RawText(*text).commands.front();
        RunGuarded(context, [&] { return runSend(context, bytes, *wait); });
    });
}

void RegisterMatrixCommands(CLI::App& app, CliContext& context)
{
    RegisterPortCommands(app, context);
    RegisterActionCommands(app, context);
    RegisterSimCommand(app, context);
    RegisterServeCommand(app, context);
    RegisterMqttForgetCommand(app, context);
}
