#include "CDialog_Rename_Page.h"

#include "ControlId.h"
#include "Cp936.h"
#include "DeviceStatus.h"
#include "HostCommands.h"
#include "OperatorMessages.h"
#include "SendCommand.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

struct CDialog_Rename_Page::Mode {
    const char* text;
    NameTable table;
    PortGroup group;
};

namespace {

constexpr CDialog_Rename_Page::Mode kModes[] = {
    {"Input", NameTable::InputPort, PortGroup::Input},
    {"HDMI", NameTable::HdmiOutputPort, PortGroup::Hdmi},
    {"HDBT", NameTable::HdbtOutputPort, PortGroup::Hdbt},
};

} // namespace

CDialog_Rename_Page::CDialog_Rename_Page(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Rename Page"));
    setMinimumWidth(320);

    auto* modeLabel = new QLabel(QStringLiteral("Mode"), this);
    mode_ = new QComboBox(this);
    SetControlId(mode_, kMode);
    modeLabel->setBuddy(mode_);
    for (const Mode& mode : kModes)
        mode_->addItem(QString::fromLatin1(mode.text));
    mode_->setCurrentIndex(0);

    auto* grid = new QGridLayout;
    grid->addWidget(modeLabel, 0, 0);
    grid->addWidget(mode_, 0, 1);
    for (int n = 1; n <= kRows; ++n) {
        auto* label = new QLabel(QStringLiteral("0%1 :").arg(n), this);
        names_[n - 1] = new QLineEdit(this);
        SetControlId(names_[n - 1], kNameBase + n);
        label->setBuddy(names_[n - 1]);
        auto* save = NewButton(this, kSaveBase + n, QStringLiteral("Save"));
        connect(save, &QPushButton::clicked, this, [this, n] { SavePortName(n); });
        grid->addWidget(label, n, 0);
        grid->addWidget(names_[n - 1], n, 1);
        grid->addWidget(save, n, 2);
    }

    auto* exit = NewButton(this, kExit, QStringLiteral("EXIT"));
    connect(exit, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(exit, 0, Qt::AlignHCenter);

    ShowPortNames();
    connect(mode_, &QComboBox::currentIndexChanged, this, &CDialog_Rename_Page::ShowPortNames);
}

const CDialog_Rename_Page::Mode* CDialog_Rename_Page::currentMode() const
{
    const QString text = mode_->currentText();
    for (const Mode& mode : kModes) {
        if (text == QLatin1String(mode.text))
            return &mode;
    }
    return nullptr;
}

void CDialog_Rename_Page::ShowPortNames()
{
    const Mode* mode = currentMode();
    if (mode == nullptr)
        return;
    for (int n = 1; n <= kRows; ++n)
        names_[n - 1]->setText(DecodeCp936(GlobalDeviceStatus().name(mode->table, n)));
}

void CDialog_Rename_Page::SavePortName(int row)
{
    QLineEdit* box = names_[row - 1];
    const Mode* mode = currentMode();
    if (mode == nullptr)
        return;
    if (box->text().isEmpty()) {
        ShowError(QStringLiteral("ERROR:Rename is NULL,Please check"));
        return;
    }
    const NameCheck name = CheckName(box->text());
    if (!name.bytes) {
        ShowError(name.error);
        return;
    }
    const std::string_view bytes(name.bytes->constData(), static_cast<size_t>(name.bytes->size()));
    box->setEnabled(false);
    SendCommand(Commands::PortRename(mode->group, row, bytes));
    GlobalDeviceStatus().setName(mode->table, row, bytes);
    PauseMs(kRenamePauseMs);
    box->setEnabled(true);
}

void CDialog_Rename_Page::keyPressEvent(QKeyEvent* event)
{
    // Neither key may close the dialog or press a button, whatever has the focus.
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
