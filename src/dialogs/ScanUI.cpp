// The progress dialog that accompanies a cut or merge job.
#include "dialogs/ScanUI.h"

#include "app/DRUI.h"
#include "dialogs/JobText.h"
#include "dialogs/Style.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

Q_LOGGING_CATEGORY(lcDialogs, "vistrel.dialogs")

namespace
{

// The progress lines with each path elided in its middle to the room its line leaves, so the
// start of the folder and the file name at the end both stay in view.
QString fittedProgressText(const QList<JobProgressLine>& lines, const QLabel& label)
{
    const QFontMetrics metrics = label.fontMetrics();
    const int width = label.contentsRect().width();
    QStringList fitted;
    for (const JobProgressLine& line : lines) {
        fitted.append(line.words +
                      metrics.elidedText(line.path, Qt::ElideMiddle,
                                         width - metrics.horizontalAdvance(line.words)));
    }
    return fitted.join(QLatin1Char('\n'));
}

} // namespace

int SCANUI::m_nOprType = 0;
bool SCANUI::m_bIsFinished = false;
QProgressBar* SCANUI::m_progressBar = nullptr;
int SCANUI::m_nError = 0;
QString SCANUI::m_strReason;

SCANUI::SCANUI(QWidget*, Qt::WindowFlags) : QDialog(nullptr)
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("Dialog"));
    resize(426, 300);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(QStringLiteral("Vistrel"));
    // Jobs wait with a live event loop: without modality the window could start a second job
    // or close under this one.
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(500, 250);
    resize(500, 250);
    // A failure of the previous job must not be taken for this job's.
    m_nError = 0;
    m_strReason.clear();
    InitDialog();
}

SCANUI::~SCANUI()
{
    if (m_progressBar && m_progressBar->window() == this)
        m_progressBar = nullptr;
}

QLabel* SCANUI::createTitleBar()
{
    const int w = width();
    auto* titleBar = new QLabel;
    titleBar->setMinimumSize(w, 70);
    titleBar->setStyleSheet(QStringLiteral("background-color: rgb(28, 28, 28);"));
    auto* logo = new QLabel(titleBar);
    logo->setGeometry(15, 6, 30, 50);
    logo->setPixmap(QPixmap(QStringLiteral(":/image/logo.png"))
                        .scaled(30, 50, Qt::KeepAspectRatio, Qt::FastTransformation));
    logo->setAlignment(Qt::AlignLeft);
    auto* title = new QLabel(QStringLiteral("Vistrel"), titleBar);
    title->setGeometry(65, 12, 200, 30);
    title->setFont(CalibriFont(13));
    SetTextColor(title, Qt::white);
    title->setAlignment(Qt::AlignLeft);
    auto* closeButton = new QPushButton(titleBar);
    closeButton->setGeometry(w - 30, 0, 30, 30);
    closeButton->setIcon(QIcon(QPixmap(QStringLiteral(":/image/close.png"))));
    closeButton->setCursor(Qt::PointingHandCursor);
    SetToolTip(closeButton, QStringLiteral("Close"));
    connect(closeButton, &QPushButton::clicked, this, &SCANUI::btnSlot);
    return titleBar;
}

void SCANUI::InitDialog()
{
    m_bIsFinished = false;
    const int w = width();
    const QFont font = CalibriFont(11);

    QLabel* titleBar = createTitleBar();
    auto* titleLayout = new QHBoxLayout;
    titleLayout->addWidget(titleBar);
    titleLayout->setSpacing(0);
    titleLayout->setContentsMargins(0, 0, 0, 0);

    m_progressBar = new QProgressBar;
    m_progressBar->setRange(0, 100);
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(false);

    m_pInfoLabel = new QLabel;
    m_pInfoLabel->setMinimumSize(w - 60, 80);
    SetTextColor(m_pInfoLabel, QColor(0, 0, 0, 255));
    m_pInfoLabel->setFont(font);

    auto* buttonRow = new QLabel;
    buttonRow->setMinimumSize(w - 60, 40);
    QPushButton* cancel = CreateGreyButton(QStringLiteral("Cancel"), 11, false, buttonRow);
    cancel->setGeometry((w - 10) / 2 - 40, 5, 80, 25);
    connect(cancel, &QPushButton::clicked, this, &SCANUI::btnSlot);

    auto* body = new QVBoxLayout;
    body->addWidget(m_progressBar);
    body->addStretch(2);
    body->addWidget(m_pInfoLabel);
    body->addWidget(buttonRow);
    body->setContentsMargins(5, 0, 5, 0);

    auto* whole = new QVBoxLayout;
    whole->addLayout(titleLayout);
    whole->addStretch(2);
    whole->addLayout(body);
    whole->setContentsMargins(0, 0, 0, 0);
    setLayout(whole);
    // The progress text is fitted to the label's width, so the label has it from the start.
    whole->activate();
}

