#pragma once
// The initial acquisition's request loop, a timer machine on the UI thread: it asks the matrix
// for its whole state 100 ms after Start and then every 3.6 s, until the device model reports
// the acquisition complete or failed, and then emits completed() or failed() once, queued,
// so the receiver runs after the handler that is in progress.
//
// Each request is sent with SendCommand on the UI thread, so it can never run into another
// command in one burst: every command leaves from the same thread after its own pause.
//
// The outcome is noticed at the next request, and at once when Check() is called (the Link
// page calls it after each decoded chunk and at the deadline), so a complete state does not
// wait out the rest of a 3.6 s cycle.
//
// UI thread only.
#include <QObject>
#include <QTimer>

class DeviceStatus;

class AcquisitionWorker : public QObject {
    Q_OBJECT
public:
    static constexpr int kRequestGapMs = 3500; // after each request; with its 100 ms pause 3.6 s

    explicit AcquisitionWorker(DeviceStatus& status, QObject* parent = nullptr);

    void Start();
    void Stop();
    bool IsRunning() const { return running_; }
    // Ends the loop with the outcome if the device model has one.
    void Check();

    // Tests shorten the cycle to keep suites fast.
    void setRequestGapMs(int ms) { gapMs_ = ms; }

signals:
    void completed();
    void failed();

private:
    void step();
    bool finishIfDecided();

    DeviceStatus& status_;
    QTimer next_;
    int gapMs_ = kRequestGapMs;
    bool running_ = false;
};
