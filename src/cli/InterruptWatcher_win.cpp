#include "InterruptWatcher.h"

#include <QMetaObject>
#include <atomic>
#include <windows.h>

namespace {

std::atomic<InterruptWatcher*> current{nullptr};
// Set when the watcher is gone, that is when the program has finished its clean stop.
HANDLE stopped = nullptr;

// Closing the console, logoff and shutdown end the process as soon as the handler returns
// (and after a few seconds in any case): the handler holds on until the stop is done.
constexpr DWORD kCloseWaitMs = 4000;

// Runs on a thread the system starts for it.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    InterruptWatcher* watcher = current.load();
    if (!watcher)
        return FALSE;
    QMetaObject::invokeMethod(watcher, &InterruptWatcher::interrupted, Qt::QueuedConnection);
    const bool ending =
        event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
    if (ending)
        WaitForSingleObject(stopped, kCloseWaitMs);
    return TRUE;
}

} // namespace

InterruptWatcher::InterruptWatcher()
{
    if (stopped)
        ResetEvent(stopped);
    else
        stopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    current = this;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

InterruptWatcher::~InterruptWatcher()
{
    current = nullptr;
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    SetEvent(stopped);
}
