// A recording from start to its finished file.
#include "record/RecordingSession.h"

#include "media/PulseListing.h"
#include "media/SoundWatch.h"
#include "media/ToolRun.h"
#include "record/CaptureSource.h"
#include "record/RecordCommand.h"
#include "record/RecordNames.h"
#include "support/Helpers.h"
#include "support/WorkingFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>

#include <algorithm>

Q_LOGGING_CATEGORY(lcSession, "vistrel.record.session")

namespace
{

// Longest wait after a Stop for a recording's first picture before the tool is asked to quit
// anyway.
constexpr int kFirstPictureWaitMs = 10000;
// A tool that has written no picture this long after its start is stopped (a hung tool, or a
// grab that never delivers): the page would say "Starting..." for ever.
constexpr int kFirstPictureLimitMs = 30000;
// A run asked to quit gets this long to close its file before it is terminated, then killed.
constexpr int kStopGraceMs = 10000;
// Longest wait at a stop for the tool to take the pictures a capture still hands over and end.
constexpr int kFeedWaitMs = 5000;

} // namespace

RecordingSession::RecordingSession(QObject* parent)
    : QObject(parent), m_run(new ToolRun(this)), m_finalizer(new RecordingFinalizer(this)),
      m_spaceTimer(new QTimer(this)), m_soundWatch(new SoundWatch(this)),
      m_sourceListing(new PulseListing(this))
{
    m_run->setStopGrace(kStopGraceMs);
    // Should the program die, the recording still gets its ending.
    m_run->setStopOnceIfOrphaned(true);
    connect(m_run, &ToolRun::readyRead, this, &RecordingSession::onRunOutput);
    connect(m_run, &ToolRun::finished, this, &RecordingSession::onRunFinished);
    connect(m_finalizer, &RecordingFinalizer::finished, this, &RecordingSession::onFinalized);
    m_spaceTimer->setInterval(200);
    connect(m_spaceTimer, &QTimer::timeout, this, &RecordingSession::checkSpace);
    connect(m_soundWatch, &SoundWatch::sourceRemoved, this, [this] {
        if (m_state == State::Starting || m_state == State::Live)
            m_sourceListing->start();
    });
    connect(m_sourceListing, &PulseListing::finished, this, &RecordingSession::checkSources);
}

RecordingSession::~RecordingSession()
{
    if (m_capture)
        m_capture->release();
}

void RecordingSession::setProgram(const QString& program)
{
    m_run->setProgram(program);
    m_finalizer->setProgram(program);
    m_sourceListing->setProgram(program);
}

void RecordingSession::setCapture(CaptureSource* capture)
{
    if (m_capture == capture)
        return;
    delete m_capture;
    m_capture = capture;
    if (!capture)
        return;
    capture->setParent(this);
    connect(capture, &CaptureSource::prepared, this, &RecordingSession::onPrepared);
    connect(capture, &CaptureSource::failed, this, &RecordingSession::onCaptureFailed);
    connect(capture, &CaptureSource::lost, this, &RecordingSession::onCaptureLost);
}

void RecordingSession::setSpaceCheckInterval(int ms)
{
    m_spaceTimer->setInterval(ms);
}

bool RecordingSession::isBusy() const
{
    return m_state != State::Idle || m_startWaiting;
}

qint64 RecordingSession::liveMs() const
{
    return m_liveSinceMs > 0 ? qint64(rsb_getTickCount()) - m_liveSinceMs : 0;
}

void RecordingSession::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    qCDebug(lcSession) << "state" << state;
    Q_EMIT stateChanged(state);
}

void RecordingSession::start(const QString& folder, const QStringList& audioSources,
                             const QDateTime& startTime)
{
    if (m_state == State::Starting || m_state == State::Live)
        return;
    m_folder = folder;
    m_audioSources = audioSources;
    m_startTime = startTime;
    if (m_state != State::Idle) {
        // The previous run would refuse the start while the page acts as if recording.
        qCInfo(lcSession) << "start waits for the previous recording to be finalised";
        m_startWaiting = true;
        return;
    }
    launch();
}

void RecordingSession::launch()
{
    m_startWaiting = false;
    m_stopAsked = false;
    m_ending = false;
    m_lowSpace = false;
    m_toolFailure.clear();
    m_soundFailed = false;
    m_liveSinceMs = 0;
    m_ranMs = 0;
    m_writtenSeconds = -1;
    setState(State::Starting);
    if (!m_capture) {
        endWith({RecordingOutcome::Kind::Failed, {}, QStringLiteral("Cannot record: no capture.")});
        return;
    }
    m_capture->prepare();
}

