#include "PortCalls.h"

PortCalls::~PortCalls()
{
    // Taken after the last caller let go of it, so the caller is done with the condition too.
    std::lock_guard lock(mutex_);
    for (Call* call : waiting_)
        delete call; // only posted work is left: a waiting caller would still be waiting
}

void PortCalls::post(std::function<void()> work)
{
    enqueue(new Call{std::move(work), false, true});
}

void PortCalls::enqueue(Call* call)
{
    bool wasEmpty = false;
    {
        std::lock_guard lock(mutex_);
        wasEmpty = waiting_.empty();
        waiting_.push_back(call);
    }
    // A queue that held work already has a wake-up on its way, or runWaiting is emptying it.
    // By name, so that the call Qt queues holds no state of ours.
    if (wasEmpty)
        QMetaObject::invokeMethod(this, "runWaiting", Qt::QueuedConnection);
}

void PortCalls::runWaiting()
{
    std::unique_lock lock(mutex_);
    while (!waiting_.empty()) {
        Call* call = waiting_.front();
        waiting_.pop_front();
        lock.unlock();
        call->work();
        lock.lock();
        if (call->owned) {
            delete call;
        } else {
            call->done = true;
            finished_.notify_all();
        }
    }
}
