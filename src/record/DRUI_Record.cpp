// Recording control on the window: the Record/Stop toggles, the 200 ms status tick, and what
// the window shows when the recording session changes state or ends.
#include "app/DRUI.h"
#include "app/UserFolders.h"

#include "dialogs/MessageBox.h"
#include "media/DeviceList.h"
#include "media/ToolRun.h"
#include "record/RecordNames.h"
#include "record/RecordingSession.h"
#include "record/X11Capture.h"
#include "record/wayland/WaylandCapture.h"
#include "support/Helpers.h"
#include "support/WorkingFile.h"

#include <QComboBox>
#include <QDateTime>
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
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTimer>

#include <cmath>

Q_LOGGING_CATEGORY(lcRecord, "vistrel.record")

namespace
{

// Longest wait at exit for the recording to end and its file to be finalised; what is left
// then is recovered at the next start.
constexpr int kExitWaitMs = 60000;
// Longest wait at exit for an abandoned finalisation to clean up.
constexpr int kAbandonWaitMs = 10000;

// The X screen in pixels, as Qt sees it: x11grab takes the whole screen, the virtual desktop.
// Scaled (QT_SCALE_FACTOR=1.5, say), Qt's size is whole device-independent pixels, up to half
// a pixel's worth more than the screen: rounded down, a grab never reaches outside it.
QSize captureScreenSize()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    const QRect area = screen->virtualGeometry();
    const qreal ratio = screen->devicePixelRatio();
    return {int(std::floor(area.width() * ratio)), int(std::floor(area.height() * ratio))};
}

} // namespace

void DRUI::SetTrayEntry(int index, const QString& text, const QString& icon)
{
    if (!m_pTrayMenu || m_pTrayMenu->actions().size() <= index)
        return;
    QAction* action = m_pTrayMenu->actions().at(index);
    action->setText(text);
    action->setIcon(QIcon(icon));
}

void DRUI::btnSlotRecord()
{
    if (m_bIsStart) {
        m_pRecordSession->stop();
        StopRecording();
        return;
    }
    m_bIsStart = true;
    m_pRecordButton->setText(tr("Stop"));
    m_pRecordTimer->stop();
    SetTrayEntry(1, tr("Stop"), QStringLiteral(":/image/stop.png"));
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
        m_pRecordSession->stop();
        StopRecording();
        return;
    }
    m_pRecordTimer->stop();
    m_pRecordButton->setText(tr("Stop"));
    SetTrayEntry(1, tr("Stop"), QStringLiteral(":/image/stop.png"));
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

void DRUI::StopRecording()
{
    m_pStereoMix->hide();
    m_bIsStart = false;
    m_pRecordButton->setText(tr("Start"));
    if (m_pTrayMenu && !m_pTrayMenu->actions().isEmpty()) {
        SetTrayEntry(0, tr("Pause"), QStringLiteral(":/image/pause.png"));
        m_pTrayMenu->actions().at(0)->setEnabled(false);
    }
    SetTrayEntry(1, tr("Start"), QStringLiteral(":/image/play.png"));
    if (m_pTrayIcon)
        m_pTrayIcon->setIcon(QIcon(QStringLiteral(":/image/rec1.png")));
    m_pRecordTimer->stop();
    if (!m_bRecordExiting)
        showNormal();
}

CaptureSource* DRUI::CreateCapture()
{
    if (!WaylandCapture::isWaylandSession())
        return new X11Capture(qEnvironmentVariable("DISPLAY"), captureScreenSize());
    // The share the user allowed once is asked for again with its token, so the system does
    // not ask again; the portal may hand out a new one.
    auto* capture = new WaylandCapture;
    const QSettings settings(m_strIniPath, QSettings::IniFormat);
    capture->setRestoreToken(settings.value(WaylandCapture::restoreTokenKey()).toString());
    connect(capture, &WaylandCapture::restoreTokenChanged, this, [this](const QString& token) {
        QSettings(m_strIniPath, QSettings::IniFormat)
            .setValue(WaylandCapture::restoreTokenKey(), token);
    });
    return capture;
}

void DRUI::StartQProcessRecord()
{
    m_nRecordStartTick = uint(rsb_getTickCount());
    if (!m_pRecordSession->capture())
        m_pRecordSession->setCapture(CreateCapture());
    else if (auto* x11 = qobject_cast<X11Capture*>(m_pRecordSession->capture()))
        x11->setScreen(captureScreenSize());
    QStringList sources;
    const int choice = m_pAudioComBox && m_pAudioComBox->currentIndex() >= 0
                           ? m_pAudioComBox->currentData().toInt()
                           : kAudioNone;
    if (choice == kAudioBoth) {
        for (const QString& source : {m_strMicSource, m_strSysAudioSource}) {
            if (!source.isEmpty())
                sources.append(source);
        }
    } else if (choice >= 0 && choice < m_vecAudioSources.size()) {
        sources.append(m_vecAudioSources.at(choice));
    }
    const QDateTime now = QDateTime::currentDateTime();
    m_strRecordFile = chooseRecordingPaths(m_pRecordDirEdit->text(), now).finalPath;
    // Should the program crash meanwhile, its next start recovers the recording there, also
    // when the save folder has been changed since.
    RememberWorkFolder(workJournalFile(), m_pRecordDirEdit->text());
    m_pRecordSession->start(m_pRecordDirEdit->text(), sources, now);
}

