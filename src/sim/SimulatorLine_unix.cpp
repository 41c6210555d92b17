// Simulator lines on Unix: descriptors, poll() and a wake-up pipe.
#include "SimulatorLine.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <sched.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

void setCloseOnExec(int fd) { fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC); }

void setNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

std::string systemError(const std::string& what) { return what + ": " + std::strerror(errno); }

// The wake-up pipe every line has, and the wait on it and on the line's descriptors.
class DescriptorLine : public SimulatorLine {
public:
    ~DescriptorLine() override
    {
        closeFd(wake_[0]);
        closeFd(wake_[1]);
    }

    bool OpenWake(std::string* error)
    {
        if (::pipe(wake_) == 0) {
            setCloseOnExec(wake_[0]);
            setCloseOnExec(wake_[1]); // a child process must not keep the line up
            return true;
        }
        *error = systemError("cannot make a pipe");
        return false;
    }

    void Wake(char reason) override
    {
        // A wake lost to a signal would leave the reading thread waiting for ever.
        while (::write(wake_[1], &reason, 1) < 0 && errno == EINTR) {
        }
    }

protected:
    // Waits on the pipe and the given descriptors (-1 entries are left out); fills revents.
    Event WaitOn(pollfd* fds, size_t count, int timeoutMs, char* reason)
    {
        pollfd all[4] = {{wake_[0], POLLIN, 0}};
        for (size_t i = 0; i < count; ++i)
            all[i + 1] = fds[i];
        const int ready = ::poll(all, static_cast<nfds_t>(count + 1), timeoutMs);
        if (ready < 0)
            return errno == EINTR ? Event::TimedOut : Event::Failed;
        for (size_t i = 0; i < count; ++i)
            fds[i].revents = all[i + 1].revents;
        if ((all[0].revents & POLLIN) && ::read(wake_[0], reason, 1) == 1)
            return Event::Woken;
        return ready == 0 ? Event::TimedOut : Event::Readable;
    }

    static long readFd(int fd, char* buffer, size_t size)
    {
        const ssize_t got = ::read(fd, buffer, size);
        if (got < 0)
            return errno == EAGAIN || errno == EINTR ? 0 : -1;
        return got == 0 ? -1 : got;
    }

    static long writeFd(int fd, const uint8_t* data, size_t size)
    {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n >= 0)
            return n;
        if (errno == ENOTSOCK) {
            const ssize_t written = ::write(fd, data, size);
            if (written >= 0)
                return written;
        }
        return errno == EAGAIN || errno == EINTR ? 0 : -1;
    }

    static void waitWritable(int fd, int timeoutMs)
    {
        pollfd out{fd, POLLOUT, 0};
        ::poll(&out, 1, timeoutMs);
    }

private:
    int wake_[2] = {-1, -1};
};

class PseudoTerminalLine : public DescriptorLine {
public:
    ~PseudoTerminalLine() override { HangUp(); }

