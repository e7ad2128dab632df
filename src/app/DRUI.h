// The main window: the four pages, the page stack, the tray, and the glue between the pages and
// the engines that do the work (the recording session, the cut job, the merge job).
#pragma once

#include <QHash>
#include <QMainWindow>
#include <QString>
#include <QSystemTrayIcon>
#include <QVector>

class BatchProbe;
class CaptureSource;
class CutJob;
class MergeJob;
class PulseListing;
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
class RecordingSession;
class ToolRun;
struct JobResult;
struct MediaFacts;
struct PulseDevice;
struct RecordingOutcome;

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
    ~DRUI() override;

    // Creates the engines and their runs, the four pages, the page stack, the timer and the
    // event filters, and starts the recovery of interrupted recordings.
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
    // The running job has ended; its final report follows once the job's loop is left (a
    // question open over the progress dialog holds that up until it closes).
    void JobEnded();

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

    // ---- Capture devices (record/) ----
    // Starts listing the capture sources in the background; when it ends, the sound choices
    // go into m_pAudioComBox before its "None".
    void get_audiodevice_name();

    // ---- Recording (record/) ----
    void InitLayout2Widget();
    // Asks the recording session for a recording of the chosen sounds into the save folder; it
    // begins as soon as the previous recording is finalised.
    void StartQProcessRecord();

    // ---- Video library (cut/) ----
    // The "hh:mm:ss" duration the tool prints for `path`, or empty when it prints none.
    QString GetVedioTimeSeconds(const QString& path);

    // ---- Cut (cut/) ----
    void InitLayout3Widget();
    QTableWidget* CreateCutVideoTable();
    // Cuts m_n64StartTime..m_n64EndTime of m_strCutSrcFile into m_strCutOutDir; ends with one
    // CutProcessCallBack(100, ...). Returns 0 success, 1 failed, 2 canceled.
    int StartQProcessCut();

    // ---- Merge (merge/) ----
    void InitLayout4Widget();
    QTableWidget* CreateSourceVideoTable();
    QTableWidget* CreateTargetVideoTable();
    // Merges m_vecMergeFiles (the merge list's files: full paths, or names in the merge folder
    // edit's folder) into m_strMergeOutDir; ends with exactly one AddProcessCallBack(100,
    // output, output, result). Returns the result (0, 1, 2).
    int StartQProcessMerge();
    // The paths of m_vecMergeFiles.
    QStringList MergeInputs() const;
    // The merge list's files, top to bottom: full paths (names for rows without one).
    QVector<QString> MergeListFiles() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // Every close is accepted; a recording still going is finished first, with its progress
    // shown.
    void closeEvent(QCloseEvent* event) override;

public:
    Ui::DRUIClass ui;

    // Pages and navigation
    QWidget* m_pLayout1Widget = nullptr;
    QWidget* m_pLayout2Widget = nullptr;
    QWidget* m_pLayout3Widget = nullptr;
    QWidget* m_pLayout4Widget = nullptr;
    QStackedLayout* m_pStackedLayout = nullptr;
    QString m_strIniPath;

    // Media-tool runs: the probe run is the window's; the others are the engines' own.
    ToolRun* m_pDeviceProcess = nullptr;
    ToolRun* m_pRecordProcess = nullptr;
    ToolRun* m_pChangeTSProcess = nullptr;
    ToolRun* m_pMergeProcess = nullptr;
    ToolRun* m_pCutProcess = nullptr;

    // Recording and tray
    QTimer* m_pRecordTimer = nullptr;
    int m_nTimerTick = 0;
    QSystemTrayIcon* m_pTrayIcon = nullptr;
    QLabel* m_pFreeSpaceLabel = nullptr;
    QLineEdit* m_pRecordDirEdit = nullptr;
    QPushButton* m_pRecordButton = nullptr;
    int m_nMicDeviceIndex = -1;
    int m_nSysAudioDeviceIndex = -1;
    char m_cScreenDeviceIndex = '0';
    QString m_strDeviceText;
    QString m_strRecordFile;
    uint m_nRecordStartTick = 0;

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
    int m_nCutProgress = 0;

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
    qint64 m_n64MergeProgress = 0;
    qint64 m_n64MergeTotal = 0;
    QString m_strMergeOutDir;
    QString m_strMergeCurrentFile;
    QString m_strMergeOutFile;
    int m_nMergeError = 0;
    int m_nChangeTSError = 0;

private:
    // Shell
    // The engines and their runs, wired to the window's signals.
    void InitEngines();
    void BlinkTrayIcon();
    void SetTrayEntry(int index, const QString& text, const QString& icon);
    // The single place where the dialog's stop request becomes the running job's cancel.
    void ForwardCancelRequest();
    // Starts `job` (a CutJob or MergeJob) on `request` and runs the one local event loop a
    // modal job needs until it has finished (app/JobLoop.h).
    template <typename Job, typename Request> JobResult RunJob(Job& job, const Request& request);

    // Recording
    // The capture of this session's screen: X11, or the portal's share on Wayland.
    CaptureSource* CreateCapture();
    void OnAudioDevicesListed(const QVector<PulseDevice>& sources,
                              const QVector<PulseDevice>& sinks);
    void RefreshFreeSpaceLabel();
    // The page, tray and window back to idle (the session is asked to stop by the caller).
    void StopRecording();
    void OnRecordingStateChanged();
    void OnRecordingEnded(const RecordingOutcome& outcome);
    // The program's own box with `text`, after the current handler has returned.
    void ShowRecordMessage(const QString& text);
    // Exit: finishes a recording still going, with its progress shown.
    void FinishRecordingForExit();

    // Cut
    void CutTableItemDoubleClick(QTableWidgetItem* item);
    void CutDirFocusOut();
    void RefreshCutList(const QString& folder);

    // Merge
    void MergeDirFocusOut();
    // Rescans the merge folder into the folder list at once, with sizes and the durations
    // already known; the others are described in the background and filled in as they come.
    void RefreshMergeFolderList();
    void OnMergeFileDescribed(const QString& path, const MediaFacts& facts);
    // Shows the durations described since the last call, all at once.
    void ShowMergeTimes();
    // The Merge button after the output folder is chosen: captures the merge list, checks the
    // files (a refusal is told and nothing runs), then runs StartQProcessMerge under the
    // progress dialog.
    void StartMergeJob();

    RecordingSession* m_pRecordSession = nullptr;
    PulseListing* m_pDeviceListing = nullptr;
    QStringList m_vecAudioSources; // pulse source names; the audio box's data indexes these
    QString m_strMicSource;
    QString m_strSysAudioSource;
    QMenu* m_pTrayMenu = nullptr;
    QLabel* m_pWaylandLabel = nullptr;
    bool m_bRecordExiting = false; // the window is going: no boxes, no window changes

    CutJob* m_pCutJob = nullptr;
    MergeJob* m_pMergeJob = nullptr;
    BatchProbe* m_pMergeProber = nullptr;    // the folder list's durations, in the background
    QString m_strMergeListedFolder;          // the folder the folder list shows (absolute)
    QHash<QString, int> m_mergeListedRows;   // the folder list's row of each file name
    QHash<QString, QString> m_mergeNewTimes; // durations by file name, not shown yet
};
