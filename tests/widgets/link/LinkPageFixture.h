#pragma once
// A Link page wired to a pseudo-terminal matrix: the port list offers only the test's line,
// every message box is recorded, and each page refresh is recorded by name in call order.
#include "CDialog_Link.h"
#include "ControlId.h"
#include "DeviceStatus.h"
#include "EnterEscapeFilter.h"
#include "MySerialPortComm.h"
#include "OperatorMessages.h"
#include "PtyMatrix.h"
#include "ReplyFrame.h"
#include "RxLogBox.h"
#include "SettingsSandbox.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTest>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace link_test {

using Clock = std::chrono::steady_clock;

// Eight 16-byte name entries "<prefix>1" .. "<prefix>8".
inline std::vector<uint8_t> nameTable(const std::string& prefix)
{
    std::vector<uint8_t> table(128, 0);
    for (int k = 0; k < 8; ++k) {
        const std::string name = prefix + std::to_string(k + 1);
        std::copy(name.begin(), name.end(), table.begin() + 16 * k);
    }
    return table;
}

inline std::vector<uint8_t> frameBytes(int type, const std::vector<uint8_t>& data)
{
    return BuildReplyFrame(type, data);
}

inline std::string frameString(int type, const std::vector<uint8_t>& data)
{
    const std::vector<uint8_t> frame = frameBytes(type, data);
    return std::string(frame.begin(), frame.end());
}

// The answer to the request for everything: every block and table, the HDMI output names last.
// Blocks not given are zeros; the one of type leftOut is not sent.
inline std::string wholeState(const std::map<int, std::vector<uint8_t>>& given = {},
                              int leftOut = 0)
{
    std::string answer;
    for (int type : {1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 13, 9}) {
        if (type == leftOut)
            continue;
        const auto it = given.find(type);
        const size_t size = type == FrameNetwork               ? 39
                            : type == FrameStatus              ? 96
                            : type == FrameModel               ? 48
                            : type <= FrameEdidHdbtOutputNames ? 256
                                                               : 128;
        answer += frameString(type, it != given.end() ? it->second : std::vector<uint8_t>(size, 0));
    }
    return answer;
}

// Short waits, for tests that would otherwise sit out the panel's real ones.
inline CDialog_Link::Timings fastTimings()
{
    CDialog_Link::Timings t;
    t.pollMs = 300;
    t.noticeMs = 200;
    t.deadlineMs = 1200;
    t.requestGapMs = 300;
    return t;
}

struct LinkFixture {
    explicit LinkFixture(CDialog_Link::Timings timings = {})
    {
        GlobalSerialPort().ClosePort();
        // Start every test as a fresh program would: no acquisition has succeeded yet.
        GlobalDeviceStatus().initialDataReceived = 0;
        qApp->installEventFilter(&keyFilter);
        page = std::make_unique<CDialog_Link>();
        ports = {portRecord(pty.slavePath(), "Test matrix")};
        page->SetPortEnumerator([this] { return ports; });
        page->SetTimings(timings);
        page->SetRefreshers(recorders());
        page->FillPortList();
        page->resize(820, 600);
        page->show();
    }

    ~LinkFixture()
    {
        GlobalSerialPort().ClosePort();
        qApp->removeEventFilter(&keyFilter);
    }

    static SSerInfo portRecord(const std::string& path, const QString& description)
    {
        SSerInfo info;
        info.devicePath = QString::fromStdString(path);
        info.portName = info.devicePath;
        info.friendlyName = info.devicePath;
        info.portDescription = description;
        return info;
    }

    PageRefreshers recorders()
    {
        PageRefreshers r;
        r.videoOutputs = [this] { refreshes << "video"; };
        r.audioInputs = [this] { refreshes << "audioIn"; };
        r.audioOutputs = [this] { refreshes << "audioOut"; };
        r.edidInputs = [this] { refreshes << "edid"; };
        r.network = [this] { refreshes << "network"; };
        r.system = [this] { refreshes << "system"; };
        return r;
    }

    template <typename T = QWidget> T* control(int id) const
    {
        return FindControl<T>(page.get(), id);
    }
    QPushButton* openButton() const { return control<QPushButton>(CDialog_Link::kOpenPort); }
    RxLogBox* rxBox() const { return control<RxLogBox>(CDialog_Link::kRxBox); }
    QPlainTextEdit* txBox() const { return control<QPlainTextEdit>(CDialog_Link::kTxBox); }
    QString rxShown() const { return rxBox()->toPlainText(); }

    // Clicks Open Port and returns the moment just before the click.
    Clock::time_point clickOpen()
    {
        const Clock::time_point before = Clock::now();
        QTest::mouseClick(openButton(), Qt::LeftButton);
        return before;
    }

    // Opens and answers the first request with the whole state, so the page is running.
    bool openAndComplete()
    {
        clickOpen();
        if (!waitBursts(1, 3000))
            return false;
        pty.write(wholeState({{FrameInputPortNames, nameTable("in")},
                              {FrameHdmiOutputPortNames, nameTable("hdmi")}}));
        return QTest::qWaitFor([this] { return rxShown().contains("was successful"); }, 5000);
    }

    // Waits with the event loop running: the page sends from the UI thread.
    bool waitBursts(size_t count, int timeoutMs)
    {
        return QTest::qWaitFor([&] { return pty.bursts().size() >= count; }, timeoutMs);
    }

    std::vector<std::string> burstTexts()
    {
        std::vector<std::string> texts;
        for (const PtyMatrix::Burst& burst : pty.bursts())
            texts.push_back(burst.bytes);
        return texts;
    }

    PtyMatrix pty;
    RecordingMessages messages;
    EnterEscapeFilter keyFilter;
    std::vector<SSerInfo> ports;
    QStringList refreshes;
    std::unique_ptr<CDialog_Link> page;
};

} // namespace link_test
