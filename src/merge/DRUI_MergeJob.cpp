// The merge job: checks the queued files, converts each into a transport stream in a private
// folder, joins those and moves the result into place.
#include "app/DRUI.h"
#include "dialogs/MessageBox.h"
#include "dialogs/ScanUI.h"
#include "library/ProbeCache.h"
#include "merge/MergeCommands.h"
#include "support/Helpers.h"

#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

Q_LOGGING_CATEGORY(lcMerge, "vistrel.merge")

namespace
{

const QString kJoinedName = QStringLiteral("joined.mp4");

// Waits for `run` with a live event loop, so the progress dialog repaints and its Cancel
// works. The cancel request is also looked at on a timer: the tool can stay silent for a long
// while, and the readers only see the request when it prints.
ToolResult waitCancelable(ToolRun* run)
{
    QTimer poll;
    poll.setInterval(100);
    QObject::connect(&poll, &QTimer::timeout, run, [run] {
        if (DRUI::m_bisFinished)
            run->cancel();
    });
    poll.start();
    return run->wait();
}

// A list of mismatches can be longer than the box's few lines: the box then grows downwards
// until its whole text shows (within the screen), so no mismatch is hidden.
void showInfo(QWidget* owner, const QString& text)
{
    CMessageBox box;
    box.InitInfoDialog(text);
    if (QLabel* label = box.m_pMessageLabel) {
        const int need = label->heightForWidth(label->minimumWidth());
        if (need > label->minimumHeight()) {
            // A line more than the text for the spacings of the box's layouts.
            int height =
                box.height() + need - label->minimumHeight() + label->fontMetrics().lineSpacing();
            if (const QScreen* screen = owner->screen())
                height = std::min(height, screen->availableGeometry().height() - 100);
            label->setMinimumHeight(need);
            box.setFixedSize(box.width(), height);
        }
    }
    box.PlaceOver(owner);
    box.exec();
}

// A tool progress record ("frame=..." or, for sound only, "size=...") and its time=.
double progressSeconds(const QString& line)
{
    if (!line.startsWith(QLatin1String("frame=")) && !line.startsWith(QLatin1String("size=")))
        return -1;
    return parseToolLine(line).timeSeconds;
}

} // namespace

void DRUI::btnSlotLayout4Merge()
{
    m_strMergeOutDir = QFileDialog::getExistingDirectory(this, QString(), m_strMergeOutDir,
                                                         QFileDialog::ShowDirsOnly);
    m_vecMergeFiles.clear();
    if (m_strMergeOutDir.isEmpty())
        return;
    StartMergeJob();
}

int DRUI::StartMergeJob()
{
    m_vecMergeFiles.clear();
    for (int row = 0; row < m_pTargetVideoTable->rowCount(); ++row) {
        const QTableWidgetItem* cell = m_pTargetVideoTable->item(row, 0);
        m_vecMergeFiles.append(cell ? cell->text() : QString());
    }
    if (m_vecMergeFiles.isEmpty())
        return 1;
    const QString problem = CheckMergeInputs();
    if (!problem.isEmpty()) {
        qCWarning(lcMerge).noquote() << "merge refused:" << problem;
        showInfo(this, problem);
        return 1;
    }
    m_bisFinished = false;
    SCANUI dlg;
    dlg.InitSlot(this);
    dlg.show();
    return StartQProcessMerge();
}

