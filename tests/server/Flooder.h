#pragma once
// A client that writes one request over and over as fast as the server takes it, and reads
// and counts every answer, so that only TCP can hold it back. The event loop runs while it
// floods: the server under test lives in the same thread.
#include <QByteArray>
#include <QtGlobal>

namespace server_test {

class Flooder {
public:
    // answerMark: the bytes that appear once in each answer.
    Flooder(quint16 port, const QByteArray& unit, const QByteArray& answerMark);
    ~Flooder();
    Flooder(const Flooder&) = delete;
    Flooder& operator=(const Flooder&) = delete;

    // Floods until the time is up, limit bytes have gone, or the server closes.
    void run(int ms, qint64 limit);

    qint64 sent() const { return sent_; }
    int answers() const { return answers_; }
    bool closed() const { return closed_; }
    // The first bytes received (up to 64 KiB).
    const QByteArray& received() const { return firstBytes_; }

private:
    void pump();
    void take(const char* bytes, qsizetype size);

    int fd_ = -1;
    QByteArray chunk_; // whole units, so any prefix of the stream is whole units and a part
    qsizetype offset_ = 0;
    QByteArray mark_;
    QByteArray carry_; // the end of what was read, in case a mark straddles two reads
    QByteArray firstBytes_;
    qint64 sent_ = 0;
    int answers_ = 0;
    bool closed_ = false;
};

} // namespace server_test