void SCANUI::InitSlot(DRUI* window)
{
    m_pMainUI = window;
    connect(window, &DRUI::AddProcessCallBack, this, &SCANUI::AddProcessCallBackSlot);
    connect(window, &DRUI::CutProcessCallBack, this, &SCANUI::CutProcessCallBackSlot);
    // A cancel question open when the job ends has nothing left to ask about.
    connect(window, &DRUI::JobEnded, this, [this] {
        if (m_bAsking)
            m_cancelBox.Close();
    });
}

void SCANUI::btnSlot()
{
    close();
}

void SCANUI::reject()
{
    close();
}

void SCANUI::CutProcessCallBackSlot(int percent, QString current, QString destination, int error)
{
    report(int(JobKind::Cut), percent, current, destination, error);
}

void SCANUI::AddProcessCallBackSlot(int percent, QString current, QString destination, int error)
{
    report(int(JobKind::Merge), percent, current, destination, error);
}

void SCANUI::report(int type, int percent, const QString& current, const QString& destination,
                    int error)
{
    // The job reports its end once; anything after it would tell the outcome twice.
    if (m_bFinal)
        return;
    m_nOprType = type;
    if (!m_bUserCanceled)
        m_progressBar->setValue(percent);
    m_strDestination = destination;
    m_pInfoLabel->setText(fittedProgressText(
        jobProgressLines(JobKind(type), percent, current, destination), *m_pInfoLabel));
    m_pInfoLabel->setToolTip(jobProgressText(JobKind(type), percent, current, destination));
    m_nError = error;
    if (percent == 100)
        m_bIsFinished = true;
    if (percent != 100 && error == 0)
        return;

    m_bFinal = true;
    if (m_bAsking) {
        // The question's own close handler goes on with the outcome.
        m_cancelBox.Close();
    } else if (isVisible()) {
        close();
    } else {
        showOutcome();
    }
}

void SCANUI::showOutcome()
{
    // A canceled job was asked to stop, by the user (who has seen the dialog go) or by the
    // program's end: telling that it "failed" would be wrong.
    if (m_nError == 2)
        return;
    qCDebug(lcDialogs) << "job ended with result" << m_nError;
    CMessageBox box;
    box.PlaceOver(this);
    QString text = jobOutcomeText(jobKindFromType(m_nOprType), m_nError, m_strDestination);
    if (m_nError == 1 && !m_strReason.isEmpty())
        text = m_strReason;
    else if (m_nError == 0 && !m_strReason.isEmpty())
        text += QLatin1Char('\n') + m_strReason;
    box.InitInfoDialog(text);
    // The job is over: its dialog goes before the outcome is told, not behind the box.
    hide();
    box.exec();
}

void SCANUI::paintEvent(QPaintEvent*) {}

void SCANUI::closeEvent(QCloseEvent* event)
{
    if (m_bFinal) {
        event->accept();
        showOutcome();
        return;
    }
    if (m_bAsking) {
        event->ignore();
        return;
    }
    // A job already asked to stop, by the user or by the program's end, goes without a question:
    // a refused close would also hold up the program's end.
    if (m_bUserCanceled || DRUI::m_bisFinished) {
        event->accept();
        return;
    }

    m_bAsking = true;
    m_cancelBox.PlaceOver(this);
    m_cancelBox.InitQuestionDialog(jobCancelQuestion(jobKindFromType(m_nOprType)));
    m_cancelBox.m_nRet = 0;
    m_cancelBox.exec();
    m_bAsking = false;

    if (m_bFinal) {
        // The job ended while the question was open: its outcome is the answer.
        event->accept();
        showOutcome();
    } else if (m_cancelBox.GetMessageBoxRet() == 1 || DRUI::m_bisFinished) {
        m_bUserCanceled = true;
        DRUI::m_bisFinished = true;
        m_progressBar->setValue(0);
        event->accept();
    } else {
        event->ignore();
    }
}
