#pragma once
#include <QWidget>

class CDialog_Audio : public QWidget {
    Q_OBJECT
public:
    explicit CDialog_Audio(QWidget* parent = nullptr);
    void RefreshAudioInputs();
    void RefreshAudioOutputs();
};
