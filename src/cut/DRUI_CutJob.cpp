// The cut job: one stream-copy run of the tool into a hidden file, renamed into place on success.
#include "app/DRUI.h"
#include "cut/CutLogic.h"
#include "dialogs/MessageBox.h"
#include "dialogs/ScanUI.h"
#include "support/Helpers.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTimer>

namespace
{

// How often a waiting cut looks at the stop request, for tools that print nothing for a while.
constexpr int kCancelPollMs = 100;

// Creates an empty working file for `finalPath` that did not exist before (so it is ours to
// overwrite and remove) and returns its path; empty when the folder cannot take it.
QString reserveWorkingFile(const QString& finalPath)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString token =
            QString::number(QRandomGenerator::global()->generate() & 0xffffff, 36);
        const QString path = CutWorkingPath(finalPath, token);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return path;
        if (!QFileInfo::exists(path)) {
            qCWarning(lcCut).noquote()
                << "cannot write in the output folder:" << path << "-" << file.errorString();
            return {};
        }
    }
    return {};
}

// Moves the finished working file to the first free name from `wanted` on and returns that
// name; empty when it cannot be moved. QFile::rename never replaces an existing file, so a
// file that appeared meanwhile under the name only moves the cut on to the next free one.
QString moveIntoPlace(const QString& workPath, const QString& wanted)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString target = GetRealFileName(wanted);
        QFile work(workPath);
        if (work.rename(target))
            return target;
        if (!QFileInfo::exists(target)) {
            qCWarning(lcCut).noquote()
                << "cannot move" << workPath << "to" << target << "-" << work.errorString();
            return {};
        }
    }
    return {};
}

} // namespace

void DRUI::btnSlotLayout3Cut()
{
    // Checked before asking for a folder: such marks would only give an empty file.
    const QString problem = CutSpanProblem(m_n64StartTime, m_n64EndTime);
    if (!problem.isEmpty()) {
        CMessageBox box;
        box.PlaceOver(this);
        box.InitInfoDialog(problem);
        box.exec();
        return;
    }
    m_strCutOutDir = QFileDialog::getExistingDirectory(this, QString(), m_strCutOutDir,
                                                       QFileDialog::ShowDirsOnly);
    if (m_strCutOutDir.isEmpty())
        return;
    m_bisFinished = false;
    SCANUI dlg;
    dlg.InitSlot(this);
    dlg.setGeometry(x() + width() / 4, y() + height() / 4, 500, 250);
    dlg.show();
    StartQProcessCut();
}

int DRUI::StartQProcessCut()
{
    m_nCutError = 0;
    m_nCutProgress = 0;
    m_strCutOutFile = GetRealFileName(CutOutputPath(m_strCutOutDir, m_strCutSrcFile));
    m_strCutWorkFile.clear();

    int result = 1;
    const QString problem = CutSpanProblem(m_n64StartTime, m_n64EndTime);
    if (!problem.isEmpty()) {
        qCWarning(lcCut).noquote() << "not cut:" << problem;
    } else if (m_bisFinished) {
        result = 2;
    } else {
        m_strCutWorkFile = reserveWorkingFile(m_strCutOutFile);
    }

    if (!m_strCutWorkFile.isEmpty()) {
        m_cCutTracker.reset(double(m_n64EndTime - m_n64StartTime));
        m_pCutProcess->setExpectedOutput(m_strCutWorkFile);
        // An absolute path starts with "/", so the tool never takes a "name:" prefix for a
        // protocol.
        const QStringList args =
            CutArguments(QFileInfo(m_strCutSrcFile).absoluteFilePath(), m_n64StartTime,
                         m_n64EndTime, QFileInfo(m_strCutWorkFile).absoluteFilePath());
        ToolResult verdict;
        if (m_pCutProcess->start(args)) {
            QTimer poll;
            connect(&poll, &QTimer::timeout, this, [this] {
                if (m_bisFinished && m_pCutProcess->isRunning()) {
                    m_nCutError = 2;
                    m_pCutProcess->cancel();
                }
            });
            poll.start(kCancelPollMs);
            // A live loop: the progress dialog repaints and its Cancel can be pressed.
            verdict = m_pCutProcess->wait();
        } else {
            verdict.status = ToolResult::Status::FailedToStart;
        }

        if (m_nCutError == 2 || verdict.status == ToolResult::Status::Canceled) {
            result = 2;
        } else if (!verdict.ok()) {
            qCWarning(lcCut).noquote() << "cut failed:" << describeToolResult(verdict);
            result = 1;
        } else {
            const QString placed = moveIntoPlace(m_strCutWorkFile, m_strCutOutFile);
            result = placed.isEmpty() ? 1 : 0;
            if (!placed.isEmpty())
                m_strCutOutFile = placed;
        }
        if (result != 0)
            QFile::remove(m_strCutWorkFile);
    }

    m_nCutError = result;
    m_strCutWorkFile.clear();
    Q_EMIT CutProcessCallBack(100, m_strCutSrcFile, m_strCutOutFile, result);
    return result;
}

void DRUI::ReadCutInfo()
{
    for (const QString& line : m_pCutProcess->takeLines()) {
        if (line.contains(QLatin1String("Invalid data")) && m_nCutError == 0)
            m_nCutError = 1;
        if (!IsCutProgressLine(line))
            continue;
        const double seconds = parseToolLine(line).timeSeconds;
        if (seconds < 0)
            continue;
        m_nCutProgress = m_cCutTracker.update(seconds);
        Q_EMIT CutProcessCallBack(m_nCutProgress, m_strCutSrcFile, m_strCutOutFile, 0);
    }
    if (m_bisFinished && m_pCutProcess->isRunning()) {
        m_nCutError = 2;
        m_pCutProcess->cancel();
    }
}
