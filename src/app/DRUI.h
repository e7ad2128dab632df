// The main window: owner of the four pages, the media-tool runs, the recording timer and tray.
#pragma once

#include "media/ToolRun.h"
#include "merge/MergeProbe.h"
#include "merge/MergeProgress.h"

#include <QHash>
#include <QMainWindow>
#include <QString>
#include <QSystemTrayIcon>
#include <QVector>

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSlider;
class QStackedLayout;
class QTableWidget;
class QTableWidgetItem;
class QTimer;
class BatchProbe;
class PulseListing;
struct PulseDevice;
class ProbeCache;
class RecordingFinalizer;
struct FinalizeOutcome;

namespace Ui
{
// The designer form of the window: one central widget that carries the page stack.
struct DRUIClass {
    QWidget* centralWidget = nullptr;
};
} // namespace Ui

class DRUI : public QMainWindow
{
    Q_OBJECT
public:
    explicit DRUI(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    // Ends a running recording ("q", then waits for its file to be finalised) before the
    // processes go.
    ~DRUI() override;

    // Creates the runs, the four pages, the page stack, the timer and the event filters.
    void Init();

    // Shared between the window and its dialogs.
    static bool m_bIsStart;           // a recording is wanted
    static bool m_bisFinished;        // stop request of the running cut or merge job
    static QComboBox* m_pAudioComBox; // record page sound choice
    static QLabel* m_pStereoMix;      // record page status while recording
    static int m_nRecorderRet;        // why the last recording ended: 0, or -101 for low space

Q_SIGNALS:
    // Job progress: percent (100 = ended), current file, destination, result (0, 1 failed,
    // 2 canceled; non-zero only in the final report).
    void AddProcessCallBack(int percent, QString current, QString destination, int result);
    void CutProcessCallBack(int percent, QString current, QString destination, int result);

public Q_SLOTS:
    void btnSlot();
    void btnEditSlot();
    void btnMontageSlot();
    void btnAddSlot();
    void btnSlotBack();
    void btnSlotRecord();
    void btnSlotLayout4Dir();
    void btnSlotLayout4Merge();
    void btnSlotLayout3Dir();
    void btnSlotLayout3Cut();
    void btnSlotLayout2Dir();
    void btnUpSlot();
    void btnDownSlot();
    void btnDelSlot();
    void current(int position);
    void btnHelpSlot();
    void btnSupportSlot();
    void btnAboutSlot();
    void btnSetHead();
    void btnSetTail();
    void btnSlotMenuStop();
    void btnSlotMenuQuit();
    void TargetTableItemClick(QTableWidgetItem* item);
    void SourceTableItemClick(QTableWidgetItem* item);
    void SourceTableItemDoubleClick(QTableWidgetItem* item);
    void CutTableItemClick(QTableWidgetItem* item);
    void CutTableItemDoubleClick(QTableWidgetItem* item);
    void trayiconActivated(QSystemTrayIcon::ActivationReason reason);
    void doTimerRec();
    void ReadRecordInfo();
    void ReadMergeInfo();
    void ReadChange2TSInfo();
    void ReadCutInfo();
    void ReadDeviceInfo();

public:
    // ---- Application shell (app/) ----
    void InitLayout1Widget();
    // A top-bar button: type 0 about, 1 support, 2 help; at (x, 40) on `parent`.
    QPushButton* CreateButton(int type, int x, QWidget* parent);
    // Builds the tray icon and menu once; later calls reuse them.
    void CreateSystemTray();
    // One 200 ms tick of the tray icon's blink while recording; advances m_nTimerTick.
    void BlinkTrayIcon();

    // ---- Media tool (media/) ----
    // Starts listing the capture sources in the background; when it ends, the sound choices
    // go into m_pAudioComBox before its "None" (AudioDevicesPending() meanwhile).
    void get_audiodevice_name();
    // The capture sources are still being listed.
    bool AudioDevicesPending() const;
    // The listing ended: the members and the sound box are filled from it.
    void OnAudioDevicesListed(const QVector<PulseDevice>& sources,
                              const QVector<PulseDevice>& sinks);

    // ---- Recording (record/) ----
    void InitLayout2Widget();
    // Launches the recording run now, or as soon as the previous recording is finalised.
    void StartQProcessRecord();
    // At exit: stops a running recording and finalises its file before the window goes. Waits
    // with a live event loop, at most about a minute; what is left then is recovered at the
    // next start-up.
    void StopRecordingForExit();
    // Start-up: finalises the working files a crash left in the save folder, telling the user.
    void RecoverLeftoverRecordings();
    // A recording run or a finalisation is going.
    bool IsRecordingBusy() const;
    // Shows the free space of the save folder's disk in m_pFreeSpaceLabel.
    void RefreshFreeSpaceLabel();
    // The X screen in pixels, as Qt sees it.
    QSize CaptureScreenSize() const;
    void LaunchRecordRun();
    // The stop steps: page, tray and window back to idle and the run asked to end.
    // `lowSpaceBox`: show the low-space message when that is why it stopped.
    void StopRecording(bool lowSpaceBox);
    // Asks the run to end: "q" once it has delivered its first frame (a "q" before that leaves a
    // file without a picture), and in any case after 10 s.
    void RequestRecordStop();
    void OnRecordRunFinished(const ToolResult& result);
    void OnRecordFinalized(const FinalizeOutcome& outcome);
    void FinalizeNextLeftover();
    // The program's own box with `text`, after the current handler has returned; only logged
    // while the window is going.
    void ShowRecordMessage(const QString& text);

    // ---- Video library (library/) ----
    // The "hh:mm:ss" duration the tool prints for `path`, or empty when it prints none.
    QString GetVedioTimeSeconds(const QString& path);

    // ---- Cut (cut/) ----
    void InitLayout3Widget();
    QTableWidget* CreateCutVideoTable();
    // The cut folder edit lost the focus.
    void CutDirFocusOut();
    // Refills the cut list with the MP4 files of `folder`, newest first.
    void RefreshCutList(const QString& folder);
    // Cuts m_n64StartTime..m_n64EndTime of m_strCutSrcFile into m_strCutOutDir; ends with one
    // CutProcessCallBack(100, ...). Returns 0 success, 1 failed, 2 canceled.
    int StartQProcessCut();

    // ---- Merge (merge/) ----
    void InitLayout4Widget();
    QTableWidget* CreateSourceVideoTable();
    QTableWidget* CreateTargetVideoTable();
    // The merge folder edit lost the focus.
    void MergeDirFocusOut();
    // Rescans the merge folder edit's folder into the folder list at once, with sizes and the
    // durations already known; the others are probed in the background and filled in as they
    // come (MergeDurationsPending() meanwhile).
    void RefreshMergeFolderList();
    // Durations of the listed folder are still being probed.
    bool MergeDurationsPending() const;
    // A probed file: remembered, and its duration shown in the rows that list it.
    void OnMergeFileDescribed(const QString& path, const MediaFacts& facts);
    // The job after the output folder is chosen: captures the merge list, checks the files,
    // then runs StartQProcessMerge under the progress dialog. Returns its result (0, 1, 2);
    // 1 also when the files were refused with a message and nothing ran.
    int StartMergeJob();
    // Reads the queued files' streams into m_vecMergeFacts. Returns why they cannot be
    // merged (a text for the user), or an empty text.
    QString CheckMergeInputs();
    // Converts and joins m_vecMergeFiles into m_strMergeOutDir; ends with exactly one
    // AddProcessCallBack(100, output, output, result). Returns the result (0, 1, 2).
    int StartQProcessMerge();
    // One conversion of `inputPath` into the transport stream `tsPath`; `outputPath` names the
    // job's output in the progress reports. Returns 0, 1 failed or 2 canceled.
    int ChangeToTS(const QString& tsPath, const QString& inputPath, const QString& outputPath);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

public:
    // Members are public so the offscreen widget tests can drive and inspect the pages.
    Ui::DRUIClass ui;

    // Pages and navigation
    QWidget* m_pLayout1Widget = nullptr;
    QWidget* m_pLayout2Widget = nullptr;
    QWidget* m_pLayout3Widget = nullptr;
    QWidget* m_pLayout4Widget = nullptr;
    QStackedLayout* m_pStackedLayout = nullptr;
    QString m_strIniPath;

    // Media-tool runs
    ToolRun* m_pDeviceProcess = nullptr;
    ToolRun* m_pRecordProcess = nullptr;
    ToolRun* m_pChangeTSProcess = nullptr;
    ToolRun* m_pMergeProcess = nullptr;
    ToolRun* m_pCutProcess = nullptr;

    // Recording and tray
    QTimer* m_pRecordTimer = nullptr;
    int m_nTimerTick = 0;
    QSystemTrayIcon* m_pTrayIcon = nullptr;
    QMenu* m_pTrayMenu = nullptr;
    QLabel* m_pFreeSpaceLabel = nullptr;
    QLineEdit* m_pRecordDirEdit = nullptr;
    QPushButton* m_pRecordButton = nullptr;
    QLabel* m_pWaylandLabel = nullptr;
    int m_nMicDeviceIndex = -1;
    int m_nSysAudioDeviceIndex = -1;
    char m_cScreenDeviceIndex = '0';
    QString m_strDeviceText;
    QStringList m_vecAudioSources; // pulse source names; the audio box's data indexes these
    PulseListing* m_pDeviceListing = nullptr; // the sources and sinks, listed in the background
    QString m_strMicSource;
    QString m_strSysAudioSource;
    QString m_strRecordFile;     // final name of the current recording
    QString m_strRecordWorkFile; // hidden fragmented file the tool writes while recording
    uint m_nRecordStartTick = 0;
    RecordingFinalizer* m_pRecordFinalizer = nullptr;
    QStringList m_vecRecoverFiles;      // working files left by a crash, waiting to be finalised
    qint64 m_n64RecordStartMs = 0;      // when the user asked for the recording (its file name)
    int m_nRecordRunSerial = 0;         // tells a stale stop timer from the current run's
    bool m_bRecordLive = false;         // the current run has delivered its first frame
    bool m_bRecordStopAsked = false;    // the current run was asked to end
    bool m_bRecordStartPending = false; // a start waits for the previous recording to finish
    bool m_bFinalizingLeftover = false; // the running finalisation is a start-up recovery
    bool m_bRecordExiting = false;      // the window is going: no boxes, no window changes
    QString m_strRecordFailure;         // why the last run ended on its own, told when finalised

    // Cut page and cut job
    QTableWidget* m_pCutVideoTable = nullptr;
    QLineEdit* m_pCutDirEdit = nullptr;
    QSlider* m_pSlider = nullptr;
    QLabel* m_pTimeLabel = nullptr;
    QLabel* m_pCutHelpLabel = nullptr;
    QLabel* m_pStartLabel = nullptr;
    QLabel* m_pEndLabel = nullptr;
    QPushButton* m_pStartButton = nullptr;
    QPushButton* m_pEndButton = nullptr;
    QPushButton* m_pCutButton = nullptr;
    QString m_strCurrentPos;
    QString m_strCutSrcFile;
    qint64 m_n64Duration = 0;
    qint64 m_n64StartTime = 0;
    qint64 m_n64EndTime = 0;
    QString m_strCutOutDir;
    QString m_strCutOutFile;
    int m_nCutError = 0;
    int m_nCutProgress = 0;        // last percent reported by the running cut
    QString m_strCutWorkFile;      // hidden file the running cut writes; renamed on success
    ProgressTracker m_cCutTracker; // time= of the running cut against its span

    // Merge page and merge job
    QTableWidget* m_pSourceVideoTable = nullptr;
    QTableWidget* m_pTargetVideoTable = nullptr;
    QLineEdit* m_pMergeDirEdit = nullptr;
    QPushButton* m_pAddButton = nullptr;
    QPushButton* m_pUpButton = nullptr;
    QPushButton* m_pDownButton = nullptr;
    QPushButton* m_pDelButton = nullptr;
    QPushButton* m_pMergeButton = nullptr;
    QVector<QString> m_vecMergeFiles;
    QVector<MediaFacts> m_vecMergeFacts; // streams of m_vecMergeFiles, in the same order
    MergeProgress m_cMergeProgress;      // the job's percentage from time=
    int m_nMergeIndex = 0;               // input being converted, from 0
    QString m_strMergeOutDir;
    QString m_strMergeCurrentFile;
    QString m_strMergeOutFile;
    int m_nMergeError = 0;
    int m_nChangeTSError = 0;
    ProbeCache* m_pProbeCache = nullptr;  // what every probe found, by file
    BatchProbe* m_pMergeProber = nullptr; // the folder list's durations, in the background
    QString m_strMergeListedFolder;       // the folder the folder list shows (absolute)
};
