#include "AcquisitionWorker.h"

#include "DeviceStatus.h"
#include "HostCommands.h"
#include "SendCommand.h"

AcquisitionWorker::AcquisitionWorker(DeviceStatus& status, QObject* parent)
    : QObject(parent), status_(status)
{
    next_.setSingleShot(true);
    next_.setTimerType(Qt::PreciseTimer);
    connect(&next_, &QTimer::timeout, this, &AcquisitionWorker::step);
}

void AcquisitionWorker::Start()
{
    running_ = true;
    // Zero delay: the page finishes showing its start text before the first request's pause.
    next_.start(0);
}

void AcquisitionWorker::Stop()
{
    running_ = false;
    next_.stop();
}

void AcquisitionWorker::Check()
{
    if (running_)
        finishIfDecided();
}

void AcquisitionWorker::step()
{
    if (!running_ || status_.stopRequested.load()) {
        Stop();
        return;
    }
    if (finishIfDecided())
        return;
    SendCommand(Commands::RequestAll());
    next_.start(gapMs_);
}

bool AcquisitionWorker::finishIfDecided()
{
    const int state = status_.acquisitionState.load();
    if (state == AcquisitionPending)
        return false;
    Stop();
    if (state == AcquisitionComplete) {
        status_.acquisitionDone = 1;
        QMetaObject::invokeMethod(this, &AcquisitionWorker::completed, Qt::QueuedConnection);
    } else {
        QMetaObject::invokeMethod(this, &AcquisitionWorker::failed, Qt::QueuedConnection);
    }
    return true;
}
