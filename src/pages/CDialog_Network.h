#pragma once
#include <QWidget>

class CDialog_Network : public QWidget {
    Q_OBJECT
public:
    explicit CDialog_Network(QWidget* parent = nullptr);
    bool RefreshFromStatus();
};
