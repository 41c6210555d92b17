#pragma once
// Work handed to the port thread, in the order it was handed over: posted, or run and waited
// for. Qt's queued and blocking queued calls would do the same, but they hand the work over
// through Qt's own locks, which ThreadSanitizer cannot see into, and then every byte the two
// threads pass looks unguarded. Here the hand-over goes through a std::mutex the tool does see,
// and Qt only wakes the port thread, with a call that carries nothing.
#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class PortCalls : public QObject {
    Q_OBJECT
public:
    ~PortCalls() override; // frees posted work the thread never took

    // Queued behind everything handed over before it; never waited for.
    void post(std::function<void()> work);

    // Runs fn on this object's thread and waits for its result. A call made on that thread
    // itself runs directly, where waiting would wait for itself.
    template <typename Fn> auto run(Fn fn)
    {
        using Result = decltype(fn());
        if (QThread::currentThread() == thread())
            return fn();
        Result result{};
        // Without the application object (at exit) a thread delivers nothing, by Qt's rule: the
        // call is dropped, as a blocking queued call would be, rather than waited for forever.
        if (!QCoreApplication::instance())
            return result;
        Call call{[&] { result = fn(); }};
        enqueue(&call);
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [&] { return call.done; });
        return result;
    }

private:
    struct Call {
        std::function<void()> work;
        bool done = false;
        bool owned = false; // posted: freed once run
    };

    void enqueue(Call* call);
    Q_INVOKABLE void runWaiting();

    std::mutex mutex_; // guards the two below and every Call's done
    std::deque<Call*> waiting_;
    std::condition_variable finished_;
};
