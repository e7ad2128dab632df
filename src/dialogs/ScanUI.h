// The progress dialog that accompanies a cut or merge job.
#pragma once

#include "dialogs/MessageBox.h"

#include <QDialog>

class DRUI;
class QLabel;
class QProgressBar;

class SCANUI : public QDialog
{
    Q_OBJECT
public:
    // Parent and flags are not used: the dialog has no parent. It is application-modal, so a
    // caller only shows it and the window cannot start a second job or close under it.
    explicit SCANUI(QWidget* parent = nullptr, Qt::WindowFlags f = {});
    ~SCANUI() override;

    // Connects the window's job progress signals to this dialog.
    void InitSlot(DRUI* window);

    static int m_nOprType;              // 1 merge, 2 cut; kept from the previous job until a report
    static bool m_bIsFinished;          // a report of 100 has arrived
    static QProgressBar* m_progressBar; // the bar of the current dialog
    static int m_nError;                // result of the last report
    static QString m_strReason;         // the job's own words on its end, set before its final
                                        // report: why it failed (empty: the format text), or a
                                        // note after its success

public Q_SLOTS:
    // Cancel button and close button: asks before a running job is abandoned.
    void btnSlot();
    // One report of the cut job: percent (100 = ended), file, destination, result (0, 1, 2).
    void CutProcessCallBackSlot(int percent, QString current, QString destination, int error);
    // One report of the merge job, as above.
    void AddProcessCallBackSlot(int percent, QString current, QString destination, int error);

protected:
    void paintEvent(QPaintEvent* event) override;
    // A final report closes at once and tells the outcome; otherwise the user is asked.
    void closeEvent(QCloseEvent* event) override;
    // Escape goes through the same question as the Cancel button.
    void reject() override;

public:
    QLabel* m_pInfoLabel = nullptr;
    DRUI* m_pMainUI = nullptr;
    QString m_strDestination;
    CMessageBox m_cancelBox;

private:
    void InitDialog();
    // The dark strip with the logo, the name and the close button.
    QLabel* createTitleBar();
    void report(int type, int percent, const QString& current, const QString& destination,
                int error);
    // Shows the outcome of the job in an information box, unless the user canceled it.
    void showOutcome();

    bool m_bFinal = false;        // the job's final report has arrived
    bool m_bAsking = false;       // the cancel question is open
    bool m_bUserCanceled = false; // the user confirmed the cancel; the dialog is closed
};