QString DRUI::CheckMergeInputs()
{
    m_vecMergeFacts.clear();
    const QString folder = m_pMergeDirEdit->text();
    const QStringList names(m_vecMergeFiles.begin(), m_vecMergeFiles.end());
    QStringList paths;
    QStringList missing;
    for (const QString& name : names) {
        paths.append(mergeInputPath(folder, name));
        if (!QFileInfo(paths.last()).isFile() && !missing.contains(name))
            missing.append(name);
    }
    if (!missing.isEmpty())
        return QStringLiteral("Merge failed, these files are no longer in the video directory:\n") +
               missing.join(QLatin1Char('\n'));
    const QFileInfo outDir(m_strMergeOutDir);
    if (m_strMergeOutDir.isEmpty() || !outDir.isDir() || !outDir.isWritable())
        return QStringLiteral("Merge failed, the folder %1 cannot be written to.")
            .arg(m_strMergeOutDir);

    // Files the folder list has described since they last changed need no run of their own.
    if (!m_pProbeCache)
        m_pProbeCache = new ProbeCache;
    QVector<MediaFacts> facts(paths.size());
    QVector<FileStamp> stamps;
    QStringList unknown;
    QVector<qsizetype> unknownAt;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        stamps.append(fileStampOf(paths.at(i)));
        if (const MediaFacts* known = m_pProbeCache->find(paths.at(i), stamps.last())) {
            facts[i] = *known;
        } else {
            unknown.append(paths.at(i));
            unknownAt.append(i);
        }
    }

    // One run describes many inputs, but the tool stops at the first one it cannot open: that
    // one is marked unreadable and the rest are described by a further run.
    QVector<MediaFacts> described;
    while (described.size() < unknown.size()) {
        m_strDeviceText.clear();
        m_pDeviceProcess->setExpectedOutput(QString());
        const ToolResult result = m_pDeviceProcess->run(
            describeArguments(unknown.mid(described.size())), QEventLoop::ExcludeUserInputEvents);
        if (result.status == ToolResult::Status::FailedToStart)
            return QStringLiteral("Merge failed. ") + describeToolResult(result);
        described += parseInputDescriptions(m_strDeviceText);
        if (described.size() < unknown.size())
            described.append(MediaFacts());
    }
    for (qsizetype k = 0; k < unknown.size(); ++k) {
        const qsizetype i = unknownAt.at(k);
        facts[i] = described.at(k);
        m_pProbeCache->insert(paths.at(i), stamps.at(i), facts.at(i));
    }

    const QString refusal = mergeRefusal(names, facts);
    if (refusal.isEmpty())
        m_vecMergeFacts = facts;
    return refusal;
}

int DRUI::StartQProcessMerge()
{
    m_nMergeError = 0;
    m_strMergeOutFile = mergeOutputPath(m_strMergeOutDir, QDateTime::currentDateTime());
    const QString output = m_strMergeOutFile;
    const auto finish = [this](int result) {
        m_nMergeError = result;
        Q_EMIT AddProcessCallBack(100, m_strMergeOutFile, m_strMergeOutFile, result);
        return result;
    };

    const int count = int(m_vecMergeFiles.size());
    if (count == 0 || m_strMergeOutDir.isEmpty())
        return finish(1);
    if (m_vecMergeFacts.size() != count) {
        const QString problem = CheckMergeInputs();
        if (!problem.isEmpty()) {
            qCWarning(lcMerge).noquote() << "merge refused:" << problem;
            return finish(1);
        }
    }

    // The transport streams and the joined file live in a private folder beside the output
    // (same file system, so the final rename is a move); it goes in every outcome, and no
    // file of the user's in the output folder is ever touched.
    QTemporaryDir work(mergeInputPath(m_strMergeOutDir, QStringLiteral(".vistrel-merge-XXXXXX")));
    if (!work.isValid()) {
        qCWarning(lcMerge) << "cannot make a working folder in" << m_strMergeOutDir << ":"
                           << work.errorString();
        return finish(1);
    }

    QVector<double> durations;
    for (const MediaFacts& facts : std::as_const(m_vecMergeFacts))
        durations.append(facts.durationSeconds);
    m_cMergeProgress.start(durations);

    const QString folder = m_pMergeDirEdit->text();
    QStringList tsNames;
    int result = 0;
    for (int i = 0; i < count && result == 0; ++i) {
        if (m_bisFinished) {
            result = 2;
            break;
        }
        m_nMergeIndex = i;
        tsNames.append(mergeTsName(i + 1));
        const QString input =
            QFileInfo(mergeInputPath(folder, m_vecMergeFiles.at(i))).absoluteFilePath();
        result = ChangeToTS(work.filePath(tsNames.last()), input, output);
        if (result == 0)
            m_cMergeProgress.conversionDone(i);
    }

    if (result == 0 && !m_bisFinished) {
        const MediaFacts& first = m_vecMergeFacts.first();
        const bool aac = first.hasAudio && first.audioCodec == QLatin1String("aac");
        m_pMergeProcess->setWorkingDirectory(work.path());
        m_pMergeProcess->setExpectedOutput(work.filePath(kJoinedName));
        m_pMergeProcess->setFailureMarkers(
            {QStringLiteral("Invalid data"), QStringLiteral("No such file")});
        Q_EMIT AddProcessCallBack(m_cMergeProgress.percent(), output, output, 0);
        if (!m_pMergeProcess->start(joinArguments(tsNames, kJoinedName, aac))) {
            result = 1;
        } else {
            const ToolResult joined = waitCancelable(m_pMergeProcess);
            if (joined.status == ToolResult::Status::Canceled) {
                result = 2;
            } else if (!joined.ok()) {
                qCWarning(lcMerge).noquote() << "join failed:" << describeToolResult(joined);
                result = 1;
            }
        }
    }
    // A cancel confirmed while the last run was ending still means "no output".
    if (result == 0 && m_bisFinished)
        result = 2;

    if (result == 0) {
        QString target = m_strMergeOutFile;
        if (QFileInfo::exists(target))
            target = GetRealFileName(target);
        if (QFile::rename(work.filePath(kJoinedName), target)) {
            m_strMergeOutFile = target;
        } else {
            qCWarning(lcMerge) << "cannot move the joined file to" << target;
            result = 1;
        }
    }
    work.remove();
    qCInfo(lcMerge) << "merge of" << count << "files into" << m_strMergeOutFile << "ended with"
                    << result;
    return finish(result);
}

