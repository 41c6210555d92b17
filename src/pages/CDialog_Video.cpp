#include "CDialog_Video.h"

#include "CDialog_Rename_Page.h"
#include "CDialog_Scenes_Page.h"
#include "ControlId.h"
#include "Cp936.h"
#include "DeviceStatus.h"
#include "HostCommands.h"
#include "OperatorMessages.h"
#include "SendCommand.h"

#include <QButtonGroup>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

constexpr int kButtonHeight = 44;

QString RoutingCaption(int input, int output)
{
    return QString::asprintf("0%d>>0%d", input, output);
}

QString PortName(NameTable table, int entry)
{
    return DecodeCp936(GlobalDeviceStatus().name(table, entry));
}

} // namespace

CDialog_Video::CDialog_Video(QWidget* parent) : QWidget(parent)
{
    auto* top = new QHBoxLayout;
    top->addWidget(buildOutputGroup());
    top->addWidget(buildInputGroup());

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(buildStoreGroup(), 1);
    bottom->addWidget(buildRenameGroup(), 0, Qt::AlignBottom);

    auto* page = new QVBoxLayout(this);
    page->addLayout(top);
    page->addSpacing(kButtonHeight / 2);
    page->addLayout(bottom);
    page->addStretch(1);

    presetTimer_.setObjectName(QStringLiteral("timer%1").arg(kPresetTimerId));
    presetTimer_.setSingleShot(true);
    // A coarse timer may fire up to 5 % early; the selection must last the full 5 s.
    presetTimer_.setTimerType(Qt::PreciseTimer);
    presetTimer_.setInterval(kPresetLapseMs);
    connect(&presetTimer_, &QTimer::timeout, this, &CDialog_Video::uncheckPresets);
}

QPushButton* CDialog_Video::makeButton(int id, const QString& caption, bool checkable)
{
    auto* button = NewButton(this, id, caption, checkable);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    button->setFixedHeight(kButtonHeight);
    return button;
}

QGroupBox* CDialog_Video::buildOutputGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Output"), this);
    auto* grid = new QGridLayout(group);
    for (int n = 1; n <= kOutputs; ++n) {
        outputs_[n - 1] = makeButton(kOutputBase + n, RoutingCaption(n, n), true);
        grid->addWidget(output(n), (n - 1) / 2, (n - 1) % 2);
        connect(output(n), &QPushButton::clicked, this, &CDialog_Video::onOutputClicked);
        output(n)->installEventFilter(this);
    }
    all_ = makeButton(kAllOutputs, QStringLiteral("All"), true);
    grid->addWidget(all_, 2, 0);
    connect(all_, &QPushButton::clicked, this, &CDialog_Video::onAllClicked);
    return group;
}

QGroupBox* CDialog_Video::buildInputGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Input"), this);
    auto* grid = new QGridLayout(group);
    for (int n = 1; n <= kInputs; ++n) {
        inputs_[n - 1] = makeButton(kInputBase + n, QStringLiteral("0%1").arg(n), false);
        grid->addWidget(inputs_[n - 1], (n - 1) / 2, (n - 1) % 2);
        connect(inputs_[n - 1], &QPushButton::clicked, this, [this, n] { RouteInput(n); });
        inputs_[n - 1]->installEventFilter(this);
    }
    // Level with outputs 1-4, which have "All" below them.
    grid->setAlignment(Qt::AlignTop);
    return group;
}

QGroupBox* CDialog_Video::buildStoreGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Store"), this);
    auto* grid = new QGridLayout(group);
    presetGroup_ = new QButtonGroup(this);
    presetGroup_->setExclusive(true);
    for (int n = 1; n <= kPresets; ++n) {
        presets_[n - 1] = makeButton(kPresetBase + n, QStringLiteral("Preset %1").arg(n), true);
        presetGroup_->addButton(preset(n), kPresetBase + n);
        grid->addWidget(preset(n), (n - 1) / 4, (n - 1) % 4);
    }
    // Every preset click restarts the lapse, so the selection goes 5 s after the last one.
    connect(presetGroup_, &QButtonGroup::buttonClicked, this, [this] { presetTimer_.start(); });

    auto* save = makeButton(kSaveScene, QStringLiteral("Save"), false);
    auto* recall = makeButton(kRecallScene, QStringLiteral("Recall"), false);
    auto* name = makeButton(kNameScenes, QStringLiteral("Name"), false);
    grid->addWidget(save, 0, 4);
    grid->addWidget(recall, 1, 4);
    name->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    name->setMaximumHeight(QWIDGETSIZE_MAX);
    grid->addWidget(name, 0, 5, 2, 1);
    connect(save, &QPushButton::clicked, this, [this] { runSceneOperation(false); });
    connect(recall, &QPushButton::clicked, this, [this] { runSceneOperation(true); });
    connect(name, &QPushButton::clicked, this, &CDialog_Video::OpenScenesDialog);
    return group;
}

