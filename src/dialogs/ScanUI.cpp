// The progress dialog that accompanies a cut or merge job.
#include "dialogs/ScanUI.h"

#include "app/DRUI.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>

int SCANUI::m_nOprType = 0;
bool SCANUI::m_bIsFinished = false;
QProgressBar* SCANUI::m_progressBar = nullptr;
int SCANUI::m_nError = 0;

SCANUI::SCANUI(QWidget*, Qt::WindowFlags) : QDialog(nullptr)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(QStringLiteral("Vistrel"));
    setFixedSize(500, 250);
    m_bIsFinished = false;
    m_progressBar = new QProgressBar(this);
    m_pInfoLabel = new QLabel(this);
}

void SCANUI::InitSlot(DRUI* window)
{
    m_pMainUI = window;
    connect(window, &DRUI::AddProcessCallBack, this, &SCANUI::AddProcessCallBackSlot);
    connect(window, &DRUI::CutProcessCallBack, this, &SCANUI::CutProcessCallBackSlot);
}

void SCANUI::btnSlot()
{
    close();
}

void SCANUI::CutProcessCallBackSlot(int percent, QString, QString destination, int error)
{
    m_nOprType = 2;
    m_progressBar->setValue(percent);
    m_strDestination = destination;
    m_nError = error;
    if (percent == 100) {
        m_bIsFinished = true;
        close();
    } else if (error != 0) {
        close();
    }
}

void SCANUI::AddProcessCallBackSlot(int percent, QString, QString destination, int error)
{
    m_nOprType = 1;
    m_progressBar->setValue(percent);
    m_strDestination = destination;
    m_nError = error;
    if (percent == 100) {
        m_bIsFinished = true;
        close();
    } else if (error != 0) {
        close();
    }
}

void SCANUI::paintEvent(QPaintEvent*) {}

void SCANUI::closeEvent(QCloseEvent* event)
{
    event->accept();
}