void RecordingSession::onPrepared()
{
    if (m_state != State::Starting || m_run->isRunning())
        return;
    if (m_folder.isEmpty() || !QDir().mkpath(m_folder)) {
        m_capture->release();
        const QString why = m_folder.isEmpty() ? QString() : FolderProblem(m_folder);
        endWith({RecordingOutcome::Kind::Failed,
                 {},
                 QStringLiteral("Cannot record: the folder %1 cannot be created%2.")
                     .arg(m_folder, why.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(why))});
        return;
    }
    if (GetFreeSpace(m_folder) < m_lowSpaceLimit) {
        // The space watch would stop it at once: a file of a few pictures at each Record.
        qCWarning(lcSession) << "less than" << m_lowSpaceLimit << "bytes free: not starting";
        m_capture->release();
        m_lowSpace = true;
        endWith({RecordingOutcome::Kind::StoppedLowSpace, {}, {}});
        return;
    }
    // The working file is made here and locked before the tool writes it: the lock (which the
    // tool inherits) tells another start that the file is no leftover, however young or old.
    QString error;
    m_workPath.clear();
    for (int attempt = 0; m_workPath.isEmpty() && attempt < 16; ++attempt) {
        const RecordingPaths paths = chooseRecordingPaths(m_folder, m_startTime);
        QFile work(paths.workPath);
        if (work.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            m_finalPath = paths.finalPath;
            m_workPath = paths.workPath;
        } else {
            error = work.errorString();
        }
    }
    if (m_workPath.isEmpty()) {
        m_capture->release();
        endWith({RecordingOutcome::Kind::Failed,
                 {},
                 QStringLiteral("Cannot record: the folder %1 cannot be written to (%2).")
                     .arg(m_folder, error)});
        return;
    }
    m_workLock.acquire(m_workPath, true);
    const double startSeconds = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    const QStringList args = recordArguments(
        m_capture->inputArguments(m_audioSources, startSeconds), int(m_audioSources.size()),
        m_capture->pictureFilter(), m_capture->feedsTool(), m_workPath);
    ++m_runSerial;
    qCInfo(lcSession).noquote() << "recording into" << m_finalPath;
    m_run->setExpectedOutput(QString());
    m_capture->beforeStart(*m_run);
    m_run->start(args);
    m_capture->started(m_run->isRunning());
    m_spaceTimer->start();
    if (!m_audioSources.isEmpty())
        m_soundWatch->start();
    const int serial = m_runSerial;
    QTimer::singleShot(kFirstPictureLimitMs, this, [this, serial] {
        if (serial != m_runSerial || m_state != State::Starting || !m_run->isRunning())
            return;
        noPicture(QStringLiteral(" in %1 s").arg(kFirstPictureLimitMs / 1000));
        stop();
    });
}

void RecordingSession::noPicture(const QString& when)
{
    if (!m_toolFailure.isEmpty())
        return;
    m_toolFailure = QStringLiteral("the media tool wrote no picture%1.").arg(when);
    qCWarning(lcSession).noquote() << "stopping:" << m_toolFailure;
}

void RecordingSession::onCaptureFailed(const QString& reason, bool canceled)
{
    if (m_state != State::Starting || m_run->isRunning())
        return;
    qCWarning(lcSession).noquote()
        << (canceled ? "capture declined:" : "capture failed:") << reason;
    m_capture->release();
    endWith({RecordingOutcome::Kind::Failed, {}, reason});
}

void RecordingSession::onCaptureLost(const QString& reason)
{
    if (!m_run->isRunning())
        return;
    qCWarning(lcSession).noquote() << "the picture went away:" << reason;
    m_toolFailure = reason;
    stop();
}

void RecordingSession::onRunOutput()
{
    for (const QString& line : m_run->takeLines()) {
        const ProgressRecord record = parseProgressRecord(line);
        if (record.valid && record.timeSeconds >= 0)
            m_writtenSeconds = record.timeSeconds;
        if (m_liveSinceMs == 0 && record.frame > 0) {
            // The clock shows the length of the file, not the tool's start-up.
            m_liveSinceMs = qMax<qint64>(1, rsb_getTickCount());
            if (m_state == State::Starting)
                setState(State::Live);
        }
        // The tool records on without the sound: a recording made for its sound is stopped
        // and the cause told, rather than found silent at the end.
        const QString failure = soundSourceFailure(line, m_audioSources);
        if (!failure.isEmpty() && !m_stopAsked && m_toolFailure.isEmpty()) {
            m_toolFailure = failure;
            m_soundFailed = true;
            qCWarning(lcSession).noquote() << "stopping:" << failure;
            m_sourceListing->start();
            stop();
        }
    }
    if (m_stopAsked && m_liveSinceMs > 0)
        endRun();
}

