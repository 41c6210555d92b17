#include "Flooder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace server_test {

Flooder::Flooder(quint16 port, const QByteArray& unit, const QByteArray& answerMark)
    : chunk_(unit.repeated(std::max<qsizetype>(1, 64 * 1024 / unit.size()))), mark_(answerMark)
{
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    (void)::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

Flooder::~Flooder() { ::close(fd_); }

void Flooder::run(int ms, qint64 limit)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms && sent_ < limit && !closed_) {
        pump();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

void Flooder::pump()
{
    for (int writes = 0; writes < 16; ++writes) {
        const ssize_t n = ::send(fd_, chunk_.constData() + offset_, size_t(chunk_.size() - offset_),
                                 MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno != EAGAIN && errno != EINPROGRESS && errno != ENOTCONN)
                closed_ = true;
            break;
        }
        sent_ += n;
        offset_ = (offset_ + n) % chunk_.size();
    }
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != ENOTCONN)) {
            closed_ = true;
            return;
        }
        if (n < 0)
            return;
        take(buffer, n);
    }
}

void Flooder::take(const char* bytes, qsizetype size)
{
    if (firstBytes_.size() < 64 * 1024)
        firstBytes_.append(bytes, std::min<qsizetype>(size, 64 * 1024 - firstBytes_.size()));
    QByteArray window = carry_ + QByteArray::fromRawData(bytes, size);
    for (qsizetype at = window.indexOf(mark_); at >= 0; at = window.indexOf(mark_, at + 1))
        ++answers_;
    carry_ = window.right(mark_.size() - 1);
}

} // namespace server_test
