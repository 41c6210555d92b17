#include "CDialog_Audio.h"

#include "ControlId.h"
#include "DeviceStatus.h"
#include "HostCommands.h"
#include "OperatorMessages.h"
#include "SendCommand.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace {

// The enc code an input's first and second button stand for.
constexpr std::array<int, 2> kInputModes = {AudioH, AudioA};

HostCommand OutputCommand(int output, int which, bool on)
{
    return which == 0 ? Commands::AudioOutputIis(output, on)
                      : Commands::AudioOutputSpdif(output, on);
}

} // namespace

CDialog_Audio::CDialog_Audio(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(buildSide(QStringLiteral("Input"), QStringLiteral("Input"),
                                {QStringLiteral("H"), QStringLiteral("A")}, kInputHBase,
                                kInputABase, kInputAllH, kInputAllA, inputs_, inputAll_));
    layout->addWidget(buildSide(QStringLiteral("Output"), QStringLiteral("Output"),
                                {QStringLiteral("A"), QStringLiteral("S")}, kOutputABase,
                                kOutputSBase, kOutputAllA, kOutputAllS, outputs_, outputAll_));

    for (int n = 1; n <= kPorts; ++n) {
        for (int which = 0; which < 2; ++which) {
            connect(inputs_[n - 1][which], &QPushButton::clicked, this,
                    [this, n, which] { OnInputClicked(n, which); });
            connect(outputs_[n - 1][which], &QPushButton::clicked, this,
                    [this, n, which] { OnOutputClicked(n, which); });
        }
    }
    for (int which = 0; which < 2; ++which) {
        connect(inputAll_[which], &QPushButton::clicked, this,
                [this, which] { OnInputAllClicked(which); });
        connect(outputAll_[which], &QPushButton::clicked, this,
                [this, which] { OnOutputAllClicked(which); });
    }

    inputTimer_ = makeTimer(kInputTimerId);
    outputTimer_ = makeTimer(kOutputTimerId);
}

QGroupBox* CDialog_Audio::buildSide(const QString& title, const QString& portTitle,
                                    const std::array<QString, 2>& captions, int firstBase,
                                    int secondBase, int allFirst, int allSecond,
                                    std::array<Pair, kPorts>& ports, Pair& all)
{
    auto* side = new QGroupBox(title, this);
    auto* grid = new QGridLayout(side);
    auto addGroup = [&](const QString& groupTitle, Pair& pair, int firstId, int secondId, int row,
                        int column) {
        auto* group = new QGroupBox(groupTitle, side);
        auto* rowLayout = new QHBoxLayout(group);
        pair = {makeButton(groupTitle, captions[0], firstId),
                makeButton(groupTitle, captions[1], secondId)};
        rowLayout->addWidget(pair[0]);
        rowLayout->addWidget(pair[1]);
        grid->addWidget(group, row, column);
    };
    for (int n = 1; n <= kPorts; ++n) {
        addGroup(portTitle + QString::number(n), ports[n - 1], firstBase + 2 * n,
                 secondBase + 2 * n, (n - 1) / 2, (n - 1) % 2);
    }
    addGroup(portTitle + QStringLiteral(" All"), all, allFirst, allSecond, 2, 0);
    grid->setRowStretch(3, 1);
    return side;
}

QPushButton* CDialog_Audio::makeButton(const QString& group, const QString& caption, int id)
{
    auto* button = NewButton(this, id, caption, true);
    button->setMinimumSize(64, 40);
    // A bare "H" or "A" says nothing to a screen reader; the group's title does.
    button->setAccessibleName(group + QLatin1Char(' ') + caption);
    return button;
}

