#include "CAboutDlg.h"

#include "ControlId.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("4x8 HDMI2.0 Matrix"));
    auto* version = new QLabel(QStringLiteral("Version :1.0.0.1"));
    auto* ok = new QPushButton(QStringLiteral("确定"));
    SetControlId(ok, kOkButton);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(version, 1);
    row->addWidget(ok, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addStretch(1);
    setMinimumWidth(300);
    setFixedSize(sizeHint().expandedTo(QSize(300, 100)));
}
