#pragma once
// The System page: restarts or factory-resets the matrix, each after a question, and shows the
// model and firmware version the matrix reported. Both actions close the port once the command
// is on the wire; the operator reopens it when the matrix is back.
//
// Threads: everything here, RefreshFromStatus included, runs on the UI thread.
#include <QString>
#include <QWidget>
#include <functional>
#include <string>

class QLineEdit;

class CDialog_System : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSettingGroupId = 1115;
    static constexpr int kRebootId = 1015;
    static constexpr int kFactoryId = 1016;
    static constexpr int kModelId = 1005;
    static constexpr int kVersionId = 1006;
    static constexpr int kProductTypeId = 1008;
    // How long the command may take to leave the port before the port is closed anyway.
    static constexpr int kDrainTimeoutMs = 1000;

    explicit CDialog_System(QWidget* parent = nullptr);

    // Shows the held model block's model and version; nothing happens when none is held.
    void RefreshFromStatus();
    // Runs after Reboot or Factory has closed the port (the Link page's CloseUiAfterPortClose).
    void SetCloseUiHandler(std::function<void()> handler) { closeUi_ = std::move(handler); }

private:
    QWidget* buildSettingGroup();
    QWidget* buildInfoGroup();
    QLineEdit* makeInfoField(int id);
    void writeControls();

    void onReboot();
    void onFactory();
    void confirmAndSend(const QString& question, const QString& caption,
                        const std::string& command);

    // The page's texts, bound to the model and version fields.
    QString modelText_;
    QString versionText_;

    QLineEdit* modelField_ = nullptr;
    QLineEdit* versionField_ = nullptr;
    QLineEdit* productTypeField_ = nullptr;
    std::function<void()> closeUi_;
};
