#include "SlaveLine.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace
{

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

SlaveLine::SlaveLine(const std::string& path)
{
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        return;
    termios raw{};
    tcgetattr(fd_, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd_, TCSANOW, &raw);
}

SlaveLine::~SlaveLine()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void SlaveLine::write(const std::string& bytes)
{
    size_t done = 0;
    while (fd_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
    }
}

std::vector<uint8_t> SlaveLine::readUntilQuiet(int quietMs, int totalMs)
{
    std::vector<uint8_t> got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);
    for (;;) {
        pollfd in{fd_, POLLIN, 0};
        const int wait = std::min(quietMs, remainingMs(deadline));
        if (::poll(&in, 1, wait) <= 0 || !(in.revents & POLLIN))
            return got;
        uint8_t buffer[4096];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0)
            return got;
        got.insert(got.end(), buffer, buffer + n);
    }
}

std::vector<uint8_t> SlaveLine::readAtLeast(size_t count, int timeoutMs)
{
    std::vector<uint8_t> got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count) {
        pollfd in{fd_, POLLIN, 0};
        if (::poll(&in, 1, remainingMs(deadline)) <= 0 || !(in.revents & POLLIN))
            break;
        uint8_t buffer[4096];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

bool SlaveLine::waitForHangup(int timeoutMs)
{
    // Bytes still on their way (a reply written just before the line closed) are read and
    // dropped; only the hang-up itself counts.
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd in{fd_, POLLIN, 0};
        const int left = remainingMs(deadline);
        if (left == 0 || ::poll(&in, 1, left) <= 0)
            return false;
        if (in.revents & (POLLHUP | POLLERR))
            return true;
        uint8_t buffer[256];
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got == 0 || (got < 0 && errno == EIO))
            return true;
    }
}
