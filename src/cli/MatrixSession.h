#pragma once
// tavloctl's connection to a matrix: opens the port, sends each command the one way every
// command goes out (the 100 ms pause, then the bytes), decodes what comes back into its own
// DeviceStatus, and waits for what a subcommand needs — always bounded, always driven by the
// port's notifications, never by polling. Lives on the main thread.
#include "CliFailure.h"
#include "DeviceStatus.h"
#include "PortOpenError.h"
#include "RemoteAccess.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QEventLoop;

class MatrixSession : public QObject {
    Q_OBJECT
public:
    // port: a name from the port list, a device path, socket://HOST:PORT or tls://HOST:PORT;
    // access: the token and trust shown to a server behind a network port.
    explicit MatrixSession(std::string port, RemoteAccess access = {});
    ~MatrixSession() override; // closes, draining first

    // Throws CliFailure (exit 3) when the port cannot be opened.
    void Open();
    // Throws CliFailure (exit 3) when the line has been lost, or a server refused this client
    // before the command could leave.
    void Send(const std::string& command);
    // For a caller that ends without waiting for an answer: a server that refuses a client
    // without a token says so only once it sees a command. Waits a moment for that on a
    // network port given no token, and throws CliFailure (exit 3) if it came.
    void ConfirmTaken();
    // Waits until done() holds after a received chunk; calls every() each everyMs meanwhile
    // (0: never). False when timeoutMs (negative: no limit) passed first or stop() was
    // called. Throws CliFailure (exit 3) when the line is lost meanwhile.
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs,
                   const std::function<void()>& every = {}, int everyMs = 0);
    // Ends a WaitUntil in progress (an interrupt).
    void Stop();
    // Every byte sent is on the wire before the port closes (closing discards unsent output).
    void Close();

    DeviceStatus& Status() { return *status_; }
    // Valid frames of the type received since the count was last reset.
    int FramesSeen(int type) const;
    void ResetFramesSeen() { framesSeen_.clear(); }
    // Called with each chunk as read and the text the receive log would show for it.
    void OnChunk(std::function<void(const QByteArray&, const std::string&)> handler)
    {
        onChunk_ = std::move(handler);
    }
    // Called before a chunk with the count of older bytes the port dropped unread: more
    // arrived than it holds between two reads.
    void OnDropped(std::function<void(qint64)> handler) { onDropped_ = std::move(handler); }
    // Keeps the session across a lost line instead of failing: the port waits for the same
    // adapter (or address) and reopens it. The handlers hear of the loss with its reason, of
    // the return, and once of each reason a returned port will not open for.
    struct LossHandlers {
        std::function<void(const QString& reason)> lost;
        std::function<void()> back;
        std::function<void(const QString& reason)> failing;
    };
    void FollowLosses(LossHandlers handlers);
    const std::string& PortName() const { return port_; }

private:
    void onData();
    void onLost(const QString& reason);
    void throwIfLost() const;

    std::string port_;
    RemoteAccess access_;
    PortOpenError lostError_ = PortOpenError::None;
    std::unique_ptr<DeviceStatus> status_;
    std::map<int, int> framesSeen_;
    std::function<void(const QByteArray&, const std::string&)> onChunk_;
    std::function<void(qint64)> onDropped_;
    std::function<bool()> done_;
    QEventLoop* loop_ = nullptr;
    bool satisfied_ = false;
    bool open_ = false;
    bool lost_ = false;
    QString lostReason_;
};

// A port named in the port list is opened by its device path; anything else as given.
QString ResolvePortName(const std::string& port);
