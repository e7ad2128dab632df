// One run of the media tool: start, read, wait with a live event loop, stop, verdict.
#include "media/ToolRun.h"

#include "media/OutputCheck.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTimer>

#include <csignal>
#include <sys/prctl.h>

Q_LOGGING_CATEGORY(lcMedia, "vistrel.media")

namespace
{

constexpr int kTailLines = 200;

bool readsAsError(const QString& line)
{
    static const QRegularExpression re(
        QStringLiteral("error|invalid|no such|cannot|can't|failed|denied|unable|not found|"
                       "no space|refused|could not|not supported"),
        QRegularExpression::CaseInsensitiveOption);
    return !parseProgressRecord(line).valid && re.match(line).hasMatch();
}

// How much a cause weighs when a run names several: what the user can do something about
// first (a full disk), then what is wrong with the input.
int weight(FailureCause cause)
{
    switch (cause) {
    case FailureCause::DiskFull:
    case FailureCause::NotWritable:
        return 5;
    case FailureCause::ToolStopped:
        return 4;
    case FailureCause::InputDamaged:
        return 3;
    case FailureCause::InputMissing:
        return 2;
    case FailureCause::InputFormat:
        return 1;
    default:
        return 0;
    }
}

} // namespace

QString describeToolResult(const ToolResult& result)
{
    QString text;
    switch (result.status) {
    case ToolResult::Status::Succeeded:
        return QStringLiteral("The media tool finished successfully.");
    case ToolResult::Status::FailedToStart:
        text = QStringLiteral("The media tool could not be started (missing or not executable).");
        break;
    case ToolResult::Status::Crashed:
        text = QStringLiteral("The media tool crashed.");
        break;
    case ToolResult::Status::ExitCode:
        text = QStringLiteral("The media tool failed (exit code %1).").arg(result.exitCode);
        break;
    case ToolResult::Status::Marker:
        text = QStringLiteral("The media tool could not read its input.");
        break;
    case ToolResult::Status::NoOutput:
        text = QStringLiteral("The media tool wrote no usable output.");
        break;
    case ToolResult::Status::TimedOut:
        text = QStringLiteral("The media tool did not answer in time and was stopped.");
        break;
    case ToolResult::Status::Canceled:
        return QStringLiteral("Canceled.");
    }
    if (!result.lastErrorLine.isEmpty())
        text += QLatin1Char(' ') + result.lastErrorLine;
    return text;
}

ToolRun::ToolRun(QObject* parent)
    : QObject(parent), m_limitTimer(new QTimer(this)), m_stopTimer(new QTimer(this)),
      m_program(defaultProgram())
{
    m_limitTimer->setSingleShot(true);
    m_stopTimer->setSingleShot(true);
    connect(m_limitTimer, &QTimer::timeout, this, [this] {
        if (!m_running)
            return;
        qCWarning(lcMedia) << "media tool outlived its time limit; killing pid" << processId();
        m_timedOut = true;
        m_process->kill();
    });
    connect(m_stopTimer, &QTimer::timeout, this, &ToolRun::escalate);
}

ToolRun::~ToolRun()
{
    if (m_running && m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(2000);
    }
    endOwnerWatch();
}

QString ToolRun::defaultProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/tool");
}

bool ToolRun::isRunning() const
{
    return m_running;
}

qint64 ToolRun::processId() const
{
    return m_process ? m_process->processId() : 0;
}

bool ToolRun::start(const QStringList& args)
{
    if (m_running) {
        qCWarning(lcMedia) << "refused to start the media tool: the previous run is still going";
        return false;
    }
    if (m_process) {
        m_process->disconnect(this);
        m_process->deleteLater();
    }
    m_assembler = LineAssembler();
    m_pending.clear();
    m_tail.clear();
    m_canceled = m_timedOut = m_markerSeen = m_emptyOutputSaid = false;
    m_stopStage = 0;
    m_lastErrorLine.clear();
    m_lineCause = FailureCause::None;
    m_causeLine.clear();
    m_result = ToolResult();

    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setProgram(m_program);
    // A tool outliving a killed program would go on recording (or writing) unseen: the
    // watcher, or else the parent-death signal, lets it close its output as after "q".
    const bool watched = m_stopOnceIfOrphaned && startOwnerWatch();
    m_process->setChildProcessModifier([setup = m_childSetup, watched] {
        if (!watched)
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (setup)
            setup();
    });
    m_process->setArguments(args);
    if (!m_workingDir.isEmpty())
        m_process->setWorkingDirectory(m_workingDir);
    connect(m_process, &QProcess::errorOccurred, this, &ToolRun::onErrorOccurred);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &ToolRun::onReadyRead);
    connect(m_process, &QProcess::finished, this, &ToolRun::onFinished);

    // The line can be pasted into a shell as it stands, so a working directory goes first.
    const QString command = shellQuoted(m_program, args);
    if (m_workingDir.isEmpty())
        qCDebug(lcMedia).noquote() << "run:" << command;
    else
        qCDebug(lcMedia).noquote() << "run: cd" << shellQuoted(m_workingDir, {}) << "&&" << command;
    m_running = true;
    m_starting = true;
    m_process->start(QIODevice::ReadWrite);
    m_starting = false;
    if (watched) {
        // Written at once: a program killed before its event loop ran again would otherwise
        // leave the watcher without the tool's number, and the tool without a stop.
        if (m_process->processId() > 0 &&
            m_ownerWatch->write(QByteArray::number(m_process->processId()) + '\n') > 0 &&
            m_ownerWatch->waitForBytesWritten(1000))
            qCDebug(lcMedia) << "watching for this program's end: pid" << m_ownerWatch->processId();
        else
            endOwnerWatch(); // the tool did not start, or (never seen) it runs unwatched
    }
    if (m_timeLimitMs > 0)
        m_limitTimer->start(m_timeLimitMs);
    return true;
}

