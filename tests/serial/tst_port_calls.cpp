// Work handed to the port thread: it runs there, in the order handed over, however many
// threads hand it over at once, and a call made from the port thread itself does not wait for
// itself. The sanitizer leg runs this suite under ThreadSanitizer too.
#include "PortCalls.h"

#include <QtTest>
#include <algorithm>
#include <thread>
#include <vector>

class PortCallsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void workRunsThereInTheOrderHandedOver();
    void aCallFromThePortThreadRunsDirectly();

private:
    QThread thread_;
    PortCalls* calls_ = nullptr;
};

void PortCallsTest::init()
{
    calls_ = new PortCalls;
    calls_->moveToThread(&thread_);
    thread_.start();
}

void PortCallsTest::cleanup()
{
    calls_->deleteLater(); // on its own thread, as that thread ends
    thread_.quit();
    thread_.wait();
}

// Two threads each post writes and, between them, wait for reads, as the server's sender and its
// main thread do: each thread's work keeps its order, and a read sees every write its thread
// handed over before it.
void PortCallsTest::workRunsThereInTheOrderHandedOver()
{
    constexpr int kEach = 2000;
    std::vector<int> done[2]; // touched on the port thread only
    bool elsewhere = false;
    QThread* port = &thread_;
    // Counts the reads that missed a write handed over before them; QCOMPARE is for one thread.
    auto handOver = [&](int who) {
        int missed = 0;
        for (int i = 0; i < kEach; ++i) {
            calls_->post([&, who, i] {
                elsewhere |= QThread::currentThread() != port;
                done[who].push_back(i);
            });
            if (i % 100 == 99)
                missed += calls_->run([&, who] { return done[who].size(); }) != size_t(i + 1);
        }
        return missed;
    };
    int otherMissed = -1;
    std::thread other([&] { otherMissed = handOver(1); });
    const int mainMissed = handOver(0);
    other.join();
    QCOMPARE(mainMissed, 0);
    QCOMPARE(otherMissed, 0);
    const auto lists = calls_->run([&] { return std::vector{done[0], done[1]}; });
    QVERIFY(!calls_->run([&] { return elsewhere; }));
    for (const std::vector<int>& list : lists) {
        QCOMPARE(list.size(), size_t(kEach));
        QVERIFY(std::is_sorted(list.begin(), list.end()));
    }
}

void PortCallsTest::aCallFromThePortThreadRunsDirectly()
{
    const int inner = calls_->run([this] { return calls_->run([] { return 7; }) + 1; });
    QCOMPARE(inner, 8);
}

QTEST_GUILESS_MAIN(PortCallsTest)
#include "tst_port_calls.moc"