QTimer* CDialog_Audio::makeTimer(int id)
{
    auto* timer = new QTimer(this);
    // A coarse timer may fire up to 5 % early; a time-out is never reported before its time.
    timer->setTimerType(Qt::PreciseTimer);
    timer->setObjectName(QStringLiteral("timer%1").arg(id));
    connect(timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
    return timer;
}

void CDialog_Audio::OnInputClicked(int input, int which)
{
    Pair& pair = inputs_[input - 1];
    // H and A exclude each other, but both may be off.
    pair[1 - which]->setChecked(false);
    const int enc = pair[which]->isChecked() ? kInputModes[which] : AudioOff;
    SendCommand(Commands::AudioInput(input, enc));
    inputTimer_->start(kInputTimeoutMs);
    PauseMs(kInputPauseMs);
    enableButtons(sideButtons(inputs_, inputAll_), false);
    checkAllWhereEveryPortIs(inputs_, inputAll_);
}

void CDialog_Audio::OnInputAllClicked(int which)
{
    inputAll_[1 - which]->setChecked(false);
    const bool on = inputAll_[which]->isChecked();
    SendCommand(Commands::AudioInput(0, on ? kInputModes[which] : AudioOff));
    for (Pair& pair : inputs_) {
        pair[which]->setChecked(on);
        pair[1 - which]->setChecked(false);
    }
    enableButtons(sideButtons(inputs_, inputAll_), false);
    inputTimer_->start(kInputAllTimeoutMs);
    PauseMs(kInputPauseMs);
}

void CDialog_Audio::OnOutputClicked(int output, int which)
{
    // The two outputs of a port are independent switches: the other one is left alone.
    const bool on = outputs_[output - 1][which]->isChecked();
    SendCommand(OutputCommand(output, which, on));
    outputTimer_->start(kOutputTimeoutMs);
    PauseMs(kOutputPauseMs);
    enableButtons(sideButtons(outputs_, outputAll_), false);
    checkAllWhereEveryPortIs(outputs_, outputAll_);
}

void CDialog_Audio::OnOutputAllClicked(int which)
{
    const bool on = outputAll_[which]->isChecked();
    SendCommand(OutputCommand(0, which, on));
    for (Pair& pair : outputs_)
        pair[which]->setChecked(on);
    enableButtons(sideButtons(outputs_, outputAll_), false);
    outputTimer_->start(kOutputTimeoutMs);
    PauseMs(kOutputAllPauseMs);
}

void CDialog_Audio::OnTimer(int id)
{
    // The timer is stopped before the box: the box waits for the operator, and a timer still
    // running would pile up further boxes behind it. The box has no owner, so the other side
    // and the rest of the window stay usable while it is open; the buttons come back, as the
    // click left them, once it is dismissed. The two sides' boxes may be dismissed in either
    // order, so neither side waits behind the other's box.
    if (id == kInputTimerId) {
        inputTimer_->stop();
        ShowErrorThen(QStringLiteral("Set Input Audio timeout..."),
                      [this] { enableButtons(sideButtons(inputs_, inputAll_), true); });
    } else if (id == kOutputTimerId) {
        outputTimer_->stop();
        ShowErrorThen(QStringLiteral("Set Output Audio timeout..."),
                      [this] { enableButtons(sideButtons(outputs_, outputAll_), true); });
    }
}

void CDialog_Audio::RefreshAudioInputs()
{
    const DeviceStatus& status = GlobalDeviceStatus();
    if (!status.hasStatusBlock())
        return;
    enableButtons(sideButtons(inputs_, inputAll_), true);
    std::array<int, 3> count{};
    for (int n = 1; n <= kPorts; ++n) {
        const int mode = status.audioInputMode(n);
        // A mode this page does not know leaves the pair as it stands.
        if (mode != AudioOff && mode != AudioH && mode != AudioA)
            continue;
        inputs_[n - 1][0]->setChecked(mode == AudioH);
        inputs_[n - 1][1]->setChecked(mode == AudioA);
        ++count[static_cast<size_t>(mode)];
    }
    inputAll_[0]->setChecked(count[AudioH] == kPorts);
    inputAll_[1]->setChecked(count[AudioA] == kPorts);
    inputTimer_->stop();
}

void CDialog_Audio::RefreshAudioOutputs()
{
    const DeviceStatus& status = GlobalDeviceStatus();
    if (!status.hasStatusBlock())
        return;
    enableButtons(sideButtons(outputs_, outputAll_), true);
    // "All" shows only when every port reads exactly 1; any other non-zero value is on for
    // its own port but does not count towards "All".
    bool everyIisOne = true;
    bool everySpdifOne = true;
    for (int n = 1; n <= kPorts; ++n) {
        const int iis = status.audioOutputIis(n);
        const int spdif = status.audioOutputSpdif(n);
        outputs_[n - 1][0]->setChecked(iis != 0);
        outputs_[n - 1][1]->setChecked(spdif != 0);
        everyIisOne = everyIisOne && iis == 1;
        everySpdifOne = everySpdifOne && spdif == 1;
    }
    outputAll_[0]->setChecked(everyIisOne);
    outputAll_[1]->setChecked(everySpdifOne);
    outputTimer_->stop();
}

std::vector<QPushButton*> CDialog_Audio::sideButtons(const std::array<Pair, kPorts>& ports,
                                                     const Pair& all)
{
    std::vector<QPushButton*> buttons;
    for (const Pair& pair : ports)
        buttons.insert(buttons.end(), pair.begin(), pair.end());
    buttons.insert(buttons.end(), all.begin(), all.end());
    return buttons;
}

void CDialog_Audio::enableButtons(const std::vector<QPushButton*>& buttons, bool enabled)
{
    for (QPushButton* button : buttons)
        button->setEnabled(enabled);
}

void CDialog_Audio::checkAllWhereEveryPortIs(const std::array<Pair, kPorts>& ports, Pair& all)
{
    for (int which = 0; which < 2; ++which) {
        all[which]->setChecked(std::all_of(
            ports.begin(), ports.end(), [which](const Pair& p) { return p[which]->isChecked(); }));
    }
}
