#include "PanelSimulator.h"

struct PanelSimulator::Served {};

PanelSimulator::PanelSimulator() = default;
PanelSimulator::~PanelSimulator() = default;

bool PanelSimulator::Start(QString* error)
{
    *error = QStringLiteral("ERROR:This build has no simulated matrix");
    return false;
}

QString PanelSimulator::PortName() const { return {}; }
