// The main window's construction, initialisation, navigation and destruction.
#include "app/DRUI.h"

#include "app/UserFolders.h"
#include "cut/CutJob.h"
#include "dialogs/Style.h"
#include "media/PulseListing.h"
#include "media/ToolRun.h"
#include "merge/MergeJob.h"
#include "record/RecordingSession.h"
#include "support/WorkingFile.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
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
        QStringLiteral("QPushButton:disabled, QLineEdit:disabled { color: rgb(105, 105, 105); }") +
        tooltip_style);
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
    // The pages go with the window; the static pointers must not outlive them.
    m_pAudioComBox = nullptr;
    m_pStereoMix = nullptr;
}

void DRUI::Init()
{
    InitEngines();
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

    // A folder typed into a folder box is listed when the box is left, or at Enter.
    if (m_pCutDirEdit) {
        m_pCutDirEdit->installEventFilter(this);
        connect(m_pCutDirEdit, &QLineEdit::returnPressed, this, &DRUI::CutDirFocusOut);
    }
    if (m_pMergeDirEdit) {
        m_pMergeDirEdit->installEventFilter(this);
        connect(m_pMergeDirEdit, &QLineEdit::returnPressed, this, &DRUI::MergeDirFocusOut);
    }

    // Once the window is whole and shown: recordings a crash interrupted are finalised, and
    // what a crashed cut or merge left where it wrote is removed (what nobody holds a lock on).
    QTimer::singleShot(0, this, [this] {
        if (m_bRecordExiting || !m_pRecordDirEdit)
            return;
        // In the save folder and in every folder a job or a recording wrote to (a save folder
        // may have been changed since).
        m_pRecordSession->recoverLeftovers(m_pRecordDirEdit->text());
        const QString saveFolder = QDir(m_pRecordDirEdit->text()).absolutePath();
        for (const QString& folder : RememberedWorkFolders(workJournalFile())) {
            if (folder != saveFolder)
                m_pRecordSession->recoverLeftovers(folder);
        }
    });
}

void DRUI::InitEngines()
{
    // The engines own the runs of their work; the window keeps its probe run.
    m_pDeviceProcess = new ToolRun(this);
    m_pDeviceProcess->setTimeLimit(30000);
    m_pRecordSession = new RecordingSession(this);
    m_pRecordProcess = &m_pRecordSession->run();
    m_pMergeJob = new MergeJob(this);
    m_pChangeTSProcess = &m_pMergeJob->conversionRun();
    m_pMergeProcess = &m_pMergeJob->joinRun();
    m_pCutJob = new CutJob(this);
    m_pCutProcess = &m_pCutJob->run();
    connect(m_pDeviceProcess, &ToolRun::readyRead, this, &DRUI::ReadDeviceInfo);
    connect(m_pRecordProcess, &ToolRun::readyRead, this, &DRUI::ReadRecordInfo);
    connect(m_pChangeTSProcess, &ToolRun::readyRead, this, &DRUI::ReadChange2TSInfo);
    connect(m_pMergeProcess, &ToolRun::readyRead, this, &DRUI::ReadMergeInfo);
    connect(m_pCutProcess, &ToolRun::readyRead, this, &DRUI::ReadCutInfo);

    connect(m_pRecordSession, &RecordingSession::stateChanged, this,
            &DRUI::OnRecordingStateChanged);
    connect(m_pRecordSession, &RecordingSession::ended, this, &DRUI::OnRecordingEnded);
    connect(m_pRecordSession, &RecordingSession::folderMoved, this,
            [](const QString& folder) { RememberWorkFolder(workJournalFile(), folder); });
    connect(m_pCutJob, &CutJob::progress, this,
            [this](int percent, const QString& source, const QString& output) {
                m_nCutProgress = percent;
                m_strCutOutFile = output;
                Q_EMIT CutProcessCallBack(percent, source, output, 0);
            });
    connect(m_pMergeJob, &MergeJob::progress, this,
            [this](int percent, const QString& current, const QString& output) {
                m_n64MergeProgress = percent;
                m_n64MergeTotal = 100;
                m_strMergeCurrentFile = current;
                m_strMergeOutFile = output;
                Q_EMIT AddProcessCallBack(percent, current, output, 0);
            });
}

void DRUI::ForwardCancelRequest()
{
    if (!m_bisFinished)
        return;
    if (m_pCutJob && m_pCutJob->isRunning())
        m_pCutJob->cancel();
    if (m_pMergeJob && m_pMergeJob->isRunning())
        m_pMergeJob->cancel();
}

void DRUI::btnSlot()
{
    CreateSystemTray();
    m_pStackedLayout->setCurrentIndex(1);
    // A headset plugged in, another output chosen or a sound server started since the last
    // listing: the choices are those of now.
    if (!m_bIsStart && m_pDeviceListing && !m_pDeviceListing->isRunning())
        m_pDeviceListing->start();
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

void DRUI::closeEvent(QCloseEvent* event)
{
    // Every close is accepted and ends the program, also while the tray icon is shown.
    event->accept();
    FinishRecordingForExit();
    QCoreApplication::quit();
}
