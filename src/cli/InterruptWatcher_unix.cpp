#include "InterruptWatcher.h"

#include <QMetaMethod>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace
{

int wakePipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Only async-signal-safe work here: the event loop does the rest, told which signal it was.
void onSignal(int signal)
{
    const char byte = char(signal);
    const int saved = errno;
    // The pipe full means a wake is already waiting; only an interrupted write is tried again.
    while (::write(wakePipe[1], &byte, 1) < 0 && errno == EINTR) {
    }
    errno = saved;
}

} // namespace

InterruptWatcher::InterruptWatcher()
{
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        const bool hangUpHeard =
            isSignalConnected(QMetaMethod::fromSignal(&InterruptWatcher::hangUp));
        bool hungUp = false;
        bool interrupt = false;
        char drain[16];
        for (ssize_t n; (n = ::read(wakePipe[0], drain, sizeof drain)) > 0;) {
            for (ssize_t i = 0; i < n; ++i)
                (drain[i] == SIGHUP && hangUpHeard ? hungUp : interrupt) = true;
        }
        if (hungUp)
            emit hangUp();
        if (interrupt)
            emit interrupted();
    });
    struct sigaction action {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals)
        sigaction(signal, &action, nullptr);
}

InterruptWatcher::~InterruptWatcher()
{
    for (int signal : kSignals)
        std::signal(signal, SIG_DFL);
    qDeleteAll(findChildren<QSocketNotifier*>());
    for (int& fd : wakePipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}
