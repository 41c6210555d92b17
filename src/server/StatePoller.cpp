#include "StatePoller.h"

#include "HostCommands.h"
#include "WireSender.h"

namespace {

QByteArray bytesOf(const HostCommand& command) { return QByteArray::fromStdString(command); }

} // namespace

StatePoller::StatePoller(WireSender& sender, std::function<bool()> whole, Timings timings,
                         QObject* parent)
    : QObject(parent), sender_(sender), whole_(std::move(whole))
{
    repeat_.setInterval(timings.repeatMs);
    deadline_.setInterval(timings.deadlineMs);
    deadline_.setSingleShot(true);
    poll_.setInterval(timings.pollMs);
    for (QTimer* timer : {&repeat_, &deadline_, &poll_})
        timer->setTimerType(Qt::PreciseTimer);
    connect(&repeat_, &QTimer::timeout, this, [this] { request(bytesOf(Commands::RequestAll())); });
    connect(&poll_, &QTimer::timeout, this,
            [this] { request(bytesOf(Commands::RequestStatus())); });
    connect(&deadline_, &QTimer::timeout, this, &StatePoller::giveUp);
}

void StatePoller::Start()
{
    request(bytesOf(Commands::RequestAll()));
    repeat_.start();
    deadline_.start();
    poll_.start();
}

void StatePoller::Stop()
{
    repeat_.stop();
    deadline_.stop();
    poll_.stop();
}

void StatePoller::CheckWhole()
{
    if (!repeat_.isActive() || !whole_())
        return;
    repeat_.stop();
    deadline_.stop();
    emit acquired();
}

void StatePoller::request(const QByteArray& command)
{
    WireCommand wire;
    wire.bytes = command;
    sender_.Submit({wire});
}

void StatePoller::giveUp()
{
    repeat_.stop();
    emit overdue();
}
