#include "PtyMatrix.h"

#include "ReplyFrame.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

PtyMatrix::PtyMatrix(int burstGapMs) : gapMs_(burstGapMs)
{
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master_, &slave_, name, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slavePath_ = name;
    if (pipe(wakePipe_) != 0)
        throw std::runtime_error("pipe failed");
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    reader_ = std::thread([this] { readLoop(); });
}

PtyMatrix::~PtyMatrix()
{
    const char stop = 'x';
    while (::write(wakePipe_[1], &stop, 1) < 0 && errno == EINTR) {
    }
    reader_.join();
    for (int fd : {master_, slave_, wakePipe_[0], wakePipe_[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void PtyMatrix::write(std::span<const uint8_t> bytes)
{
    std::lock_guard lock(mutex_);
    size_t done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        pollfd out{master_, POLLOUT, 0};
        ::poll(&out, 1, 100);
    }
}

void PtyMatrix::write(const std::string& bytes)
{
    write(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

void PtyMatrix::writeFrame(int type, std::span<const uint8_t> data)
{
    write(BuildReplyFrame(type, data));
}

void PtyMatrix::closeMaster()
{
    // The slave we hold would keep the line up; the code under test has its own descriptor.
    std::lock_guard lock(mutex_);
    if (slave_ >= 0) {
        ::close(slave_);
        slave_ = -1;
    }
    const int fd = master_;
    master_ = -1;
    const char wake = 'c';
    while (::write(wakePipe_[1], &wake, 1) < 0 && errno == EINTR) {
    }
    ::close(fd);
}

std::vector<PtyMatrix::Burst> PtyMatrix::bursts()
{
    std::lock_guard lock(mutex_);
    return bursts_;
}

bool PtyMatrix::waitForBursts(size_t count, int timeoutMs)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return bursts_.size() >= count; });
}

std::string PtyMatrix::received()
{
    std::lock_guard lock(mutex_);
    std::string all;
    for (const auto& burst : bursts_)
        all += burst.bytes;
    if (pendingActive_)
        all += pending_.bytes;
    return all;
}

void PtyMatrix::clear()
{
    std::lock_guard lock(mutex_);
    bursts_.clear();
    pendingActive_ = false;
    pending_ = {};
}

void PtyMatrix::readLoop()
{
    for (;;) {
        int fd;
        {
            std::lock_guard lock(mutex_);
            fd = master_;
        }
        pollfd fds[2] = {{wakePipe_[0], POLLIN, 0}, {fd, POLLIN, 0}};
        const int n = ::poll(fds, fd >= 0 ? 2 : 1, gapMs_);
        std::lock_guard lock(mutex_);
        if (n == 0 ||
            (fd >= 0 && (fds[1].revents & (POLLHUP | POLLERR)) && !(fds[1].revents & POLLIN))) {
            // Silence (or a slave side nobody holds): the burst in progress is complete.
            if (pendingActive_) {
                bursts_.push_back(pending_);
                pendingActive_ = false;
                pending_ = {};
                changed_.notify_all();
            }
            if (n != 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        if (fds[0].revents & POLLIN) {
            char c;
            if (::read(wakePipe_[0], &c, 1) == 1 && c == 'x')
                return;
            continue;
        }
        if (fd >= 0 && (fds[1].revents & POLLIN)) {
            uint8_t buffer[4096];
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got <= 0)
                continue;
            const auto now = Clock::now();
            if (!pendingActive_) {
                pending_.start = now;
                pendingActive_ = true;
            }
            pending_.end = now;
            pending_.bytes.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(got));
        }
    }
}
