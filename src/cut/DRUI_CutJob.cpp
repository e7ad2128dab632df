// The Cut button: the span is checked, the output folder chosen, and the cut job run under the
// progress dialog.
#include "app/DRUI.h"
#include "app/JobLoop.h"
#include "app/UserFolders.h"
#include "cut/CutJob.h"
#include "cut/CutLogic.h"
#include "dialogs/MessageBox.h"
#include "dialogs/ScanUI.h"
#include "support/WorkingFile.h"

#include <QFileDialog>
#include <QLineEdit>

void DRUI::btnSlotLayout3Cut()
{
    // Checked before asking for a folder: such marks would only give an empty file.
    const QString problem = CutSpanProblem(m_n64StartTime, m_n64EndTime);
    if (!problem.isEmpty()) {
        CMessageBox::Inform(this, problem);
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
    // The list shows the folder as the cut left it, the file cut still chosen.
    // (A canceled job, also one the program's end canceled, leaves the folder as it was.)
    if (StartQProcessCut() != 2)
        RefreshCutList(m_pCutDirEdit->text());
}

int DRUI::StartQProcessCut()
{
    m_nCutError = 0;
    m_nCutProgress = 0;
    // Should the program crash meanwhile, its next start cleans up there.
    RememberWorkFolder(workJournalFile(), m_strCutOutDir);
    // The slider counts whole seconds: an end mark on its last one stands for the end of the
    // file, or the fraction of a second after it could never be kept.
    const qint64 end =
        m_n64Duration > 0 && m_n64EndTime == m_n64Duration ? m_n64EndTime + 1 : m_n64EndTime;
    const JobResult result =
        RunJob(*m_pCutJob, CutRequest{m_strCutSrcFile, m_n64StartTime, end, m_strCutOutDir});
    m_strCutOutFile = result.outputPath;
    m_nCutError = result.code();
    SCANUI::m_strReason = result.reason;
    Q_EMIT CutProcessCallBack(100, m_strCutSrcFile, m_strCutOutFile, m_nCutError);
    return m_nCutError;
}

void DRUI::ReadCutInfo()
{
    // The job reads its own run; a stop request is passed on as soon as the tool speaks.
    ForwardCancelRequest();
}
