#include "CommandRunner.h"

#include "CliFailure.h"
#include "HostCommands.h"
#include "MatrixSession.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

int EnvMs(const char* name, int fallback)
{
    const char* text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *end == '\0' && value >= 0 && value <= 3'600'000 ? static_cast<int>(value) : fallback;
}

int StatusTimeoutMs()
{
    return EnvMs("TAVLOCTL_STATUS_TIMEOUT_MS", 30000);
}
int StatusRepeatMs()
{
    return EnvMs("TAVLOCTL_STATUS_REPEAT_MS", 3600);
}
int ConfirmTimeoutMs()
{
    return EnvMs("TAVLOCTL_WAIT_MS", 5000);
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

int RunMatrixAction(const CliContext& context, const MatrixAction& action, bool wait)
{
    MatrixSession session(context.port);
    session.Open();
    for (const std::string& command : action.commands)
        session.Send(command);
    if (!wait)
        return ExitOk;
    const DeviceStatus& status = session.Status();
    bool answered = false;
    const bool confirmed = session.WaitUntil(
        [&] {
            answered = answered || session.FramesSeen(action.confirmType) > 0;
            return session.FramesSeen(action.confirmType) >= action.confirmCount &&
                   action.confirmed(status);
        },
        ConfirmTimeoutMs());
    session.Close();
    if (confirmed) {
        PrintOut(action.describe ? action.describe(status) : std::string());
        return ExitOk;
    }
    const std::string seconds = std::to_string((ConfirmTimeoutMs() + 999) / 1000);
    if (answered)
        throw CliFailure{ExitNoReply, "the matrix answered, but its state does not show the "
                                      "change within " +
                                          seconds + " s"};
    throw CliFailure{ExitNoReply, "no confirmation from the matrix on " + context.port +
                                      " within " + seconds + " s"};
}

bool AcquireWholeState(MatrixSession& session)
{
    const std::string request = Commands::RequestAll();
    session.Send(request);
    return session.WaitUntil(
        [&] { return session.Status().acquisitionState.load() == AcquisitionComplete; },
        StatusTimeoutMs(), [&] { session.Send(request); }, StatusRepeatMs());
}
