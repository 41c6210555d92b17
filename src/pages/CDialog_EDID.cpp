#include "CDialog_EDID.h"

#include "ControlId.h"
#include "Cp936.h"
#include "DeviceStatus.h"
#include "EDID_Edit_Page.h"
#include "HostCommands.h"
#include "InfoFont.h"
#include "SendCommand.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

struct EdidModeInfo {
    const char* item; // the list's text, which decides the mode
    int mode;
    const char* clickPrefix;   // caption prefix written by a numbered button
    const char* refreshPrefix; // caption prefix written from the status block
    NameTable names;
    int numbers; // how many numbered buttons the mode offers
};

// In the list's order. The click prefix of Default keeps the leading space the operator has
// always seen until the matrix answers.
constexpr std::array<EdidModeInfo, 4> kModes = {{
    {"HDMI", EdidHdmi, "HDMI ", "HDMI ", NameTable::EdidHdmiOutput, 4},
    {"HDBT", EdidHdbt, "HDBT ", "HDBT ", NameTable::EdidHdbtOutput, 4},
    {"User", EdidUser, "User ", "User ", NameTable::EdidUser, 8},
    {"Default", EdidDefault, " Default ", "Default ", NameTable::EdidDefault, 8},
}};

const EdidModeInfo* ModeForItem(const QString& item)
{
    for (const EdidModeInfo& info : kModes) {
        if (item == QLatin1String(info.item))
            return &info;
    }
    return nullptr;
}

const EdidModeInfo* ModeForCode(int mode)
{
    for (const EdidModeInfo& info : kModes) {
        if (info.mode == mode)
            return &info;
    }
    return nullptr;
}

QString InputCaption(const char* prefix, int number, int input)
{
    return QString::asprintf("%s0%d>>0%d", prefix, number, input);
}

// A user slot the matrix reports as "Unplug" holds the EDID it falls back to.
constexpr const char* kUnpluggedUserName = "Unplug";
constexpr const char* kUnpluggedUserEdid = "4K60 444 HDR AC-35.1";

// The "Output" group as laid out in full: three numbered buttons to a row under the list,
// "Edit" closing the third row. The list's right edge lines up with the third column.
constexpr int kButtonWidth = 90;
constexpr int kButtonHeight = 40;
constexpr int kColumnStep = 110;
constexpr int kRowStep = 60;
constexpr int kFirstColumn = 30;
constexpr int kFirstRow = 80;
const QRect kModeLabelRect(100, 32, 95, 26);
const QRect kModeListRect(200, 30, 140, 30);
const QSize kOutputGroupSize(380, 280);

QRect FullButtonRect(int index) // 0-7 the numbers, 8 "Edit"
{
    return QRect(kFirstColumn + (index % 3) * kColumnStep, kFirstRow + (index / 3) * kRowStep,
                 kButtonWidth, kButtonHeight);
}

} // namespace

CDialog_EDID::CDialog_EDID(QWidget* parent) : QWidget(parent)
{
    auto* top = new QHBoxLayout;
    top->addWidget(buildInputGroup());
    top->addWidget(buildOutputGroup());
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buildDisplayRow());
    layout->addStretch(1);

    editDialog_ = new EDID_Edit_Page(this);

    for (const EdidModeInfo& info : kModes)
        list_->addItem(QLatin1String(info.item));
    list_->setCurrentIndex(0);
    recordLayouts();
    applyLayoutForCurrentItem();
    connect(list_, &QComboBox::currentIndexChanged, this, &CDialog_EDID::OnModeChanged);
}

QGroupBox* CDialog_EDID::buildInputGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Input"), this);
    auto* grid = new QGridLayout(group);
    for (int n = 1; n <= kInputs; ++n) {
        auto* input = new QPushButton(InputCaption("HDMI ", n, n), group);
        input->setCheckable(true);
        input->setMinimumSize(150, kButtonHeight);
        SetControlId(input, kInputBase + n);
        connect(input, &QPushButton::clicked, this, [this, n] { OnInputClicked(n); });
        inputs_[static_cast<size_t>(n - 1)] = input;
        grid->addWidget(input, (n - 1) / 2, (n - 1) % 2);
    }
    all_ = new QPushButton(QStringLiteral("All"), group);
    all_->setCheckable(true);
    all_->setMinimumSize(150, kButtonHeight);
    SetControlId(all_, kAllInputs);
    connect(all_, &QPushButton::clicked, this, &CDialog_EDID::OnAllClicked);
    grid->addWidget(all_, 2, 0);
    grid->setRowStretch(3, 1);
    return group;
}

QGroupBox* CDialog_EDID::buildOutputGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Output"), this);
    group->setMinimumSize(kOutputGroupSize);

    auto* label = new QLabel(QStringLiteral("Output Mode"), group);
    label->setGeometry(kModeLabelRect);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    list_ = new QComboBox(group);
    list_->setGeometry(kModeListRect);
    label->setBuddy(list_);
    list_->setAccessibleName(label->text());
    SetControlId(list_, kModeList);

    for (int k = 1; k <= kNumbers; ++k) {
        auto* number = new QPushButton(QStringLiteral("0%1").arg(k), group);
        number->setGeometry(FullButtonRect(k - 1));
        SetControlId(number, kNumberIds[static_cast<size_t>(k - 1)]);
        connect(number, &QPushButton::clicked, this, [this, k] { OnNumberClicked(k); });
        numbers_[static_cast<size_t>(k - 1)] = number;
    }
    edit_ = new QPushButton(QStringLiteral("Edit"), group);
    edit_->setGeometry(FullButtonRect(kNumbers));
    SetControlId(edit_, kEdit);
    connect(edit_, &QPushButton::clicked, this, &CDialog_EDID::OnEditClicked);
    return group;
}

