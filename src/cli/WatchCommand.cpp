// tavloctl watch: the matrix's state as it changes, one line per change, on a port directly or
// through a server's raw endpoint (socket://, and every other kind of port the port object
// opens). The whole state is asked for at the start and after each return of the line; the
// status is asked for again every --every seconds, so changes made at the matrix itself show
// too. Through a server, the answers to other clients' commands arrive as they happen.
#include "CliFailure.h"
#include "CommandRunner.h"
#include "HostCommands.h"
#include "InterruptWatcher.h"
#include "MatrixCommands.h"
#include "MatrixSession.h"
#include "StateChanges.h"
#include "StateDocument.h"

#include <QDateTime>
#include <QJsonDocument>
#include <algorithm>
#include <chrono>
#include <memory>

namespace {

struct WatchOptions {
    bool json = false;
    double seconds = -1;
    double everyS = 7;
};

std::string clock() { return QTime::currentTime().toString("HH:mm:ss.zzz").toStdString(); }

void printJson(const QJsonObject& event)
{
    PrintOut(QJsonDocument(event).toJson(QJsonDocument::Compact).toStdString() + "\n");
}

class Watch {
public:
    Watch(const CliContext& context, const WatchOptions& options)
        : context_(context), options_(options), session_(context.port, AccessOf(context))
    {
    }

    int Run()
    {
        session_.FollowLosses({
            [this](const QString& reason) { linkChanged(false, reason); },
            [this] { linkChanged(true, {}); },
            [](const QString&) {},
        });
        session_.Open();
        InterruptWatcher interrupts;
        QObject::connect(&interrupts, &InterruptWatcher::interrupted, &session_,
                         &MatrixSession::Stop);
        linkChanged(true, {});
        session_.OnChunk([this](const QByteArray&, const std::string&) { onChunk(); });
        const int limitMs = options_.seconds < 0 ? -1 : static_cast<int>(options_.seconds * 1000);
        session_.WaitUntil([] { return false; }, limitMs, [this] { ask(); }, tickMs());
        session_.Close();
        return ExitOk;
    }

private:
    // The shorter of the two intervals drives both requests.
    int tickMs() const { return std::max(100, std::min(StatusRepeatMs(context_), everyMs())); }
    int everyMs() const { return static_cast<int>(options_.everyS * 1000); }

    void ask()
    {
        if (!up_)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (!whole_) {
            if (now - lastAsked_ >= std::chrono::milliseconds(StatusRepeatMs(context_)))
                send(Commands::RequestAll());
            return;
        }
        if (now - lastAsked_ >= std::chrono::milliseconds(everyMs()))
            send(Commands::RequestStatus());
    }

    void send(const std::string& command)
    {
        lastAsked_ = std::chrono::steady_clock::now();
        session_.Send(command);
    }

    QJsonObject document()
    {
        QJsonObject state = StateDocument(session_.Status());
        state.insert("link", up_ ? "up" : "down");
        state.insert("stale", !up_ || !whole_);
        return state;
    }

    void onChunk()
    {
        const bool wasWhole = whole_;
        whole_ = whole_ || HasWholeState(session_.Status());
        const QJsonObject now = document();
        if (now == shown_)
            return;
        if (options_.json) {
            printJson({{"event", "state"}, {"state", now}});
        } else if (whole_) {
            const QStringList lines =
                wasWhole ? StateChangeLines(shown_, now) : InitialStateLines(now);
            for (const QString& line : lines)
                PrintOut(clock() + " " + line.toStdString() + "\n");
        }
        shown_ = now;
    }

    void linkChanged(bool up, const QString& reason)
    {
        up_ = up;
        if (options_.json) {
            QJsonObject event{{"event", "link"}, {"state", up ? "up" : "down"}};
            if (!up)
                event.insert("reason", reason);
            printJson(event);
        } else {
            PrintOut(clock() + " link " +
                     (up ? "up (" + session_.PortName() + ")"
                         : "down (" + reason.toStdString() + "); waiting for it to return") +
                     "\n");
        }
        // What the matrix holds may have changed meanwhile: all of it is asked for again.
        whole_ = false;
        lastAsked_ = {};
        if (up)
            send(Commands::RequestAll());
        if (options_.json && !shown_.isEmpty()) {
            shown_ = document();
            printJson({{"event", "state"}, {"state", shown_}});
        }
    }

    const CliContext& context_;
    const WatchOptions& options_;
    MatrixSession session_;
    QJsonObject shown_;
    bool up_ = false;
    bool whole_ = false;
    std::chrono::steady_clock::time_point lastAsked_{};
};

} // namespace

void RegisterWatchCommand(CLI::App& app, CliContext& context)
{
    auto options = std::make_shared<WatchOptions>();
    CLI::App* watch = app.add_subcommand(
        "watch", "Print each change of the matrix's state as it happens, one line each after "
                 "the local time (\"12:01:03.120 output 2 ← input 3 (Camera)\"): routing, "
                 "names, audio, EDID, network, and the line going down and coming back. Works "
                 "on a port directly or through a server (socket://HOST:PORT). Runs until "
                 "interrupted.");
    watch->fallthrough();
    watch->add_flag("--json", options->json,
                    "one event a line instead, as the server's subscribers get them "
                    "(/usr/share/doc/tavlo/api.md): state events and link events");
    watch->add_option("--for", options->seconds, "stop after this many seconds")
        ->type_name("SECONDS")
        ->check(SecondsValidator(0, 31536000));
    watch
        ->add_option("--every", options->everyS,
                     "ask for the status this often, to catch changes made at the matrix "
                     "itself (default 7)")
        ->type_name("SECONDS")
        ->check(SecondsValidator(0.1, 3600));
    watch->callback([&context, options] {
        RequirePort(context);
        RunGuarded(context, [&] { return Watch(context, *options).Run(); });
    });
}
