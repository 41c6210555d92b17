#pragma once
#include <QWidget>

class CDialog_EDID : public QWidget {
    Q_OBJECT
public:
    explicit CDialog_EDID(QWidget* parent = nullptr);
    void RefreshEdidInputs();
};
