#include "AdapterWatcher.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStringList>

#include <cerrno>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

// What udev does when an adapter arrives: the node appears, gets its group and mode, and its
// links appear in /dev/serial/by-id (a folder udev may create anew).
constexpr uint32_t kEvents = IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_ONLYDIR;

// The folders whose changes can mean the adapter is back.
QStringList foldersFor(const QString& portName)
{
    const bool isPath = portName.contains(QLatin1Char('/'));
    const QString path =
        isPath ? QFileInfo(portName).absoluteFilePath() : QStringLiteral("/dev/") + portName;
    QStringList folders{QFileInfo(path).absolutePath(), QStringLiteral("/dev"),
                        QStringLiteral("/dev/serial/by-id")};
    folders.removeDuplicates();
    return folders;
}

// A folder that is not there yet is watched through the nearest one that is, until it comes.
QString nearestExisting(QString folder)
{
    while (!QFileInfo(folder).isDir() && folder != QStringLiteral("/"))
        folder = QFileInfo(folder).absolutePath();
    return folder;
}

class InotifySource : public AdapterWatcher::EventSource {
public:
    InotifySource(int fd, QStringList folders, std::function<void()> noticed)
        : fd_(fd), folders_(std::move(folders)), noticed_(std::move(noticed)),
          notifier_(fd, QSocketNotifier::Read)
    {
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { readEvents(); });
    }
    ~InotifySource() override
    {
        notifier_.setEnabled(false);
        ::close(fd_);
    }

    bool watchFolders()
    {
        bool any = false;
        for (const QString& folder : folders_) {
            const QByteArray name = QFile::encodeName(nearestExisting(folder));
            // Watching a folder again changes nothing: the system keeps one watch per folder.
            any |= ::inotify_add_watch(fd_, name.constData(), kEvents) >= 0;
        }
        return any;
    }

private:
    void readEvents()
    {
        alignas(inotify_event) char buffer[4096];
        bool folderCreated = false;
        for (;;) {
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            if (got <= 0)
                break;
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                // A folder came, or one of ours went (its watch with it).
                folderCreated |= (event->mask & (IN_ISDIR | IN_IGNORED)) != 0;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        // Watch what is there now: further down a path that has appeared, further up one that
        // has gone.
        if (folderCreated)
            watchFolders();
        noticed_();
    }

    int fd_;
    QStringList folders_;
    std::function<void()> noticed_;
    QSocketNotifier notifier_;
};

} // namespace

std::unique_ptr<AdapterWatcher::EventSource>
AdapterWatcher::OpenEventSource(const QString& portName, std::function<void()> noticed)
{
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0)
        return nullptr;
    auto source = std::make_unique<InotifySource>(fd, foldersFor(portName), std::move(noticed));
    if (!source->watchFolders())
        return nullptr;
    return source;
}
