#pragma once
#include <QWidget>
#include <functional>

class CDialog_System : public QWidget {
    Q_OBJECT
public:
    explicit CDialog_System(QWidget* parent = nullptr);
    void RefreshFromStatus();
    // Runs after Reboot or Factory has closed the port (the Link page's CloseUiAfterPortClose).
    void SetCloseUiHandler(std::function<void()> handler) { closeUi_ = std::move(handler); }

private:
    std::function<void()> closeUi_;
};
