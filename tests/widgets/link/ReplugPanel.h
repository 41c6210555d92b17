#pragma once
// The whole panel in front of the simulated matrix behind a link that comes and goes with its
// line, as an adapter does behind /dev/serial/by-id.
#include "CDialog_Link.h"
#include "CDialog_Video.h"
#include "CTavloDlg.h"
#include "ControlId.h"
#include "DeviceStatus.h"
#include "LinkStateLabel.h"
#include "MatrixSimulator.h"
#include "MySerialPortComm.h"
#include "OperatorMessages.h"
#include "RxLogBox.h"

#include <QCheckBox>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace replug {

inline const QString kDone = QStringLiteral("The initialization data was successful");
inline const QString kWaiting = QStringLiteral("waiting for it to return");

// Runs the event loop without the polling of QTest::qWait, so that the CPU used meanwhile is
// the panel's own.
inline void sitIdle(int ms)
{
    QEventLoop idle;
    QTimer::singleShot(ms, &idle, &QEventLoop::quit);
    idle.exec();
}

struct Panel {
    Panel()
    {
        std::string error;
        started = sim.Start(&error) && plug();
        GlobalDeviceStatus().initialDataReceived = 0;
        window = std::make_unique<CTavloDlg>();
        SSerInfo info;
        info.devicePath = info.portName = info.friendlyName = linkPath;
        info.portDescription = QStringLiteral("Test matrix");
        link()->SetPortEnumerator([info] { return std::vector<SSerInfo>{info}; });
        link()->FillPortList();
        window->show();
    }
    ~Panel() { GlobalSerialPort().ClosePort(); }

    CDialog_Link* link() const { return window->linkPage(); }
    template <typename T = QWidget> T* control(int id) const { return FindControl<T>(link(), id); }
    QPushButton* toggle() const { return control<QPushButton>(CDialog_Link::kOpenPort); }
    QCheckBox* reconnectBox() const { return control<QCheckBox>(CDialog_Link::kReconnect); }
    LinkStateLabel* state() const { return control<LinkStateLabel>(CDialog_Link::kLinkState); }
    QString rx() const { return control<RxLogBox>(CDialog_Link::kRxBox)->toPlainText(); }
    CDialog_Video* video() const { return window->findChild<CDialog_Video*>(); }
    QString outputCaption(int output) const
    {
        return FindControl<QPushButton>(video(), CDialog_Video::kOutputBase + output)->text();
    }

    bool openAndComplete()
    {
        QTest::mouseClick(toggle(), Qt::LeftButton);
        return QTest::qWaitFor([this] { return rx().contains(kDone); }, 8000);
    }
    bool plug() { return QFile::link(QString::fromStdString(sim.SlavePath()), linkPath); }
    void unplug()
    {
        sim.CloseLine();
        QFile::remove(linkPath);
    }

    QTemporaryDir dir;
    QString linkPath = dir.filePath(QStringLiteral("ttyMATRIX"));
    MatrixSimulator sim;
    bool started = false;
    RecordingMessages messages;
    std::unique_ptr<CTavloDlg> window;
};

} // namespace replug
