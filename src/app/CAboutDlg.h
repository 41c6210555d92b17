#pragma once
// The about box: the program's caption and version, and a button that closes it. Made anew
// each time it is opened; modal, so the main window is disabled while it is open.
#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kOkButton = 1;

    explicit CAboutDlg(QWidget* parent = nullptr);
};
