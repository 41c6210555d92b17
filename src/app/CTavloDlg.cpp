#include "CTavloDlg.h"

#include "CAboutDlg.h"
#include "CDialog_Audio.h"
#include "CDialog_EDID.h"
#include "CDialog_Link.h"
#include "CDialog_Network.h"
#include "CDialog_System.h"
#include "CDialog_Video.h"
#include "ControlId.h"

#include <QCloseEvent>
#include <QIcon>
#include <QMenu>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

// Resources of a static library are registered by hand, outside any namespace.
static void InitTavloResources() { Q_INIT_RESOURCE(tavlo); }

CTavloDlg::CTavloDlg(QWidget* parent) : QWidget(parent)
{
    InitTavloResources();
    setWindowTitle(QStringLiteral("4x8 HDMI2.0 Matrix"));
    setWindowIcon(QIcon(QStringLiteral(":/tavlo/tavlo.png")));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kWidth, kHeight);

    tabs_ = new QTabWidget;
    SetControlId(tabs_, kTabStrip);
    tabs_->setTabPosition(QTabWidget::West);
    tabs_->setDocumentMode(false);
    link_ = new CDialog_Link;
    video_ = new CDialog_Video;
    audio_ = new CDialog_Audio;
    edid_ = new CDialog_EDID;
    network_ = new CDialog_Network;
    system_ = new CDialog_System;
    tabs_->addTab(link_, QStringLiteral("Link"));
    tabs_->addTab(video_, QStringLiteral("Video"));
    tabs_->addTab(audio_, QStringLiteral("Audio"));
    tabs_->addTab(edid_, QStringLiteral("EDID"));
    tabs_->addTab(network_, QStringLiteral("Network"));
    tabs_->addTab(system_, QStringLiteral("System"));
    tabs_->setCurrentIndex(0);

    link_->SetRefreshers(RefreshersFor(*video_, *audio_, *edid_, *network_, *system_));
    system_->SetCloseUiHandler([this] { link_->CloseUiAfterPortClose(); });
    connect(link_, &CDialog_Link::pagesStale, this, &CTavloDlg::greyPages);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(tabs_);

    QTabBar* bar = tabs_->tabBar();
    // A clicked tab takes the focus, as a Windows tab control does. Otherwise the focus would
    // follow into the page, to the control last focused there, and run its focus handling
    // although showing a page is no activation of it.
    bar->setFocusPolicy(Qt::StrongFocus);
    bar->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(bar, &QWidget::customContextMenuRequested, this, &CTavloDlg::showTabMenu);
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, &CTavloDlg::OpenAbout);
    addSystemMenuEntry();
}

void CTavloDlg::ShowPage(int index)
{
    if (index >= 0 && index < tabs_->count())
        tabs_->setCurrentIndex(index);
}

void CTavloDlg::OpenAbout()
{
    CAboutDlg about(this);
    about.exec();
}

// While the link waits for a lost port the pages keep their last state, greyed, so nothing is
// clicked on a state the matrix may have left.
void CTavloDlg::greyPages(bool grey)
{
    for (QWidget* page : std::initializer_list<QWidget*>{video_, audio_, edid_, network_, system_})
        page->setEnabled(!grey);
}

void CTavloDlg::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    emit closed();
}

void CTavloDlg::showTabMenu(const QPoint& pos)
{
    QMenu menu(this);
    menu.addAction(QStringLiteral("4x8 HDMI2.0 Matrix"), this, &CTavloDlg::OpenAbout);
    menu.exec(tabs_->tabBar()->mapToGlobal(pos));
}

#ifdef Q_OS_WIN
void CTavloDlg::addSystemMenuEntry()
{
    HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE);
    if (!menu)
        return;
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kAboutCommand, L"4x8 HDMI2.0 Matrix");
}

bool CTavloDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result)
{
    const auto* msg = static_cast<const MSG*>(message);
    if (msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == kAboutCommand) {
        OpenAbout();
        *result = 0;
        return true;
    }
    return QWidget::nativeEvent(eventType, message, result);
}
#else
// Other platforms give a program no system menu of its own; the tab strip's menu and F1 serve.
void CTavloDlg::addSystemMenuEntry() {}
#endif
