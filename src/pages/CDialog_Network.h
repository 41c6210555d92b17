#pragma once
// The Network page: shows the matrix's MAC, address, mask, gateway and DHCP mode as the last
// network block reported them, switches DHCP on or off, and sends a checked static address.
//
// Threads: everything here, RefreshFromStatus included, runs on the UI thread.
#include <QString>
#include <QWidget>

class QLineEdit;
class QPushButton;
class QTimer;

class CDialog_Network : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMacId = 1065;
    static constexpr int kIpId = 1066;
    static constexpr int kMaskId = 1067;
    static constexpr int kGatewayId = 1068;
    static constexpr int kDhcpId = 1069;
    static constexpr int kApplyId = 1070;
    // The DHCP confirmation timer: a network block must arrive within this time of "DHCP on".
    static constexpr int kDhcpTimerId = 888;
    static constexpr int kDhcpTimeoutMs = 2000;
    static constexpr int kApplyPauseMs = 1000;

    explicit CDialog_Network(QWidget* parent = nullptr);

    // Shows the held network block; false, with nothing changed, when none is held.
    bool RefreshFromStatus();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildInfoGroup();
    QLineEdit* makeAddressEdit(int id);

    void readControls();
    void writeControls();

    void checkFirstOctet();
    void fillDefaultMask();
    void onApply();
    void onDhcpClicked(bool checked);
    void onDhcpTimeout();
    void showDhcpState(bool on);
    void setAddressEditsEnabled(bool enabled);

    // The page's texts, bound to the four edits.
    QString macText_;
    QString ipText_;
    QString maskText_;
    QString gatewayText_;

    QLineEdit* macEdit_ = nullptr;
    QLineEdit* ipEdit_ = nullptr;
    QLineEdit* maskEdit_ = nullptr;
    QLineEdit* gatewayEdit_ = nullptr;
    QPushButton* dhcpToggle_ = nullptr;
    QPushButton* applyButton_ = nullptr;
    QTimer* dhcpTimer_ = nullptr;
    bool checkingFirstOctet_ = false;
};
