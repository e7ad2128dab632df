// The main window's construction, initialisation, navigation and destruction.
#include "app/DRUI.h"

#include "app/UserFolders.h"
#include "library/ProbeCache.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSlider>
#include <QStackedLayout>
#include <QTimer>
#include <QVBoxLayout>

bool DRUI::m_bIsStart = false;
bool DRUI::m_bisFinished = false;
QComboBox* DRUI::m_pAudioComBox = nullptr;
QLabel* DRUI::m_pStereoMix = nullptr;
int DRUI::m_nRecorderRet = 0;

DRUI::DRUI(QWidget* parent, Qt::WindowFlags flags) : QMainWindow(parent, flags)
{
    // The images live in a static library; referencing them keeps the linker from dropping them.
    Q_INIT_RESOURCE(drui);
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("DRUIClass"));
    resize(800, 600);
    ui.centralWidget = new QWidget(this);
    ui.centralWidget->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(ui.centralWidget);

    ui.centralWidget->setStyleSheet(QStringLiteral("background-color: rgb(69, 78, 93);"));
    // The grey buttons and the white edits would hide the default light grey of disabled
    // text; a darker grey keeps "Start", "End", "Merge" and the save folder readable.
    qApp->setStyleSheet(
        QStringLiteral("QPushButton:disabled, QLineEdit:disabled { color: rgb(105, 105, 105); }"));
    setWindowTitle(QStringLiteral("Vistrel"));
    setFixedSize(1000, 600);
    resize(1000, 600);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->geometry();
        move(desk.x() + (desk.width() - width()) / 2, desk.y() + (desk.height() - height()) / 2);
    }
    m_strIniPath = userSettingsFile();
}

DRUI::~DRUI()
{
    StopRecordingForExit();
    m_bIsStart = false;
    if (m_pRecordTimer)
        m_pRecordTimer->stop();
    // The pages go with the window; the static pointers must not outlive them.
    m_pAudioComBox = nullptr;
    m_pStereoMix = nullptr;
    delete m_pProbeCache;
}

void DRUI::Init()
{
    struct Wiring {
        ToolRun** run;
        void (DRUI::*handler)();
    };
    const Wiring wiring[] = {
        {&m_pDeviceProcess, &DRUI::ReadDeviceInfo},
        {&m_pRecordProcess, &DRUI::ReadRecordInfo},
        {&m_pChangeTSProcess, &DRUI::ReadChange2TSInfo},
        {&m_pMergeProcess, &DRUI::ReadMergeInfo},
        {&m_pCutProcess, &DRUI::ReadCutInfo},
    };
    for (const Wiring& w : wiring) {
        *w.run = new ToolRun(this);
        connect(*w.run, &ToolRun::readyRead, this, w.handler);
    }
    // Listing and probe runs have a limit; job and recording runs end when the tool ends.
    m_pDeviceProcess->setTimeLimit(30000);

    InitLayout1Widget();
    InitLayout2Widget();
    InitLayout3Widget();
    InitLayout4Widget();

    m_pStackedLayout = new QStackedLayout;
    m_pStackedLayout->addWidget(m_pLayout1Widget);
    m_pStackedLayout->addWidget(m_pLayout2Widget);
    m_pStackedLayout->addWidget(m_pLayout3Widget);
    m_pStackedLayout->addWidget(m_pLayout4Widget);
    m_pStackedLayout->setCurrentIndex(0);

    auto* layout = new QVBoxLayout;
    layout->addLayout(m_pStackedLayout);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    ui.centralWidget->setLayout(layout);

    m_nTimerTick = 0;
    m_pRecordTimer = new QTimer(this);
    connect(m_pRecordTimer, &QTimer::timeout, this, &DRUI::doTimerRec);

    if (m_pCutDirEdit)
        m_pCutDirEdit->installEventFilter(this);
    if (m_pMergeDirEdit)
        m_pMergeDirEdit->installEventFilter(this);
}

void DRUI::btnSlot()
{
    CreateSystemTray();
    m_pStackedLayout->setCurrentIndex(1);
}

void DRUI::btnSlotBack()
{
    if (m_pStackedLayout->currentIndex() == 2 && m_pSlider)
        m_pSlider->setValue(0);
    m_pStackedLayout->setCurrentIndex(0);
}

bool DRUI::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        if (watched == m_pCutDirEdit)
            CutDirFocusOut();
        else if (watched == m_pMergeDirEdit)
            MergeDirFocusOut();
    }
    return QMainWindow::eventFilter(watched, event);
}

void DRUI::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        return;
    QMainWindow::keyPressEvent(event);
}

void DRUI::paintEvent(QPaintEvent*) {}

void DRUI::closeEvent(QCloseEvent*)
{
    // Every close is accepted and ends the program, also while the tray icon is shown.
    QCoreApplication::quit();
}