int DRUI::ChangeToTS(const QString& tsPath, const QString& inputPath, const QString& outputPath)
{
    m_nChangeTSError = 0;
    m_strMergeCurrentFile = inputPath;
    m_strMergeOutFile = outputPath;
    const bool h264 = m_nMergeIndex >= 0 && m_nMergeIndex < m_vecMergeFacts.size() &&
                      m_vecMergeFacts.at(m_nMergeIndex).videoCodec == QLatin1String("h264");

    m_pChangeTSProcess->setExpectedOutput(tsPath);
    m_pChangeTSProcess->setFailureMarkers({QStringLiteral("Invalid data")});
    Q_EMIT AddProcessCallBack(m_cMergeProgress.percent(), inputPath, outputPath, 0);
    if (!m_pChangeTSProcess->start(changeToTsArguments(inputPath, tsPath, h264))) {
        m_nChangeTSError = 1;
        return m_nChangeTSError;
    }
    const ToolResult result = waitCancelable(m_pChangeTSProcess);
    if (result.status == ToolResult::Status::Canceled) {
        m_nChangeTSError = 2;
    } else if (!result.ok()) {
        qCWarning(lcMerge).noquote()
            << "conversion of" << inputPath << "failed:" << describeToolResult(result);
        m_nChangeTSError = 1;
    }
    return m_nChangeTSError;
}

void DRUI::ReadChange2TSInfo()
{
    for (const QString& line : m_pChangeTSProcess->takeLines()) {
        const double seconds = progressSeconds(line);
        if (seconds >= 0)
            Q_EMIT AddProcessCallBack(m_cMergeProgress.conversion(m_nMergeIndex, seconds),
                                      m_strMergeCurrentFile, m_strMergeOutFile, 0);
    }
    if (m_bisFinished) {
        m_nChangeTSError = 2;
        m_pChangeTSProcess->cancel();
    }
}

void DRUI::ReadMergeInfo()
{
    for (const QString& line : m_pMergeProcess->takeLines()) {
        const double seconds = progressSeconds(line);
        if (seconds >= 0)
            Q_EMIT AddProcessCallBack(m_cMergeProgress.join(seconds), m_strMergeOutFile,
                                      m_strMergeOutFile, 0);
    }
    if (m_bisFinished) {
        m_nMergeError = 2;
        m_pMergeProcess->cancel();
    }
}