QWidget* CDialog_EDID::buildDisplayRow()
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(QStringLiteral("Current EDID INFO."), row);
    layout->addWidget(label);

    auto* group = new QGroupBox(QStringLiteral("Display"), row);
    auto* inner = new QVBoxLayout(group);
    info_ = new QTextEdit(group);
    info_->setFont(InfoBoxFont());
    // The text stands 10 px in from the box's edges.
    info_->document()->setDocumentMargin(kInfoInset);
    info_->setReadOnly(true);
    // The box shows text but takes no input, not even focus.
    info_->setEnabled(false);
    info_->setFixedHeight(70);
    info_->setAccessibleName(label->text());
    label->setBuddy(info_);
    SetControlId(info_, kInfoBox);
    inner->addWidget(info_);
    layout->addWidget(group, 1);
    return row;
}

void CDialog_EDID::recordLayouts()
{
    for (int i = 0; i < kNumbers; ++i)
        fullNumbers_[static_cast<size_t>(i)] = numbers_[static_cast<size_t>(i)]->geometry();
    fullEdit_ = edit_->geometry();
    fullList_ = list_->geometry();

    // Two columns: the first moves in from the left, the third in from the right.
    compactNumbers_ = {fullNumbers_[0].translated(kCompactShift, 0),
                       fullNumbers_[2].translated(-kCompactShift, 0),
                       fullNumbers_[3].translated(kCompactShift, 0),
                       fullNumbers_[5].translated(-kCompactShift, 0)};
    compactEdit_ = fullNumbers_[6].translated(kCompactShift, 0);
    compactList_ = fullList_.adjusted(0, 0, -kCompactListTrim, 0);
}

void CDialog_EDID::applyLayoutForCurrentItem()
{
    const EdidModeInfo* info = ModeForItem(list_->currentText());
    const bool compact = info && info->numbers == kCompactNumbers;
    if (compact) {
        for (QPushButton* number : numbers_)
            number->hide();
        edit_->hide();
        for (int i = 0; i < kCompactNumbers; ++i)
            numbers_[static_cast<size_t>(i)]->setGeometry(compactNumbers_[static_cast<size_t>(i)]);
        edit_->setGeometry(compactEdit_);
        list_->setGeometry(compactList_);
    } else {
        for (int i = 0; i < kNumbers; ++i)
            numbers_[static_cast<size_t>(i)]->setGeometry(fullNumbers_[static_cast<size_t>(i)]);
        edit_->setGeometry(fullEdit_);
        list_->setGeometry(fullList_);
    }
    const int shown = compact ? kCompactNumbers : kNumbers;
    for (int i = 0; i < shown; ++i)
        numbers_[static_cast<size_t>(i)]->show();
    edit_->show();
}

void CDialog_EDID::OnModeChanged()
{
    info_->clear();
    applyLayoutForCurrentItem();
}

void CDialog_EDID::OnInputClicked(int input)
{
    all_->setChecked(checkedInputs().size() == kInputs);
    // The input's current EDID, whether the click selected it or not.
    info_->setPlainText(DecodeCp936(GlobalDeviceStatus().name(NameTable::EdidInput, input)));
}

void CDialog_EDID::OnAllClicked()
{
    info_->clear();
    for (QPushButton* input : inputs_)
        input->setChecked(all_->isChecked());
}

void CDialog_EDID::OnNumberClicked(int number)
{
    const EdidModeInfo* info = ModeForItem(list_->currentText());
    if (!info)
        return;
    ShowEdidInfo(info->mode, number);
    const std::vector<int> checked = checkedInputs();
    if (checked.empty())
        return;

    if (all_->isChecked()) {
        for (int n = 1; n <= kInputs; ++n)
            inputs_[static_cast<size_t>(n - 1)]->setText(
                InputCaption(info->clickPrefix, number, n));
        SendCommand(Commands::EdidInput(0, info->mode, number));
        return;
    }
    for (int n : checked)
        inputs_[static_cast<size_t>(n - 1)]->setText(InputCaption(info->clickPrefix, number, n));
    for (int n : checked)
        SendCommand(Commands::EdidInput(n, info->mode, number));
}

void CDialog_EDID::OnEditClicked()
{
    info_->clear();
    editDialog_->exec();
}

void CDialog_EDID::ShowEdidInfo(int mode, int number)
{
    const EdidModeInfo* info = ModeForCode(mode);
    if (!info)
        return;
    const std::string name = GlobalDeviceStatus().name(info->names, number);
    if (mode == EdidUser && name == kUnpluggedUserName)
        info_->setPlainText(QString::fromLatin1(kUnpluggedUserEdid));
    else
        info_->setPlainText(DecodeCp936(name));
}

void CDialog_EDID::RefreshEdidInputs()
{
    const DeviceStatus& status = GlobalDeviceStatus();
    if (!status.hasStatusBlock())
        return;
    for (QPushButton* input : inputs_)
        input->setChecked(false);
    all_->setChecked(false);
    for (int n = 1; n <= kInputs; ++n) {
        // A mode this page does not know leaves the caption as it was.
        const EdidModeInfo* info = ModeForCode(status.edidMode(n));
        if (info) {
            inputs_[static_cast<size_t>(n - 1)]->setText(
                InputCaption(info->refreshPrefix, status.edidData(n) + 1, n));
        }
    }
}

std::vector<int> CDialog_EDID::checkedInputs() const
{
    std::vector<int> checked;
    for (int n = 1; n <= kInputs; ++n) {
        if (inputs_[static_cast<size_t>(n - 1)]->isChecked())
            checked.push_back(n);
    }
    return checked;
}
