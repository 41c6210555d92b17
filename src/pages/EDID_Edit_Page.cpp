#include "EDID_Edit_Page.h"

#include "ControlId.h"
#include "DeviceStatus.h"
#include "HostCommands.h"
#include "OperatorMessages.h"
#include "SendCommand.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QPushButton* MakeButton(QWidget* parent, const QString& caption, int id)
{
    auto* button = NewButton(parent, id, caption);
    button->setMinimumSize(80, 32);
    return button;
}

// The output's whole 32-byte entry, bytes after its terminating zero included.
void CopyEdidName(DeviceStatus& status, NameTable from, int output, int slot)
{
    const auto entry = status.nameEntry(from, output);
    status.setName(NameTable::EdidUser, slot,
                   std::string_view(reinterpret_cast<const char*>(entry.data()), entry.size()));
}

} // namespace

EDID_Edit_Page::EDID_Edit_Page(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("EDID Edit Page"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildUserOption());
    layout->addWidget(buildSaveOption());

    auto* exit = MakeButton(this, QStringLiteral("Exit"), kExit);
    connect(exit, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(exit, 0, Qt::AlignHCenter);
}

QWidget* EDID_Edit_Page::buildUserOption()
{
    auto* group = new QGroupBox(QStringLiteral("User Option :"), this);
    auto* grid = new QGridLayout(group);
    for (int u = 1; u <= kUserSlots; ++u) {
        QPushButton* slot = MakeButton(group, QStringLiteral("User %1").arg(u), kUserBase + u);
        slot->setCheckable(true);
        userSlots_[static_cast<size_t>(u - 1)] = slot;
        grid->addWidget(slot, (u - 1) / 4, (u - 1) % 4);
    }
    return group;
}

QWidget* EDID_Edit_Page::buildSaveOption()
{
    auto* group = new QGroupBox(QStringLiteral("Save Option :"), this);
    auto* grid = new QGridLayout(group);
    struct Row {
        const char* caption;
        int base;
        int mode;
    };
    const Row rows[] = {{"HDMI %1", kHdmiBase, EdidHdmi}, {"HDBT %1", kHdbtBase, EdidHdbt}};
    for (int r = 0; r < 2; ++r) {
        const Row& row = rows[r];
        for (int n = 1; n <= kOutputs; ++n) {
            QPushButton* save =
                MakeButton(group, QString::fromLatin1(row.caption).arg(n), row.base + n);
            const int mode = row.mode;
            connect(save, &QPushButton::clicked, this, [this, mode, n] { SaveUserEdid(mode, n); });
            grid->addWidget(save, r, n - 1);
        }
    }
    return group;
}

void EDID_Edit_Page::showEvent(QShowEvent* event)
{
    // A window restored by the window system is the same opening, selection and all.
    if (!event->spontaneous()) {
        for (QPushButton* slot : userSlots_)
            slot->setChecked(false);
    }
    QDialog::showEvent(event);
}

void EDID_Edit_Page::SaveUserEdid(int mode, int output)
{
    const bool anyChecked = std::any_of(userSlots_.begin(), userSlots_.end(),
                                        [](QPushButton* s) { return s->isChecked(); });
    if (!anyChecked) {
        ShowError(QStringLiteral("Please select user first..."));
        return;
    }
    const NameTable from = mode == EdidHdmi ? NameTable::EdidHdmiOutput : NameTable::EdidHdbtOutput;
    DeviceStatus& status = GlobalDeviceStatus();
    for (int u = 1; u <= kUserSlots; ++u) {
        if (!userSlots_[static_cast<size_t>(u - 1)]->isChecked())
            continue;
        SendCommand(Commands::EdidStoreUser(u, mode, output));
        CopyEdidName(status, from, output, u);
    }
    PauseMs(kSavePauseMs);
    for (QPushButton* slot : userSlots_)
        slot->setChecked(false);
}
