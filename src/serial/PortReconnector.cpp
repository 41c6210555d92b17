#include "PortReconnector.h"

#include "PortTransport.h"

#include <QTimer>
#include <algorithm>

PortReconnector::PortReconnector(QObject* parent) : QObject(parent), next_(new QTimer(this))
{
    next_->setSingleShot(true);
    next_->callOnTimeout(this, &PortReconnector::tryReopen);
}

void PortReconnector::start(PortTransport* transport, int baudRate)
{
    stop();
    transport_ = transport;
    baudRate_ = baudRate;
    connect(transport_, &PortTransport::reopened, this, [this] {
        stop();
        emit reconnected();
    });
    connect(transport_, &PortTransport::reopenFailed, this, &PortReconnector::onReopenFailed);
    next_->start(kLookIntervalMs);
}

void PortReconnector::stop()
{
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
        next_->start(kLookIntervalMs);
        return;
    }
    next_->start(backoffMs_);
    backoffMs_ = std::min(backoffMs_ * 2, kMaxBackoffMs);
    if (failure.text != reported_) {
        reported_ = failure.text;
        emit failing(failure.text);
    }
}