ToolResult ToolRun::wait(QEventLoop::ProcessEventsFlags flags)
{
    if (!m_running)
        return m_result;
    QEventLoop loop;
    connect(this, &ToolRun::finished, &loop, &QEventLoop::quit);
    loop.exec(flags);
    if (m_running) {
        // Only the application's quit ends this loop early. The run must not be taken for
        // finished (its caller would keep a file the tool is still writing): stop it and wait
        // here, where a quitting application still delivers events.
        qCWarning(lcMedia) << "application quits during a run; stopping pid" << processId();
        cancel();
        while (m_running)
            QCoreApplication::processEvents(flags | QEventLoop::WaitForMoreEvents);
    }
    return m_result;
}

ToolResult ToolRun::run(const QStringList& args, QEventLoop::ProcessEventsFlags flags)
{
    if (!start(args)) {
        ToolResult busy;
        busy.status = ToolResult::Status::FailedToStart;
        busy.lastErrorLine = QStringLiteral("The previous run is still going.");
        return busy;
    }
    return wait(flags);
}

void ToolRun::quit()
{
    // A handler may ask for the stop while the last output of an ended tool is delivered.
    if (!m_running || !m_process || m_process->state() == QProcess::NotRunning)
        return;
    m_process->write("q\r\n");
    if (m_stopStage == 0) {
        m_stopStage = 1;
        m_stopTimer->start(m_stopGraceMs);
    }
}

void ToolRun::cancel()
{
    if (!m_running)
        return;
    m_canceled = true;
    quit();
}

void ToolRun::escalate()
{
    if (!m_running || !m_process)
        return;
    if (m_stopStage == 1) {
        qCWarning(lcMedia) << "media tool ignored q; terminating pid" << processId();
        m_stopStage = 2;
        m_process->terminate();
        m_stopTimer->start(m_stopGraceMs);
    } else {
        qCWarning(lcMedia) << "media tool ignored terminate; killing pid" << processId();
        m_process->kill();
    }
}

QStringList ToolRun::takeLines()
{
    QStringList lines;
    lines.swap(m_pending);
    return lines;
}

void ToolRun::onReadyRead()
{
    const QStringList lines = m_assembler.feed(m_process->readAllStandardOutput());
    if (lines.isEmpty())
        return;
    consume(lines);
    Q_EMIT readyRead();
}

void ToolRun::consume(const QStringList& lines)
{
    for (const QString& line : lines) {
        const QString previous = m_tail.isEmpty() ? QString() : m_tail.last();
        m_pending.append(line);
        m_tail.append(line);
        bool marked = false;
        for (const QString& marker : std::as_const(m_failureMarkers))
            marked = marked || line.contains(marker);
        m_markerSeen = m_markerSeen || marked;
        if (line.contains(QLatin1String("Output file is empty")))
            m_emptyOutputSaid = true;
        if (readsAsError(line) && !line.startsWith(QLatin1String("Conversion failed")))
            m_lastErrorLine = tellingErrorLine(previous, line);
        FailureCause cause = causeOfLine(line);
        // Damage counts where the caller says it does: a join's seams read as corrupt packets.
        if (cause == FailureCause::InputDamaged && !marked)
            cause = FailureCause::None;
        if (weight(cause) > weight(m_lineCause)) {
            m_lineCause = cause;
            m_causeLine = line.trimmed();
        }
    }
    if (m_tail.size() > kTailLines)
        m_tail.erase(m_tail.begin(), m_tail.begin() + (m_tail.size() - kTailLines));
}