QGroupBox* CDialog_Video::buildRenameGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Modify Port Name"), this);
    auto* box = new QVBoxLayout(group);
    auto* rename = makeButton(kRename, QStringLiteral("Rename"), false);
    box->addWidget(rename);
    connect(rename, &QPushButton::clicked, this, &CDialog_Video::OpenRenameDialog);
    return group;
}

void CDialog_Video::onOutputClicked()
{
    bool allChecked = true;
    for (int n = 1; n <= kOutputs; ++n)
        allChecked = allChecked && output(n)->isChecked();
    all_->setChecked(allChecked);
}

void CDialog_Video::onAllClicked()
{
    for (int n = 1; n <= kOutputs; ++n)
        output(n)->setChecked(all_->isChecked());
}

void CDialog_Video::setOutputCaption(int outputNumber, int input)
{
    output(outputNumber)->setText(RoutingCaption(input, outputNumber));
}

void CDialog_Video::RouteInput(int input)
{
    int selected = 0;
    for (int n = 1; n <= kOutputs; ++n)
        selected += output(n)->isChecked() ? 1 : 0;
    if (selected == 0) {
        ShowError(QStringLiteral("Please select output first..."));
        return;
    }
    if (all_->isChecked()) {
        for (int n = 1; n <= kOutputs; ++n)
            setOutputCaption(n, input);
        SendCommand(Commands::VideoRoute(0, input));
        return;
    }
    // Captions first, so the operator sees the whole change before the paced commands go out.
    for (int n = 1; n <= kOutputs; ++n) {
        if (output(n)->isChecked())
            setOutputCaption(n, input);
    }
    for (int n = 1; n <= kOutputs; ++n) {
        if (output(n)->isChecked())
            SendCommand(Commands::VideoRoute(n, input));
    }
}

void CDialog_Video::runSceneOperation(bool recall)
{
    if (presetGroup_->checkedButton() == nullptr) {
        ShowError(QStringLiteral("Please select Scenario first..."));
        return;
    }
    for (int n = 1; n <= kPresets; ++n) {
        if (preset(n)->isChecked())
            SendCommand(recall ? Commands::SceneRecall(n) : Commands::SceneSave(n));
    }
    PauseMs(kScenePauseMs);
    // Timer 666 keeps running; when it lapses it finds nothing left to clear.
    uncheckPresets();
}

void CDialog_Video::uncheckPresets()
{
    presetTimer_.stop();
    // An exclusive group refuses to uncheck its last checked button.
    presetGroup_->setExclusive(false);
    for (int n = 1; n <= kPresets; ++n)
        preset(n)->setChecked(false);
    presetGroup_->setExclusive(true);
}

void CDialog_Video::uncheckOutputs()
{
    for (int n = 1; n <= kOutputs; ++n)
        output(n)->setChecked(false);
    all_->setChecked(false);
}

bool CDialog_Video::RefreshVideoOutputs()
{
    uncheckPresets();
    uncheckOutputs();
    const DeviceStatus& status = GlobalDeviceStatus();
    if (!status.hasStatusBlock())
        return false;
    for (int n = 1; n <= kOutputs; ++n)
        setOutputCaption(n, status.videoInput(n));
    return true;
}

void CDialog_Video::OpenRenameDialog()
{
    // A fresh dialog each time, so it always opens in mode "Input" with the current names.
    CDialog_Rename_Page dialog(this);
    dialog.exec();
}

void CDialog_Video::OpenScenesDialog()
{
    CDialog_Scenes_Page dialog(this);
    dialog.exec();
}

QString CDialog_Video::ToolTipText(int controlId) const
{
    const int input = controlId - kInputBase;
    if (input >= 1 && input <= kInputs)
        return QStringLiteral("Portname_Input:") + PortName(NameTable::InputPort, input);
    const int outputNumber = controlId - kOutputBase;
    if (outputNumber >= 1 && outputNumber <= kOutputs) {
        return QStringLiteral("Portname_hdmi:") +
               PortName(NameTable::HdmiOutputPort, outputNumber) +
               QStringLiteral("\nportname_hdbt:") +
               PortName(NameTable::HdbtOutputPort, outputNumber);
    }
    return {};
}

bool CDialog_Video::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::eventFilter(watched, event);
    // Names change whenever a table arrives or a port is renamed: build the text when asked.
    auto* button = qobject_cast<QWidget*>(watched);
    const QString text = ToolTipText(ControlIdOf(watched));
    if (button == nullptr || text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text, button);
    return true;
}
