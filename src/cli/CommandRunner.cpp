#include "CommandRunner.h"

#include "CliFailure.h"
#include "HostCommands.h"
#include "MatrixSession.h"
#include "StatusText.h"

#include <cmath>
#include <cstdio>
#include <iostream>

namespace {

int milliseconds(double seconds) { return static_cast<int>(std::lround(seconds * 1000)); }

std::string wholeSeconds(int ms) { return std::to_string((ms + 999) / 1000) + " s"; }

std::string joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : ", ") + word;
    return text;
}

} // namespace

int StatusTimeoutMs(const CliContext& context)
{
    return context.timeoutS < 0 ? 30000 : milliseconds(context.timeoutS);
}

int ConfirmTimeoutMs(const CliContext& context)
{
    return context.timeoutS < 0 ? 5000 : milliseconds(context.timeoutS);
}

int StatusRepeatMs(const CliContext& context) { return milliseconds(context.repeatS); }

RemoteAccess AccessOf(const CliContext& context)
{
    QString error;
    const auto token = ReadTokenFileOption(QString::fromStdString(context.tokenFile), &error);
    if (!token)
        throw CliFailure{ExitUsage, error.toStdString()};
    return {*token, QString::fromStdString(context.tlsCa)};
}

void RunGuarded(CliContext& context, const std::function<int()>& body)
{
    try {
        context.exitCode = body();
    } catch (const CliFailure& failure) {
        std::cerr << "tavloctl: " << failure.message << std::endl;
        context.exitCode = failure.exitCode;
    }
}

void PrintOut(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

namespace {

int sendAndConfirm(MatrixSession& session, const CliContext& context, const MatrixAction& action,
                   bool wait)
{
    for (const std::string& command : action.commands)
        session.Send(command);
    if (!wait || action.confirmType == 0) {
        session.ConfirmTaken();
        return ExitOk;
    }
    const DeviceStatus& status = session.Status();
    bool answered = false;
    const int timeoutMs = ConfirmTimeoutMs(context);
    const bool confirmed = session.WaitUntil(
        [&] {
            answered = answered || session.FramesSeen(action.confirmType) > 0;
            return session.FramesSeen(action.confirmType) >= action.confirmCount &&
                   action.confirmed(status);
        },
        timeoutMs);
    session.Close();
    if (confirmed) {
        PrintOut(FormatChange(status, action.changes, action.names));
        return ExitOk;
    }
    if (answered)
        throw CliFailure{ExitNoReply, "the matrix answered, but its state does not show the "
                                      "change within " +
                                          wholeSeconds(timeoutMs)};
    throw CliFailure{ExitNoReply, "no confirmation from the matrix on " + context.port +
                                      " within " + wholeSeconds(timeoutMs)};
}

} // namespace

int RunMatrixAction(const CliContext& context, const MatrixAction& action, bool wait)
{
    MatrixSession session(context.port, AccessOf(context));
    session.Open();
    return sendAndConfirm(session, context, action, wait);
}

int RunMatrixActionOnState(const CliContext& context,
                           const std::function<MatrixAction(const DeviceStatus&)>& build, bool wait)
{
    MatrixSession session(context.port, AccessOf(context));
    session.Open();
    AcquireWholeState(session, context);
    const MatrixAction action = build(session.Status());
    // Only answers to the action's own commands confirm it.
    session.ResetFramesSeen();
    return sendAndConfirm(session, context, action, wait);
}

void AcquireWholeState(MatrixSession& session, const CliContext& context)
{
    const std::string request = Commands::RequestAll();
    const int timeoutMs = StatusTimeoutMs(context);
    session.Send(request);
    const bool whole = session.WaitUntil([&] { return HasWholeState(session.Status()); }, timeoutMs,
                                         [&] { session.Send(request); }, StatusRepeatMs(context));
    if (whole)
        return;
    const std::vector<std::string> missing = MissingStateParts(session.Status());
    if (session.Status().framesReceived.load() == 0)
        throw CliFailure{ExitNoReply, "no answer from the matrix on " + context.port + " within " +
                                          wholeSeconds(timeoutMs)};
    throw CliFailure{ExitNoReply, "the matrix on " + context.port + " answered, but within " +
                                      wholeSeconds(timeoutMs) +
                                      " these never arrived whole: " + joined(missing)};
}