void ToolRun::onErrorOccurred(QProcess::ProcessError error)
{
    // Qt reports a crash here and again through finished(); only a failed start ends here.
    if (error != QProcess::FailedToStart || !m_running)
        return;
    ToolResult result;
    result.status = ToolResult::Status::FailedToStart;
    result.cause = FailureCause::ToolMissing;
    result.lastErrorLine = m_process->errorString();
    if (!m_starting) {
        conclude(result);
        return;
    }
    // QProcess refuses some starts inside start(); the caller has not had start()'s answer yet.
    QMetaObject::invokeMethod(
        this,
        [this, result] {
            if (m_running)
                conclude(result);
        },
        Qt::QueuedConnection);
}

void ToolRun::onFinished(int exitCode, QProcess::ExitStatus status)
{
    if (!m_running)
        return;
    QStringList lines = m_assembler.feed(m_process->readAllStandardOutput());
    const QString rest = m_assembler.flush().trimmed();
    if (!rest.isEmpty())
        lines.append(rest);
    if (!lines.isEmpty()) {
        consume(lines);
        Q_EMIT readyRead();
    }

    ToolResult result;
    result.exitCode = exitCode;
    if (m_canceled) {
        result.status = ToolResult::Status::Canceled;
    } else if (m_timedOut) {
        result.status = ToolResult::Status::TimedOut;
    } else if (status == QProcess::CrashExit) {
        result.status = ToolResult::Status::Crashed;
    } else if (exitCode != 0) {
        result.status = ToolResult::Status::ExitCode;
    } else if (m_markerSeen) {
        result.status = ToolResult::Status::Marker;
    } else if (!m_expectedOutput.isEmpty() &&
               (m_emptyOutputSaid || !outputHasStreams(m_expectedOutput))) {
        // Exit code 0 is not enough: for "-t 0", a negative "-t" or a "q" before its inputs
        // were open the tool exits 0 and leaves an MP4 without any track.
        result.status = ToolResult::Status::NoOutput;
    }
    if (result.status != ToolResult::Status::Succeeded &&
        result.status != ToolResult::Status::Canceled) {
        result.lastErrorLine = m_lastErrorLine;
        result.cause = causeOf(result);
        if (result.cause == m_lineCause)
            result.causeLine = m_causeLine;
    }
    conclude(result);
}

FailureCause ToolRun::causeOf(const ToolResult& result) const
{
    if (result.status == ToolResult::Status::Crashed) {
        // A signal the tool did not ask for: SIGKILL and SIGTERM come from outside (a user's
        // kill, the system out of memory), the others from a fault of its own.
        return result.exitCode == SIGKILL || result.exitCode == SIGTERM ? FailureCause::ToolStopped
                                                                        : FailureCause::ToolCrashed;
    }
    if (m_lineCause != FailureCause::None)
        return m_lineCause;
    return result.status == ToolResult::Status::Marker ? FailureCause::InputFormat
                                                       : FailureCause::Other;
}

bool ToolRun::startOwnerWatch()
{
    endOwnerWatch();
    m_ownerWatch = new QProcess(this);
    m_ownerWatch->setProgram(QStringLiteral("/bin/sh"));
    // The first line names the tool. The end of the pipe, which only this program's end brings
    // while the run goes (a finished run ends the watcher first), stops the tool, once.
    m_ownerWatch->setArguments(
        {QStringLiteral("-c"),
         QStringLiteral("read -r tool || exit 0; while read -r _; do :; done; "
                        "kill -TERM \"$tool\" 2>/dev/null")});
    m_ownerWatch->setStandardOutputFile(QProcess::nullDevice());
    m_ownerWatch->setStandardErrorFile(QProcess::nullDevice());
    m_ownerWatch->start(QIODevice::WriteOnly);
    if (m_ownerWatch->waitForStarted(2000))
        return true;
    qCWarning(lcMedia) << "cannot watch for this program's end:" << m_ownerWatch->errorString();
    endOwnerWatch();
    return false;
}

void ToolRun::endOwnerWatch()
{
    if (!m_ownerWatch)
        return;
    // Killed, not left to read the end of its pipe: the tool it names has ended.
    m_ownerWatch->kill();
    m_ownerWatch->waitForFinished(1000);
    delete m_ownerWatch;
    m_ownerWatch = nullptr;
}

void ToolRun::conclude(ToolResult result)
{
    endOwnerWatch();
    m_running = false;
    m_limitTimer->stop();
    m_stopTimer->stop();
    m_result = result;
    qCDebug(lcMedia).noquote() << "verdict:" << describeToolResult(result) << "exit code"
                               << result.exitCode;
    Q_EMIT finished(m_result);
}
