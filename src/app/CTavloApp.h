#pragma once
// The application: swallows Enter and Escape key-downs for every window, reads the command
// line (PanelCommandLine) and runs the main window until it closes. Closing it ends the
// program at once, whatever is open: the port is closed and every open box counts as
// cancelled.
#include "EnterEscapeFilter.h"
#include "PanelCommandLine.h"
#include "PanelSimulator.h"

#include <QApplication>
#include <QStringList>
#include <memory>

class CTavloDlg;

class CTavloApp : public QApplication {
    Q_OBJECT
public:
    // The port list's description of the simulated matrix.
    static const QString kSimulatedPortDescription;

    // The names and version the program is known by; its settings are kept under them. Needs
    // no application object.
    static void SetIdentity();

    CTavloApp(int& argc, char** argv);
    ~CTavloApp() override;

    int Run();
    // Offers the ports named on the command line, the first of them chosen, and the simulated
    // matrix when asked for.
    void Prepare(CTavloDlg& window, const PanelOptions& options);
    // Shows the window and runs until the operator closes it.
    int RunWindow(CTavloDlg& window);

private:
    void endRun();
    void addExtraPorts(const QStringList& paths);
    void startSimulator(CTavloDlg& window);

    EnterEscapeFilter keyFilter_;
    PanelSimulator simulator_;
};