void RecordingSession::endRun()
{
    if (m_ending || !m_run->isRunning())
        return;
    m_ending = true;
    // The tool drops the pictures still on their way when it quits: a capture that feeds it
    // hands over those up to now and ends its input, with which the tool ends.
    if (m_capture && m_capture->finishFeeding()) {
        const int serial = m_runSerial;
        QTimer::singleShot(kFeedWaitMs, this, [this, serial] {
            if (serial != m_runSerial || !m_run->isRunning())
                return;
            qCWarning(lcSession) << "the tool did not end with its pictures; asking it to quit";
            m_run->quit();
        });
        return;
    }
    m_run->quit();
}

void RecordingSession::stop()
{
    m_startWaiting = false;
    if (m_state != State::Starting && m_state != State::Live)
        return;
    m_stopAsked = true;
    m_ranMs = liveMs();
    if (!m_run->isRunning()) {
        // Still readying the capture: nothing was recorded.
        m_capture->release();
        endWith({RecordingOutcome::Kind::Nothing, {}, {}});
        return;
    }
    setState(State::Stopping);
    if (m_liveSinceMs > 0) {
        endRun();
        return;
    }
    const int serial = m_runSerial;
    QTimer::singleShot(kFirstPictureWaitMs, this, [this, serial] {
        if (serial != m_runSerial || !m_run->isRunning())
            return;
        if (m_liveSinceMs == 0)
            noPicture({});
        m_run->quit();
    });
}

void RecordingSession::checkSpace()
{
    if (m_state != State::Starting && m_state != State::Live)
        return;
    // The folder the recording writes to, whatever the page shows meanwhile.
    const QString dir = QFileInfo(m_workPath).absolutePath();
    if (m_state == State::Live && !QFileInfo::exists(m_workPath)) {
        // Moved with its folder (renamed, or put in the bin): the recording goes on there.
        const QString moved = m_workLock.currentPath();
        if (!moved.isEmpty()) {
            qCInfo(lcSession).noquote() << "the recording's folder moved: now" << moved;
            m_finalPath = QFileInfo(moved).dir().filePath(QFileInfo(m_finalPath).fileName());
            m_workPath = moved;
            Q_EMIT folderMoved(QFileInfo(moved).absolutePath());
            return;
        }
        // The tool would go on writing into a file nobody can reach any more.
        m_toolFailure = QFileInfo::exists(dir)
                            ? QStringLiteral("its file in %1 was deleted.").arg(dir)
                            : QStringLiteral("the folder %1 was deleted.").arg(dir);
        qCWarning(lcSession).noquote() << "stopping:" << m_toolFailure;
        stop();
        return;
    }
    if (GetFreeSpace(dir) >= m_lowSpaceLimit)
        return;
    qCWarning(lcSession) << "less than" << m_lowSpaceLimit << "bytes free: stopping";
    m_lowSpace = true;
    stop();
}

void RecordingSession::checkSources(const QVector<PulseDevice>& sources)
{
    // A listing that failed (the server gone) says nothing: the tool tells of that itself.
    const auto gone = std::find_if(
        m_audioSources.cbegin(), m_audioSources.cend(), [&sources](const QString& wanted) {
            return std::none_of(sources.begin(), sources.end(),
                                [&wanted](const PulseDevice& d) { return d.name == wanted; });
        });
    if (sources.isEmpty() || gone == m_audioSources.cend() || m_state == State::Idle)
        return;
    const QString cause = QStringLiteral("the sound device %1 went away.").arg(*gone);
    // The tool may have told of the device first, in a library's words: the cause is this.
    if (m_soundFailed) {
        m_toolFailure = cause;
        return;
    }
    if ((m_state != State::Starting && m_state != State::Live) || m_stopAsked ||
        !m_toolFailure.isEmpty())
        return;
    m_toolFailure = cause;
    qCWarning(lcSession).noquote() << "stopping:" << m_toolFailure;
    stop();
}

