#pragma once
// "Rename Page": names the matrix's inputs, HDMI outputs or HDBT outputs, one group at a time
// as chosen in the mode list. Each "Save" sends one name and writes it at once into the local
// name table, where the tooltips and this dialog read it; no reply is awaited.
//
// Threads: UI thread only.
#include <QDialog>

class QComboBox;
class QLineEdit;
enum class NameTable;
enum class PortGroup;

class CDialog_Rename_Page : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMode = 1072;
    static constexpr int kNameBase = 1004; // name box of row n is 1004 + n
    static constexpr int kSaveBase = 1014; // save button of row n is 1014 + n
    static constexpr int kExit = 1024;
    static constexpr int kRows = 4;
    static constexpr int kRenamePauseMs = 1000; // lets the matrix store the name

    explicit CDialog_Rename_Page(QWidget* parent = nullptr);

    // Fills the four boxes with the names of the group chosen in the mode list, replacing
    // whatever was typed.
    void ShowPortNames();
    // Sends and stores the name of row n (1..4), or says why it cannot.
    void SavePortName(int row);

    struct Mode; // a mode list entry: its text, name table and command target

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    const Mode* currentMode() const;

    QComboBox* mode_ = nullptr;
    QLineEdit* names_[kRows] = {};
};
