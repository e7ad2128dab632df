// Recording control: start and stop, the 200 ms status tick, the run's end and finalisation.
#include "app/DRUI.h"

#include "dialogs/MessageBox.h"
#include "media/DeviceList.h"
#include "record/RecordCommand.h"
#include "record/RecordNames.h"
#include "record/RecordingFinalizer.h"
#include "support/Helpers.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

Q_LOGGING_CATEGORY(lcRecord, "vistrel.record")

namespace
{

// Longest wait for a recording's first frame before "q" is sent anyway.
constexpr int kFirstFrameWaitMs = 10000;
// Longest wait at exit for the run to end and its file to be finalised.
constexpr int kExitWaitMs = 60000;
// Longest wait at exit for an interrupted finalisation to clean up.
constexpr int kAbortWaitMs = 10000;

void setTrayEntry(QMenu* menu, int index, const QString& text, const QString& icon)
{
    if (!menu || menu->actions().size() <= index)
        return;
    QAction* action = menu->actions().at(index);
    action->setText(text);
    action->setIcon(QIcon(icon));
}

// Runs the event loop until `done` holds or `ms` have passed; returns `done`.
template <typename Done> bool waitWithEvents(Done done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QEventLoop loop;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

} // namespace

bool DRUI::IsRecordingBusy() const
{
    return (m_pRecordProcess && m_pRecordProcess->isRunning()) ||
           (m_pRecordFinalizer && m_pRecordFinalizer->isRunning());
}

QSize DRUI::CaptureScreenSize() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    // x11grab takes the whole X screen, which Qt sees as the virtual desktop.
    const QRect area = screen->virtualGeometry();
    const qreal ratio = screen->devicePixelRatio();
    return {qRound(area.width() * ratio), qRound(area.height() * ratio)};
}

void DRUI::btnSlotRecord()
{
    if (m_bIsStart) {
        StopRecording(true);
        return;
    }
    m_bIsStart = true;
    m_pRecordButton->setText(tr("Stop"));
    m_pRecordTimer->stop();
    setTrayEntry(m_pTrayMenu, 1, tr("Stop"), QStringLiteral(":/image/stop.png"));
    if (m_pTrayIcon)
        m_pTrayIcon->show();
    // Without a tray to come back from, a hidden window could not stop its recording.
    if (m_pTrayIcon && QSystemTrayIcon::isSystemTrayAvailable())
        hide();
    else
        showMinimized();
    m_pStereoMix->show();
    StartQProcessRecord();
    if (m_bIsStart)
        m_pRecordTimer->start(200);
}

void DRUI::btnSlotMenuStop()
{
    m_bIsStart = !m_bIsStart;
    if (!m_bIsStart) {
        StopRecording(false);
        return;
    }
    m_pRecordTimer->stop();
    m_pRecordButton->setText(tr("Stop"));
    setTrayEntry(m_pTrayMenu, 1, tr("Stop"), QStringLiteral(":/image/stop.png"));
    m_pStereoMix->show();
    StartQProcessRecord();
    if (!m_bIsStart)
        return;
    m_pRecordTimer->start(200);
    if (m_pTrayIcon && QSystemTrayIcon::isSystemTrayAvailable())
        hide();
    else
        showMinimized();
}

void DRUI::StopRecording(bool lowSpaceBox)
{
    m_pStereoMix->hide();
    m_bIsStart = false;
    RequestRecordStop();
    m_pRecordButton->setText(tr("Start"));
    if (m_pTrayMenu && !m_pTrayMenu->actions().isEmpty()) {
        setTrayEntry(m_pTrayMenu, 0, tr("Pause"), QStringLiteral(":/image/pause.png"));
        m_pTrayMenu->actions().at(0)->setEnabled(false);
    }
    setTrayEntry(m_pTrayMenu, 1, tr("Start"), QStringLiteral(":/image/play.png"));
    if (m_pTrayIcon)
        m_pTrayIcon->setIcon(QIcon(QStringLiteral(":/image/rec1.png")));
    m_pRecordTimer->stop();
    if (!m_bRecordExiting)
        showNormal();
    if (lowSpaceBox && m_nRecorderRet == -101) {
        if (!m_bRecordExiting)
            QMessageBox::information(this, tr("Recorder"),
                                     tr("Not enough space, recording stopped."));
        m_nRecorderRet = 0;
    }
}