void DRUI::ReadRecordInfo()
{
    // The session reads the run; a stop the window wants is passed on.
    if (!m_bIsStart && m_pRecordSession->state() != RecordingSession::State::Stopping)
        m_pRecordSession->stop();
}

void DRUI::doTimerRec()
{
    if (!m_bIsStart)
        return;
    BlinkTrayIcon();
    const qint64 liveMs = m_pRecordSession->liveMs();
    const QString work = m_pRecordSession->workingFile();
    const qint64 bytes = work.isEmpty() ? 0 : QFileInfo(work).size();
    m_pStereoMix->setText(recordingStatusText(liveMs / 1000, bytes, liveMs > 0));
}

void DRUI::OnRecordingStateChanged()
{
    using State = RecordingSession::State;
    const State state = m_pRecordSession->state();
    if (state == State::Live)
        m_nRecordStartTick = uint(rsb_getTickCount());
    // The session ended the recording without the user (the tool stopped, the disk filled
    // up, the capture went away): the page goes back to idle at once. The previous recording
    // ending while the next one waits for it is not that.
    if (m_bIsStart && state != State::Starting && state != State::Live &&
        !m_pRecordSession->startWaiting())
        StopRecording();
}

void DRUI::OnRecordingEnded(const RecordingOutcome& outcome)
{
    using Kind = RecordingOutcome::Kind;
    const QString name = QFileInfo(outcome.path).fileName();
    const QString notFinalised =
        tr("The recording was saved as %1, but it could not be finalised: %2")
            .arg(name, outcome.reason);
    QString text;
    switch (outcome.kind) {
    case Kind::Saved:
        if (!outcome.reason.isEmpty())
            text = tr("The recording was saved as %1, but it is shorter than it ran: %2")
                       .arg(name, outcome.reason);
        break;
    case Kind::Recovered:
        // Recoveries search every folder recorded in, not only the save folder shown.
        text = tr("An interrupted recording was recovered: %1")
                   .arg(QDir::toNativeSeparators(outcome.path));
        break;
    case Kind::Nothing:
        text = tr("Nothing was recorded.");
        break;
    case Kind::StoppedByTool:
        text = tr("The recording stopped unexpectedly: %1").arg(outcome.reason) +
               QLatin1Char('\n') +
               (name.isEmpty() ? tr("Nothing was recorded.")
                               : tr("What was recorded is kept in %1.").arg(name));
        break;
    case Kind::StoppedLowSpace:
        m_nRecorderRet = -101;
        if (!m_bRecordExiting)
            QMessageBox::information(this, tr("Recorder"),
                                     tr("Not enough space, recording stopped.") +
                                         (outcome.reason.isEmpty() || name.isEmpty()
                                              ? QString()
                                              : QLatin1Char('\n') + notFinalised));
        m_nRecorderRet = 0;
        break;
    case Kind::Failed:
        text = name.isEmpty() ? outcome.reason : notFinalised;
        break;
    }
    if (!text.isEmpty())
        ShowRecordMessage(text);
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
            CMessageBox::Inform(this, text);
        },
        Qt::QueuedConnection);
}

void DRUI::FinishRecordingForExit()
{
    m_bRecordExiting = true;
    if (m_pRecordTimer)
        m_pRecordTimer->stop();
    m_bIsStart = false;
    if (!m_pRecordSession)
        return;
    m_pRecordSession->finish();
    if (!m_pRecordSession->isBusy())
        return;
    qCInfo(lcRecord) << "exit: waiting for the recording to be finalised";
    QProgressDialog progress(tr("Saving the recording..."), QString(), 0, 0);
    progress.setWindowTitle(QStringLiteral("Vistrel"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.show();
    // Events are processed here rather than in a local event loop: once the application has
    // been asked to exit, such a loop returns at once and the wait would spin without them.
    const auto waitIdle = [this](int ms) {
        QElapsedTimer clock;
        clock.start();
        QTimer tick; // wakes the wait to look at the clock
        tick.start(200);
        while (m_pRecordSession->isBusy() && clock.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents |
                                            QEventLoop::ExcludeUserInputEvents);
        return !m_pRecordSession->isBusy();
    };
    if (!waitIdle(kExitWaitMs)) {
        qCWarning(lcRecord) << "exit: finalisation did not end in time; leaving it for later";
        m_pRecordSession->abandon();
        waitIdle(kAbandonWaitMs);
    }
}
