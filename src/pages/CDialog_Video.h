#pragma once
#include <QWidget>

class CDialog_Video : public QWidget {
    Q_OBJECT
public:
    explicit CDialog_Video(QWidget* parent = nullptr);
    bool RefreshVideoOutputs();
};
