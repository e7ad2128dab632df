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
    // Parent and flags are not used: the dialog has no parent.
    explicit SCANUI(QWidget* parent = nullptr, Qt::WindowFlags f = {});

    // Connects the window's job progress signals to this dialog.
    void InitSlot(DRUI* window);

    static int m_nOprType;              // 1 merge, 2 cut
    static bool m_bIsFinished;          // a report of 100 has arrived
    static QProgressBar* m_progressBar; // the bar of the current dialog
    static int m_nError;                // result of the last report

public Q_SLOTS:
    void btnSlot();
    void CutProcessCallBackSlot(int percent, QString current, QString destination, int error);
    void AddProcessCallBackSlot(int percent, QString current, QString destination, int error);

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

public:
    QLabel* m_pInfoLabel = nullptr;
    DRUI* m_pMainUI = nullptr;
    QString m_strDestination;
    CMessageBox m_cancelBox;
};