void RecordingSession::onRunFinished(const ToolResult& result)
{
    m_spaceTimer->stop();
    m_soundWatch->stop();
    if (m_capture)
        m_capture->release();
    m_toolMissing = result.status == ToolResult::Status::FailedToStart;
    if (!m_stopAsked && m_toolFailure.isEmpty()) {
        m_toolFailure = describeToolResult(result);
        qCWarning(lcSession).noquote() << "the recording ended on its own:" << m_toolFailure;
    }
    qCInfo(lcSession) << "ran" << double(m_ranMs) / 1000.0
                      << "s from the first picture to the stop; the tool wrote" << m_writtenSeconds
                      << "s";
    m_liveSinceMs = 0;
    m_finalisingLeftover = false;
    setState(State::Finalising);
    m_finalizer->start(m_workPath, m_finalPath);
}

void RecordingSession::onFinalized(const FinalizeOutcome& outcome)
{
    using Kind = RecordingOutcome::Kind;
    const bool kept = outcome.kind == FinalizeOutcome::Kind::Finalised ||
                      outcome.kind == FinalizeOutcome::Kind::KeptAsIs;
    if (m_finalisingLeftover) {
        m_finalisingLeftover = false;
        m_workLock.release();
        setState(State::Idle);
        // Left under its working name (its folder refuses even a rename), it is not recovered:
        // told as at a Stop, and tried again at the next start.
        if (kept && outcome.finalPath == outcome.workPath)
            Q_EMIT ended({Kind::Failed, outcome.finalPath, outcome.reason});
        else if (kept)
            Q_EMIT ended({Kind::Recovered, outcome.finalPath, outcome.reason});
        next();
        return;
    }
    m_workPath.clear();
    m_workLock.release();
    RecordingOutcome result{Kind::Nothing, kept ? outcome.finalPath : QString(), outcome.reason};
    if (outcome.kind == FinalizeOutcome::Kind::Aborted) {
        result = {Kind::Failed, outcome.workPath,
                  QStringLiteral("The recording was not finalised; it is recovered at the next "
                                 "start.")};
    } else if (m_toolMissing) {
        result = {Kind::Failed, {}, QStringLiteral("Cannot record: ") + m_toolFailure};
    } else if (m_lowSpace) {
        result.kind = Kind::StoppedLowSpace;
        // Why a recording kept as it is could not be finalised (the disk, mostly).
        if (outcome.kind != FinalizeOutcome::Kind::KeptAsIs)
            result.reason.clear();
    } else if (!m_toolFailure.isEmpty()) {
        result.kind = Kind::StoppedByTool;
        result.reason = m_toolFailure;
    } else if (outcome.kind == FinalizeOutcome::Kind::Finalised) {
        result.kind = Kind::Saved;
        result.reason = fellBehindText(double(m_ranMs) / 1000.0, m_writtenSeconds);
    } else if (outcome.kind == FinalizeOutcome::Kind::KeptAsIs) {
        result.kind = Kind::Failed;
    }
    endWith(result);
}

void RecordingSession::endWith(const RecordingOutcome& outcome)
{
    m_spaceTimer->stop();
    m_soundWatch->stop();
    setState(State::Idle);
    Q_EMIT ended(outcome);
    next();
}

void RecordingSession::next()
{
    if (m_state != State::Idle)
        return;
    if (m_startWaiting) {
        launch();
        return;
    }
    while (!m_leftovers.isEmpty()) {
        const QString work = m_leftovers.takeFirst();
        if (!QFileInfo::exists(work))
            continue;
        if (!m_workLock.acquire(work)) {
            qCInfo(lcSession).noquote() << "leaving" << work << "alone: it is still being written";
            continue;
        }
        const QFileInfo info(work);
        m_finalisingLeftover = true;
        setState(State::Finalising);
        m_finalizer->start(work, info.dir().filePath(finalNameForWorkingFile(info.fileName())));
        return;
    }
}

void RecordingSession::recoverLeftovers(const QString& folder)
{
    // Copies a crash interrupted; their working files are still there and finalised anew.
    RemoveLeftovers(folder);
    for (const QString& path : leftoverWorkingFiles(folder)) {
        if (path != m_workPath && !m_leftovers.contains(path))
            m_leftovers.append(path);
    }
    if (!m_leftovers.isEmpty())
        qCInfo(lcSession).noquote()
            << "recovering" << m_leftovers.size() << "interrupted recordings in" << folder;
    next();
}

void RecordingSession::finish()
{
    m_leftovers.clear();
    stop();
}

void RecordingSession::abandon()
{
    m_leftovers.clear();
    m_startWaiting = false;
    if (m_finalizer->isRunning())
        m_finalizer->abort();
    if (m_run->isRunning())
        m_run->cancel();
}