    bool Open(std::string* error)
    {
        char name[256] = {};
        termios raw{};
        cfmakeraw(&raw);
        // The slave stays open here too, so the line stays up between the client's opens.
        if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
            *error = systemError("cannot open a pseudo-terminal");
            return false;
        }
        setCloseOnExec(master_);
        setCloseOnExec(slave_);
        setNonBlocking(master_);
        path_ = name;
        return OpenWake(error);
    }

    std::string ClientAddress() const override { return path_; }

    Event Wait(int timeoutMs, char* reason) override
    {
        pollfd line{master_, POLLIN, 0};
        const Event event = WaitOn(&line, 1, timeoutMs, reason);
        if (event == Event::Readable && !(line.revents & (POLLIN | POLLHUP | POLLERR)))
            return Event::TimedOut;
        return event;
    }

    long Read(char* buffer, size_t size) override { return readFd(master_, buffer, size); }
    long Write(const uint8_t* data, size_t size) override { return writeFd(master_, data, size); }
    void WaitWritable(int timeoutMs) override { waitWritable(master_, timeoutMs); }

    void HangUp() override
    {
        closeFd(master_);
        closeFd(slave_);
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

// One client at a time; a second one is turned away while the first is connected, as a serial
// line has one other end.
class TcpLine : public DescriptorLine {
public:
    ~TcpLine() override { HangUp(); }

    bool Open(const std::string& host, uint16_t port, std::string* error)
    {
        addrinfo hints{};
        hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
            *error = "not an IP address: " + host;
            return false;
        }
        const bool ok = listenOn(*found, error);
        ::freeaddrinfo(found);
        return ok && OpenWake(error);
    }

    std::string ClientAddress() const override { return address_; }

    Event Wait(int timeoutMs, char* reason) override
    {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {client(), POLLIN, 0}};
        const Event event = WaitOn(fds, 2, timeoutMs, reason);
        if (event != Event::Readable)
            return event;
        if (fds[0].revents & POLLIN)
            takeClient();
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR))
            return Event::Readable;
        return Event::TimedOut;
    }

    long Read(char* buffer, size_t size) override
    {
        const long got = readFd(client(), buffer, size);
        if (got < 0)
            dropClient(); // the client left; the line stays up for the next one
        return got < 0 ? 0 : got;
    }

    long Write(const uint8_t* data, size_t size) override
    {
        std::lock_guard lock(clientMutex_);
        if (client_ < 0)
            return static_cast<long>(size);
        const long n = writeFd(client_, data, size);
        return n < 0 ? static_cast<long>(size) : n; // a client gone is noticed by the reader
    }

    void WaitWritable(int timeoutMs) override
    {
        std::lock_guard lock(clientMutex_);
        waitWritable(client_, timeoutMs);
    }

    void HangUp() override
    {
        dropClient();
        closeFd(listener_);
    }

private:
    bool listenOn(const addrinfo& address, std::string* error)
    {
        listener_ = ::socket(address.ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        if (listener_ < 0 ||
            ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
            ::bind(listener_, address.ai_addr, address.ai_addrlen) != 0 ||
            ::listen(listener_, 1) != 0) {
            *error = systemError("cannot listen on the address");
            closeFd(listener_);
            return false;
        }
        sockaddr_storage bound{};
        socklen_t length = sizeof bound;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&bound), &length);
        char host[NI_MAXHOST] = {};
        char port[NI_MAXSERV] = {};
        ::getnameinfo(reinterpret_cast<sockaddr*>(&bound), length, host, sizeof host, port,
                      sizeof port, NI_NUMERICHOST | NI_NUMERICSERV);
        const bool v6 = bound.ss_family == AF_INET6;
        address_ = std::string("socket://") + (v6 ? "[" : "") + host + (v6 ? "]" : "") + ":" + port;
        return true;
    }

    int client() const
    {
        std::lock_guard lock(clientMutex_);
        return client_;
    }

    void takeClient()
    {
        const int accepted = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (accepted < 0)
            return;
        std::lock_guard lock(clientMutex_);
        if (client_ >= 0) {
            ::close(accepted);
            return;
        }
        const int yes = 1;
        ::setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        client_ = accepted;
    }

    void dropClient()
    {
        std::lock_guard lock(clientMutex_);
        closeFd(client_);
    }

    int listener_ = -1;
    mutable std::mutex clientMutex_; // client_ changes on the reader, is written on the writer
    int client_ = -1;
    std::string address_;
};

} // namespace

std::unique_ptr<SimulatorLine> OpenLocalLine(std::string* error)
{
    auto line = std::make_unique<PseudoTerminalLine>();
    if (!line->Open(error))
        return nullptr;
    return line;
}

std::unique_ptr<SimulatorLine> OpenTcpLine(const std::string& host, uint16_t port,
                                           std::string* error)
{
    auto line = std::make_unique<TcpLine>();
    if (!line->Open(host, port, error))
        return nullptr;
    return line;
}

// At normal priority on a loaded machine the reading thread can wait on the run queue for
// longer than a client's pause, then read two paced commands at once and take them for one
// command sent without a pause. At the lowest real-time priority it runs as soon as bytes come.
// The thread only ever waits between short bursts of work, so it never holds a core. Without
// the privilege for it the thread keeps the priority it has.
void ReadAsBytesArrive()
{
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO);
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}
