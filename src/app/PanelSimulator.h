#pragma once
// `tavlo --simulate`: a simulated matrix served inside the panel, on the system's local line (a
// pseudo-terminal; a loopback TCP port on Windows). A build without the simulator has
// PanelSimulator_none.cpp instead of PanelSimulator.cpp, and Start says so.
#include <QString>
#include <memory>

class PanelSimulator {
public:
    PanelSimulator();
    ~PanelSimulator(); // stops
    PanelSimulator(const PanelSimulator&) = delete;
    PanelSimulator& operator=(const PanelSimulator&) = delete;

    // False with the operator's message when it cannot run.
    bool Start(QString* error);
    // What the panel opens to reach it; empty unless started.
    QString PortName() const;

private:
    struct Served;
    std::unique_ptr<Served> served_;
};
