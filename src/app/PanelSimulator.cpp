#include "PanelSimulator.h"

#include "MatrixSimulator.h"

struct PanelSimulator::Served {
    explicit Served(SimulatorOptions options) : simulator(std::move(options)) {}
    MatrixSimulator simulator;
};

PanelSimulator::PanelSimulator() = default;
PanelSimulator::~PanelSimulator() = default;

bool PanelSimulator::Start(QString* error)
{
    // Replies paced as on the real 115200 baud line, so the panel meets the matrix's timing.
    SimulatorOptions options;
    options.lineRateBaud = 115200;
    served_ = std::make_unique<Served>(options);
    std::string reason;
    if (served_->simulator.Start(&reason))
        return true;
    served_.reset();
    *error = QStringLiteral("ERROR:The simulated matrix could not start (%1)")
                 .arg(QString::fromStdString(reason));
    return false;
}

QString PanelSimulator::PortName() const
{
    return served_ ? QString::fromStdString(served_->simulator.SlavePath()) : QString();
}
