#include "PortReconnector.h"

#include "AdapterWatcher.h"
#include "PortTransport.h"

#include <QTimer>
#include <algorithm>

PortReconnector::PortReconnector(QObject* parent)
    : QObject(parent), next_(new QTimer(this)), watcher_(new AdapterWatcher(this))
{
    next_->setSingleShot(true);
    next_->callOnTimeout(this, &PortReconnector::tryReopen);
    // Something arrived: look now, whatever the backoff said.
    connect(watcher_, &AdapterWatcher::adaptersChanged, this, [this] {
        next_->stop();
        tryReopen();
    });
}

void PortReconnector::start(PortTransport* transport, int baudRate, const QString& portName)
{
    stop();
    transport_ = transport;
    baudRate_ = baudRate;
    lookMs_ = watcher_->start(portName) ? kWatchedLookIntervalMs : kLookIntervalMs;
    connect(transport_, &PortTransport::reopened, this, [this] {
        stop();
        emit reconnected();
    });
    connect(transport_, &PortTransport::reopenFailed, this, &PortReconnector::onReopenFailed);
    next_->start(lookMs_);
}

void PortReconnector::stop()
{
    watcher_->stop();
    next_->stop();
    if (transport_)
        transport_->disconnect(this);
    transport_ = nullptr;
    backoffMs_ = kLookIntervalMs;
    reported_.clear();
}

void PortReconnector::tryReopen()
{
    if (transport_)
        transport_->reopen(baudRate_);
}

void PortReconnector::onReopenFailed(const PortOpenFailure& failure)
{
    if (failure.error == PortOpenError::Missing) {
        next_->start(lookMs_);
        return;
    }
    next_->start(backoffMs_);
    backoffMs_ = std::min(backoffMs_ * 2, kMaxBackoffMs);
    if (failure.text != reported_) {
        reported_ = failure.text;
        emit failing(failure.text);
    }
}
