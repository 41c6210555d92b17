#include "AdapterWatcher.h"

#include "PortTransport.h"

#include <QTimer>

AdapterWatcher::AdapterWatcher(QObject* parent) : QObject(parent), settle_(new QTimer(this))
{
    settle_->setSingleShot(true);
    settle_->setInterval(kSettleMs);
    settle_->callOnTimeout(this, &AdapterWatcher::adaptersChanged);
}

AdapterWatcher::~AdapterWatcher() = default;

bool AdapterWatcher::start(const QString& portName)
{
    stop();
    if (PortTransport::IsSocketPortName(portName))
        return false;
    // Each event pushes the report back: it comes once the burst is over.
    source_ = OpenEventSource(portName, [this] { settle_->start(); });
    return source_ != nullptr;
}

void AdapterWatcher::stop()
{
    source_.reset();
    settle_->stop();
}
