#pragma once
// The Link page: the operator picks a port and opens it; the page then runs the initial
// acquisition (the whole state of the matrix, under three timers), shows every received chunk
// decoded in the Rx box (the operator's console, RxConsole), sends raw text from the Tx box
// (Up and Down recall what was sent), keeps the other pages refreshed from the device model and
// closes the connection again.
//
// With "Reconnect automatically" on, a port lost while open is waited for instead of closed:
// the other pages keep their last state, greyed, and when the port returns the page runs the
// acquisition again, as after Open Port. The operator's choice is kept in the settings.
//
// Threads: everything here runs on the UI thread. The port's receive notification and the
// acquisition outcome arrive queued, and page refreshes are queued behind the handler that
// decoded the block, so no handler ever runs inside another.
#include "AcquisitionWorker.h"
#include "PageRefreshers.h"
#include "RemoteAccess.h"
#include "RxConsole.h"
#include "RxRingBuffer.h"
#include "SerialPortList.h"
#include "TxHistory.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

class CMyComboBox;
class LinkStateLabel;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class RxLogBox;

class CDialog_Link : public QWidget {
    Q_OBJECT
public:
    // Control identifiers.
    static constexpr int kPortCombo = 1001;
    static constexpr int kBaudCombo = 1002;
    static constexpr int kSearch = 1003;
    static constexpr int kClear = 1004;
    static constexpr int kSend = 1007;
    static constexpr int kRxBox = 1034;
    static constexpr int kTxBox = 1035;
    static constexpr int kOpenPort = 1071;
    static constexpr int kReconnect = 1072; // "Reconnect automatically"
    static constexpr int kLinkState = 1073; // the link's state in a few words

    // Timer identifiers; tests find the timers by the object names "timer<id>".
    static constexpr int kPollTimerId = 19900917;   // periodic status request
    static constexpr int kNoticeTimerId = 19910923; // data time-out notice
    static constexpr int kDeadlineTimerId = 199;    // acquisition deadline
    static constexpr int kPollMs = 7000;
    static constexpr int kNoticeMs = 5000;
    static constexpr int kDeadlineMs = 30000;

    static constexpr int kDefaultBaudIndex = 6; // "115200"
    static constexpr qsizetype kRxLogLimit = ConsoleLog::kLimit;
    static constexpr qsizetype kTxByteLimit = 16384; // one chunk of the matrix's receive queue
    // Until the first acquisition has succeeded each receive waits this long before reading.
    static constexpr int kFirstDataWaitMs = 500;

    // Texts of the Rx box's status lines.
    static const QString kStartText;
    static const QString kTimeoutNoticeText;
    static const QString kDoneText;
    static const QString kFailedText;
    static const QString kClosedText;

    struct Timings {
        int pollMs = kPollMs;
        int noticeMs = kNoticeMs;
        int deadlineMs = kDeadlineMs;
        int requestGapMs = AcquisitionWorker::kRequestGapMs;
    };
    // Lists the ports; may raise SerialPortListError.
    using PortEnumerator = std::function<std::vector<SSerInfo>()>;

    explicit CDialog_Link(QWidget* parent = nullptr);

    void SetRefreshers(PageRefreshers refreshers) { refreshers_ = std::move(refreshers); }
    void SetPortEnumerator(PortEnumerator enumerator);
    void SetTimings(const Timings& timings);
    // The token and trust for network ports (from the command line). A token the operator
    // types when a server asks for one replaces it, for this run only: it is never stored.
    void SetRemoteAccess(const RemoteAccess& access);

    void FillPortList();
    // Chooses the listed port with that device path or name, as if the operator had picked
    // it; false when none is listed.
    bool ChoosePort(const QString& port);
    void TogglePort(bool checked);
    // Opens the port chosen in the controls; on failure tells the operator and leaves the page
    // closed (toggle unchecked, port closed).
    bool OpenFromControls();
    void StartAcquisition();
    // Returns the controls to the closed state and stops acquisition, polling and refreshes.
    // The caller has closed the port (the toggle, a lost port, the System page).
    void CloseUiAfterPortClose();
    void SendTxText();
    void ClearRx();
    void OnPortReceive();
    // One chunk as read from the port: logged, decoded into the device model, pages refreshed.
    void ReceiveChunk(const QByteArray& bytes);

    const QString& rxLog() const { return console_->text(); }
    RxConsole* console() const { return console_; }
    // Replaces the receive log and shows it; the log-size limit is tested through this.
    void ReplaceRxLog(const QString& log);
    const QString& selectedPortText() const { return selectedPortText_; }
    const QString& openPortName() const { return openPortName_; }

signals:
    // The other pages show a state the matrix may no longer have: from a loss that is waited
    // for until the acquisition after the port's return has ended (or the page is closed).
    void pagesStale(bool stale);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QGroupBox* buildParameterGroup();
    QGroupBox* buildInfoGroup();
    QGroupBox* buildSettingGroup();
    QGroupBox* buildDisplayGroup();
    QTimer* makeTimer(int id, bool singleShot);
    void setOpenControls(bool open);
    void failOpen(const QString& error);
    void setPagesStale(bool stale);
    void stopAcquisitionTimers();
    void SetReconnect(bool on);

    void OnPageTimer(int id);
    void OnAcquisitionDone();
    void OnAcquisitionFailed();
    void OnPortLost(const QString& reason);
    void askForToken(const QString& reason);
    void OnPortLostWaiting(const QString& reason);
    void OnPortReconnected();
    void OnReconnectFailing(const QString& reason);
    void ScheduleRefresh();
    void RunPendingRefreshes();
    void ClearAcquisitionFlags();
    bool FilterKeys(QObject* watched, QEvent* event);
    bool RecallTxHistory(QObject* watched, QEvent* event);

    CMyComboBox* portCombo_ = nullptr;
    QComboBox* baudCombo_ = nullptr;
    QPushButton* searchButton_ = nullptr;
    QPushButton* openButton_ = nullptr;
    QCheckBox* reconnectBox_ = nullptr;
    LinkStateLabel* linkState_ = nullptr;
    RxLogBox* rxBox_ = nullptr;
    RxConsole* console_ = nullptr;
    TxHistory txHistory_;
    QPushButton* clearButton_ = nullptr;
    QPlainTextEdit* txBox_ = nullptr;
    QPushButton* sendButton_ = nullptr;

    QTimer* pollTimer_ = nullptr;
    QTimer* noticeTimer_ = nullptr;
    QTimer* deadlineTimer_ = nullptr;
    AcquisitionWorker acquisition_;
    PageRefreshers refreshers_;
    PortEnumerator enumerate_;
    std::vector<SSerInfo> listed_; // the records behind the port list's items, in order

    QString selectedPortText_; // the item the operator last chose
    QString openPortName_;
    RemoteAccess access_;
    RxRingBuffer rxRing_;
    bool connected_ = false; // the controls show an open port, or one waited for
    bool waiting_ = false;   // the port was lost and is waited for
    bool pagesStale_ = false;
    bool refreshRunning_ = false; // acquisition ended: decoded blocks refresh the pages
    bool refreshQueued_ = false;
};
