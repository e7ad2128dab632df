// The Merge button: the output folder is chosen, the files checked, and the merge job run under
// the progress dialog.
#include "app/DRUI.h"
#include "app/JobLoop.h"
#include "app/UserFolders.h"
#include "dialogs/MessageBox.h"
#include "dialogs/ScanUI.h"
#include "merge/MergeCommands.h"
#include "merge/MergeJob.h"
#include "support/WorkingFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTableWidget>

void DRUI::btnSlotLayout4Merge()
{
    m_strMergeOutDir = QFileDialog::getExistingDirectory(this, QString(), m_strMergeOutDir,
                                                         QFileDialog::ShowDirsOnly);
    m_vecMergeFiles.clear();
    if (m_strMergeOutDir.isEmpty())
        return;
    StartMergeJob();
}

void DRUI::StartMergeJob()
{
    m_vecMergeFiles = MergeListFiles();
    if (m_vecMergeFiles.isEmpty())
        return;
    const QStringList inputs = MergeInputs();
    // The check is short (the files' streams are read, a few runs for up to 20 files): a wait
    // that ignores the user, like a probe's, under a busy cursor.
    QString refusal;
    bool checked = false;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QEventLoop loop;
    connect(m_pMergeJob, &MergeJob::checked, &loop, [&](const QString& text) {
        refusal = text;
        checked = true;
        loop.quit();
    });
    if (m_pMergeJob->check(MergeRequest{inputs, m_strMergeOutDir, QDateTime::currentDateTime()}) &&
        !checked)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    m_pMergeJob->disconnect(&loop);
    QGuiApplication::restoreOverrideCursor();
    if (!checked) {
        // Only the program's end stops the check early.
        m_pMergeJob->cancel();
        return;
    }
    if (!refusal.isEmpty()) {
        // A list of mismatches can be long: the box grows until all of it shows.
        CMessageBox::Inform(this, refusal);
        return;
    }
    m_bisFinished = false;
    SCANUI dlg;
    dlg.InitSlot(this);
    dlg.show();
    // The list shows the folder as the merge left it: the merged file, parts that changed.
    // (A canceled job, also one the program's end canceled, leaves the folder as it was.)
    if (StartQProcessMerge() != 2)
        RefreshMergeFolderList();
}

int DRUI::StartQProcessMerge()
{
    m_nMergeError = 0;
    m_nChangeTSError = 0;
    const QStringList inputs = MergeInputs();
    // Should the program crash meanwhile, its next start cleans up there.
    RememberWorkFolder(workJournalFile(), m_strMergeOutDir);
    const JobResult result =
        RunJob(*m_pMergeJob, MergeRequest{inputs, m_strMergeOutDir, QDateTime::currentDateTime()});
    m_strMergeOutFile = result.outputPath;
    m_nMergeError = result.code();
    SCANUI::m_strReason = result.reason;
    Q_EMIT AddProcessCallBack(100, m_strMergeOutFile, m_strMergeOutFile, m_nMergeError);
    return m_nMergeError;
}

void DRUI::ReadChange2TSInfo()
{
    // The job reads its own runs; a stop request is passed on as soon as the tool speaks.
    ForwardCancelRequest();
}

void DRUI::ReadMergeInfo()
{
    ForwardCancelRequest();
}

QStringList DRUI::MergeInputs() const
{
    // A row's own path where it has one; a bare name is in the directory box's folder.
    QStringList inputs;
    for (const QString& file : std::as_const(m_vecMergeFiles))
        inputs.append(QDir::isAbsolutePath(file) ? file
                                                 : mergeInputPath(m_pMergeDirEdit->text(), file));
    return inputs;
}
