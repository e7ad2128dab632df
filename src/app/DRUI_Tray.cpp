// The tray icon that controls a recording while the window is hidden.
#include "app/DRUI.h"
#include "app/TrayBlink.h"

#include <QAction>
#include <QMenu>

void DRUI::CreateSystemTray()
{
    // One icon for the program's life: a second visit to the record page reuses it instead of
    // stacking another icon in the tray.
    if (m_pTrayIcon)
        return;
    m_pTrayIcon = new QSystemTrayIcon(this);
    m_pTrayIcon->setIcon(QIcon(QStringLiteral(":/image/rec1.png")));
    m_pTrayIcon->setToolTip(tr("Vistrel"));
    connect(m_pTrayIcon, &QSystemTrayIcon::activated, this, &DRUI::trayiconActivated);

    auto* pause = new QAction(QIcon(QStringLiteral(":/image/pause.png")), tr("Pause"), this);
    pause->setEnabled(false);
    auto* stop = new QAction(QIcon(QStringLiteral(":/image/stop.png")), tr("Stop"), this);
    connect(stop, &QAction::triggered, this, &DRUI::btnSlotMenuStop);
    auto* quit = new QAction(QIcon(QStringLiteral(":/image/quit.png")), tr("Quit"), this);
    connect(quit, &QAction::triggered, this, &DRUI::btnSlotMenuQuit);

    m_pTrayMenu = new QMenu(this);
    m_pTrayMenu->addAction(pause);
    m_pTrayMenu->addAction(stop);
    m_pTrayMenu->addAction(quit);
    m_pTrayIcon->setContextMenu(m_pTrayMenu);
}

void DRUI::BlinkTrayIcon()
{
    const TrayBlinkStep step = nextTrayBlink(m_nTimerTick);
    m_nTimerTick = step.tick;
    if (!m_pTrayIcon || step.image == TrayBlinkStep::Image::Keep)
        return;
    m_pTrayIcon->setIcon(QIcon(step.image == TrayBlinkStep::Image::Rec1
                                   ? QStringLiteral(":/image/rec1.png")
                                   : QStringLiteral(":/image/rec2.png")));
}

void DRUI::trayiconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
        showNormal();
        raise();
        activateWindow();
    }
}

void DRUI::btnSlotMenuQuit()
{
    if (DRUI::m_bIsStart)
        btnSlotMenuStop();
    close();
}
