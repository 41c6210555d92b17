#pragma once
// The "EDID Edit Page" dialog: stores the EDID of one of the matrix's outputs (HDMI or HDBT
// 1-4) into the checked user slots, and copies that output's EDID name into the user EDID
// names at once, so the EDID page shows the new name before the matrix sends its table.
//
// Threads: UI thread only.
#include <QDialog>

#include <array>

class QPushButton;

class EDID_Edit_Page : public QDialog {
    Q_OBJECT
public:
    static constexpr int kUserSlots = 8;
    static constexpr int kOutputs = 4;

    // User slot u is 1091 + u; HDMI output n is 1014 + n, HDBT output n is 1022 + n.
    static constexpr int kUserBase = 1091;
    static constexpr int kHdmiBase = 1014;
    static constexpr int kHdbtBase = 1022;
    static constexpr int kExit = 1031;

    static constexpr int kSavePauseMs = 1500;

    explicit EDID_Edit_Page(QWidget* parent = nullptr);

    // Sends one store command per checked slot, in slot order, copies the output's name into
    // each of those slots, pauses, then clears the selection. mode is 2 (HDMI) or 3 (HDBT).
    void SaveUserEdid(int mode, int output);

protected:
    // Every opening starts with no slot selected.
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildUserOption();
    QWidget* buildSaveOption();

    std::array<QPushButton*, kUserSlots> userSlots_{};
};
