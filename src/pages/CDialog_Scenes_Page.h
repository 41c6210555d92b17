#pragma once
// "Scenes Page": names the matrix's eight scenes. Each "Save" sends the name with a store of
// that scene and writes it at once into the local scene name table; no reply is awaited.
//
// Threads: UI thread only.
#include <QDialog>

class QLineEdit;

class CDialog_Scenes_Page : public QDialog {
    Q_OBJECT
public:
    static constexpr int kNameBase = 1072; // name box of row n is 1072 + n
    static constexpr int kSaveBase = 1080; // save button of row n is 1080 + n
    static constexpr int kExit = 1089;
    static constexpr int kRows = 8;

    explicit CDialog_Scenes_Page(QWidget* parent = nullptr);

    // Sends and stores the name of row n (1..8), or says why it cannot.
    void SaveSceneName(int row);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLineEdit* names_[kRows] = {};
};
