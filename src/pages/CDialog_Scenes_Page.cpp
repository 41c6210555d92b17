#include "CDialog_Scenes_Page.h"

#include "ControlId.h"
#include "Cp936.h"
#include "DeviceStatus.h"
#include "HostCommands.h"
#include "OperatorMessages.h"
#include "SendCommand.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CDialog_Scenes_Page::CDialog_Scenes_Page(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Scenes Page"));
    setMinimumWidth(320);

    auto* grid = new QGridLayout;
    for (int n = 1; n <= kRows; ++n) {
        auto* label = new QLabel(QStringLiteral("0%1 :").arg(n), this);
        names_[n - 1] = new QLineEdit(this);
        SetControlId(names_[n - 1], kNameBase + n);
        label->setBuddy(names_[n - 1]);
        names_[n - 1]->setText(DecodeCp936(GlobalDeviceStatus().name(NameTable::Scene, n)));
        auto* save = NewButton(this, kSaveBase + n, QStringLiteral("Save"));
        connect(save, &QPushButton::clicked, this, [this, n] { SaveSceneName(n); });
        grid->addWidget(label, n - 1, 0);
        grid->addWidget(names_[n - 1], n - 1, 1);
        grid->addWidget(save, n - 1, 2);
    }

    auto* exit = NewButton(this, kExit, QStringLiteral("EXIT"));
    connect(exit, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(exit, 0, Qt::AlignHCenter);
}

void CDialog_Scenes_Page::SaveSceneName(int row)
{
    const QString text = names_[row - 1]->text();
    if (text.isEmpty()) {
        ShowError(QStringLiteral("ERROR:Sence is NULL,Please check"));
        return;
    }
    const NameCheck name = CheckName(text);
    if (!name.bytes) {
        ShowError(name.error);
        return;
    }
    const std::string_view bytes(name.bytes->constData(), static_cast<size_t>(name.bytes->size()));
    SendCommand(Commands::SceneSaveNamed(row, bytes));
    GlobalDeviceStatus().setName(NameTable::Scene, row, bytes);
}

void CDialog_Scenes_Page::keyPressEvent(QKeyEvent* event)
{
    // Neither key may close the dialog or press a button, whatever has the focus.
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