void DRUI::StartQProcessRecord()
{
    m_nRecordStartTick = uint(rsb_getTickCount());
    m_n64RecordStartMs = QDateTime::currentMSecsSinceEpoch();
    if (IsRecordingBusy()) {
        // The previous run is still ending or being finalised; the process object would refuse
        // the start while the page acts as if recording.
        qCInfo(lcRecord) << "start waits for the previous recording to be finalised";
        m_bRecordStartPending = true;
        return;
    }
    LaunchRecordRun();
}

void DRUI::LaunchRecordRun()
{
    m_bRecordStartPending = false;
    const QString display = qEnvironmentVariable("DISPLAY");
    const QSize screen = CaptureScreenSize();
    const QString dir = m_pRecordDirEdit->text();
    QString problem;
    if (display.isEmpty())
        problem = tr("Cannot record: there is no X display (DISPLAY is not set).");
    else if (screen.width() < 2 || screen.height() < 2)
        problem = tr("Cannot record: the size of the screen is unknown.");
    else if (dir.isEmpty() || !QDir().mkpath(dir))
        problem = tr("Cannot record: the folder %1 cannot be created.").arg(dir);
    if (!problem.isEmpty()) {
        qCWarning(lcRecord).noquote() << problem;
        if (m_bIsStart)
            StopRecording(false);
        ShowRecordMessage(problem);
        return;
    }

    const RecordingPaths paths =
        chooseRecordingPaths(dir, QDateTime::fromMSecsSinceEpoch(m_n64RecordStartMs));
    m_strRecordFile = paths.finalPath;
    m_strRecordWorkFile = paths.workPath;

    LinuxCapture capture;
    capture.display = display;
    capture.width = screen.width();
    capture.height = screen.height();
    capture.outputPath = paths.workPath;
    const int choice = m_pAudioComBox && m_pAudioComBox->currentIndex() >= 0
                           ? m_pAudioComBox->currentData().toInt()
                           : kAudioNone;
    if (choice == kAudioBoth) {
        for (const QString& source : {m_strMicSource, m_strSysAudioSource}) {
            if (!source.isEmpty())
                capture.audioSources.append(source);
        }
    } else if (choice >= 0 && choice < m_vecAudioSources.size()) {
        capture.audioSources.append(m_vecAudioSources.at(choice));
    }

    m_bRecordLive = false;
    m_bRecordStopAsked = false;
    m_strRecordFailure.clear();
    ++m_nRecordRunSerial;
    m_nRecordStartTick = uint(rsb_getTickCount());
    capture.startSeconds = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    m_pRecordProcess->setExpectedOutput(QString());
    qCInfo(lcRecord).noquote() << "recording into" << paths.finalPath;
    if (!m_pRecordProcess->start(linuxRecordArguments(capture)))
        m_bRecordStartPending = true;
}

void DRUI::RequestRecordStop()
{
    m_bRecordStartPending = false;
    if (!m_pRecordProcess || !m_pRecordProcess->isRunning())
        return;
    m_bRecordStopAsked = true;
    if (m_bRecordLive) {
        m_pRecordProcess->quit();
        return;
    }
    const int serial = m_nRecordRunSerial;
    QTimer::singleShot(kFirstFrameWaitMs, this, [this, serial] {
        if (serial == m_nRecordRunSerial && m_bRecordStopAsked && m_pRecordProcess->isRunning())
            m_pRecordProcess->quit();
    });
}

void DRUI::ReadRecordInfo()
{
    for (const QString& line : m_pRecordProcess->takeLines()) {
        if (!m_bRecordLive && progressFrameCount(line) > 0) {
            // The clock shows the length of the file, not the tool's start-up.
            m_bRecordLive = true;
            m_nRecordStartTick = uint(rsb_getTickCount());
        }
    }
    if (m_bRecordStopAsked && m_bRecordLive)
        m_pRecordProcess->quit();
}

