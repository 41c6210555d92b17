#pragma once
// The main window: a fixed-size window holding the six pages on a tab strip whose tabs stand
// in a column along its left edge, the Link page first. The about box opens from the tab
// strip's context menu, from F1 and, on Windows, from the system menu.
//
// UI thread only.
#include <QWidget>

class CDialog_Audio;
class CDialog_EDID;
class CDialog_Link;
class CDialog_Network;
class CDialog_System;
class CDialog_Video;
class QTabWidget;

class CTavloDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTabStrip = 1000;
    static constexpr int kAboutCommand = 16; // the about entry of the system menu
    static constexpr int kWidth = 960;
    static constexpr int kHeight = 660;

    explicit CTavloDlg(QWidget* parent = nullptr);

    void ShowPage(int index);
    void OpenAbout();

    QTabWidget* tabStrip() const { return tabs_; }
    CDialog_Link* linkPage() const { return link_; }

signals:
    // The operator closed the window: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    void addSystemMenuEntry();
    void greyPages(bool grey);
    void showTabMenu(const QPoint& pos);

    QTabWidget* tabs_ = nullptr;
    CDialog_Link* link_ = nullptr;
    CDialog_Video* video_ = nullptr;
    CDialog_Audio* audio_ = nullptr;
    CDialog_EDID* edid_ = nullptr;
    CDialog_Network* network_ = nullptr;
    CDialog_System* system_ = nullptr;
};
