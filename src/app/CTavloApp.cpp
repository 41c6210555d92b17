#include "CTavloApp.h"

#include "CDialog_Link.h"
#include "CTavloDlg.h"
#include "MySerialPortComm.h"
#include "OperatorMessages.h"
#include "PanelCommandLine.h"
#include "SerialPortList.h"
#include "TavloVersion.h"

#include <algorithm>

const QString CTavloApp::kSimulatedPortDescription = QStringLiteral("Simulated 4x8 HDMI2.0 Matrix");

void CTavloApp::SetIdentity()
{
    // The settings live under the organisation and application names. No display name: the
    // window system would append it to every title that differs from it ("ERROR — 4x8 HDMI2.0
    // Matrix"), and each window's title is its whole caption.
    setOrganizationName(QStringLiteral("Tavlo"));
    setApplicationName(QStringLiteral("tavlo"));
    setApplicationVersion(QStringLiteral(TAVLO_VERSION));
    // Ties the window to the installed desktop entry (Wayland asks for it by this id).
    setDesktopFileName(QStringLiteral("org.tavlo.Tavlo"));
}

CTavloApp::CTavloApp(int& argc, char** argv) : QApplication(argc, argv)
{
    SetIdentity();
    installEventFilter(&keyFilter_);
}

CTavloApp::~CTavloApp() = default;

int CTavloApp::Run()
{
    const PanelOptions options = PanelCommandLine().Read(*this);
    CTavloDlg window;
    Prepare(window, options);
    return RunWindow(window);
}

void CTavloApp::Prepare(CTavloDlg& window, const PanelOptions& options)
{
    addExtraPorts(options.ports);
    if (options.simulate)
        startSimulator(window);
    CDialog_Link* link = window.linkPage();
    QString error;
    const std::optional<QByteArray> token = ReadTokenFileOption(options.tokenFile, &error);
    if (!token)
        ShowError(QStringLiteral("ERROR:") + error);
    link->SetRemoteAccess({token.value_or(QByteArray()), options.tlsCa});
    link->FillPortList();
    if (!options.ports.isEmpty())
        link->ChoosePort(options.ports.front());
}

int CTavloApp::RunWindow(CTavloDlg& window)
{
    connect(&window, &CTavloDlg::closed, this, &CTavloApp::endRun);
    window.show();
    const int result = exec();
    // Handlers that were waiting in a box have unwound by now.
    Messages().SetEnding(false);
    // The port thread needs the application's event machinery to close down cleanly.
    GlobalSerialPort().ClosePort();
    return result;
}

void CTavloApp::endRun()
{
    // The port first: what the cancelled boxes' handlers still do on their way out can no
    // longer reach the matrix. Leaving every event loop, nested ones included, ends the run
    // even while owner-less boxes are open.
    GlobalSerialPort().ClosePort();
    Messages().SetEnding(true);
    exit(0);
}

void CTavloApp::addExtraPorts(const QStringList& paths)
{
    for (const QString& path : paths) {
        SSerInfo info;
        info.devicePath = path;
        AddExtraSerialPort(info);
    }
}

void CTavloApp::startSimulator(CTavloDlg& window)
{
    QString error;
    if (!simulator_.Start(&error)) {
        ShowError(error);
        return;
    }
    SSerInfo simulated;
    simulated.devicePath = simulator_.PortName();
    simulated.portName = simulated.devicePath;
    simulated.friendlyName = simulated.devicePath;
    simulated.portDescription = kSimulatedPortDescription;
    // The simulated matrix heads the list, so it is the one selected at start unless a port
    // was named.
    window.linkPage()->SetPortEnumerator([simulated] {
        std::vector<SSerInfo> ports = EnumerateSerialPorts();
        std::erase_if(ports,
                      [&](const SSerInfo& p) { return p.devicePath == simulated.devicePath; });
        ports.insert(ports.begin(), simulated);
        return ports;
    });
}