void DRUI::doTimerRec()
{
    if (!m_bIsStart)
        return;
    BlinkTrayIcon();
    const qint64 seconds =
        m_bRecordLive ? qint64(uint(rsb_getTickCount()) - m_nRecordStartTick) / 1000 : 0;
    const qint64 bytes = m_strRecordWorkFile.isEmpty() ? 0 : QFileInfo(m_strRecordWorkFile).size();
    m_pStereoMix->setText(recordingStatusText(seconds, bytes));
    // The folder the recording writes to, even if the page's folder was changed meanwhile.
    const QString dir = m_strRecordWorkFile.isEmpty()
                            ? m_pRecordDirEdit->text()
                            : QFileInfo(m_strRecordWorkFile).absolutePath();
    if (GetFreeSpace(dir) < kRecordLowSpaceBytes) {
        qCWarning(lcRecord) << "less than 10 MiB free: stopping the recording";
        m_nRecorderRet = -101;
        btnSlotRecord();
    }
}

void DRUI::OnRecordRunFinished(const ToolResult& result)
{
    const bool asked = m_bRecordStopAsked;
    m_bRecordStopAsked = false;
    m_bRecordLive = false;
    if (!asked) {
        m_strRecordFailure = describeToolResult(result);
        qCWarning(lcRecord).noquote() << "the recording ended on its own:" << m_strRecordFailure;
        if (m_bIsStart)
            StopRecording(false);
    }
    m_bFinalizingLeftover = false;
    m_pRecordFinalizer->start(m_strRecordWorkFile, m_strRecordFile);
}

void DRUI::OnRecordFinalized(const FinalizeOutcome& outcome)
{
    const bool leftover = m_bFinalizingLeftover;
    m_bFinalizingLeftover = false;
    const bool kept = outcome.kind == FinalizeOutcome::Kind::Finalised ||
                      outcome.kind == FinalizeOutcome::Kind::KeptAsIs;
    const QString name = QFileInfo(outcome.finalPath).fileName();
    QString text;
    if (leftover) {
        if (kept)
            text = tr("An interrupted recording was recovered: %1").arg(name);
    } else {
        m_strRecordWorkFile.clear();
        if (!m_strRecordFailure.isEmpty()) {
            text = tr("The recording stopped unexpectedly: %1").arg(m_strRecordFailure) +
                   QLatin1Char('\n') +
                   (kept ? tr("What was recorded is kept in %1.").arg(name)
                         : tr("Nothing was recorded."));
            m_strRecordFailure.clear();
        } else if (outcome.kind == FinalizeOutcome::Kind::KeptAsIs) {
            text = tr("The recording was saved as %1, but it could not be finalised: %2")
                       .arg(name, outcome.reason);
        } else if (outcome.kind == FinalizeOutcome::Kind::Nothing) {
            text = tr("Nothing was recorded.");
        }
    }
    if (!text.isEmpty())
        ShowRecordMessage(text);
    if (m_bRecordExiting)
        return;
    if (m_bRecordStartPending && m_bIsStart)
        LaunchRecordRun();
    else
        FinalizeNextLeftover();
}

void DRUI::ShowRecordMessage(const QString& text)
{
    qCInfo(lcRecord).noquote() << "message:" << text;
    if (m_bRecordExiting)
        return;
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            if (m_bRecordExiting)
                return;
            CMessageBox box;
            box.PlaceOver(this);
            box.InitInfoDialog(text);
            box.exec();
        },
        Qt::QueuedConnection);
}

void DRUI::StopRecordingForExit()
{
    m_bRecordExiting = true;
    m_vecRecoverFiles.clear();
    if (m_pRecordTimer)
        m_pRecordTimer->stop();
    if (m_bIsStart) {
        m_bIsStart = false;
        RequestRecordStop();
    }
    m_bRecordStartPending = false;
    if (!m_pRecordFinalizer || !IsRecordingBusy())
        return;
    qCInfo(lcRecord) << "exit: waiting for the recording to be finalised";
    if (!waitWithEvents([this] { return !IsRecordingBusy(); }, kExitWaitMs)) {
        // What is left is recovered at the next start-up.
        qCWarning(lcRecord) << "exit: finalisation did not end in time; leaving it for later";
        m_pRecordFinalizer->abort();
        waitWithEvents([this] { return !m_pRecordFinalizer->isRunning(); }, kAbortWaitMs);
    }
}
