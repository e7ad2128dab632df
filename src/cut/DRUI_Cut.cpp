// The cut page: the folder's file list, the choice of a file, the slider and the two marks.
#include "app/DRUI.h"
#include "app/PageChrome.h"
#include "cut/CutLogic.h"
#include "dialogs/MessageBox.h"
#include "dialogs/Style.h"
#include "library/FolderScan.h"
#include "library/MediaProbe.h"
#include "media/ToolRun.h"
#include "support/Helpers.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStackedLayout>
#include <QTableWidget>
#include <QVBoxLayout>

namespace
{

const QString kSliderStyle = QStringLiteral(
    "QSlider::groove:horizontal{border: 1px solid #4A708B; background: #C0C0C0; height: 5px; "
    "border-radius: 1px; padding-left: -1px; padding-right: -1px;}"
    "QSlider::sub-page:horizontal{background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
    "stop:0 #B1B1B1, stop:1 #c4c4c4); background: qlineargradient(x1:0, y1:0.2, x2:1, y2:1, "
    "stop:0 #5DCCFF, stop:1 #1874CD); border: 1px solid #4A708B; height: 10px; "
    "border-radius: 2px;}"
    "QSlider::add-page:horizontal{background: #575757; border: 0px solid #777; height: 10px; "
    "border-radius: 2px;}"
    "QSlider::handle:horizontal{background: qradialgradient(spread:pad, cx:0.5, cy:0.5, "
    "radius:0.5, fx:0.5, fy:0.5, stop:0.6 #45ADED, stop:0.778409 rgba(255, 255, 255, 255)); "
    "width: 11px; margin-top: -3px; margin-bottom: -3px; border-radius: 5px;}"
    "QSlider::handle:horizontal:hover{background: qradialgradient(spread:pad, cx:0.5, cy:0.5, "
    "radius:0.5, fx:0.5, fy:0.5, stop:0.6 #2A8BDA, stop:0.778409 rgba(255, 255, 255, 255)); "
    "width: 11px; margin-top: -3px; margin-bottom: -3px; border-radius: 5px;}"
    "QSlider::sub-page:horizontal:disabled{background: #00009C; border-color: #999;}"
    "QSlider::add-page:horizontal:disabled{background: #eee; border-color: #999;}"
    "QSlider::handle:horizontal:disabled{background: #eee; border: 1px solid #aaa; "
    "border-radius: 4px;}");

const QString kHelpText =
    QStringLiteral("\n\n\n\n\n\t\t1.Select the video in the list on the left\n\n\t\t2.Move the "
                   "slider to set \"Start\" and \"End\"\n\n\t\t3.Select \"Cut\" to save the cut "
                   "video.");

QString timeText(qint64 seconds)
{
    return QString::fromStdString(GetTimeStringA(seconds));
}

QPushButton* barButton(const QString& text, const QRect& geometry, QWidget* bar)
{
    QPushButton* button = CreateGreyButton(text, 12, true, bar);
    button->setGeometry(geometry);
    return button;
}

QLabel* markLabel(const QRect& geometry, QWidget* bar)
{
    auto* label = new QLabel(QStringLiteral("00:00"), bar);
    label->setGeometry(geometry);
    label->setFont(CalibriFont(12, true));
    SetTextColor(label, Qt::white);
    return label;
}

} // namespace

void DRUI::InitLayout3Widget()
{
    delete m_pLayout3Widget;
    m_pLayout3Widget = new QWidget(this);
    const int w = width();
    const int q = w / 4;

    QVBoxLayout* header =
        CreatePageHeader(this, QStringLiteral("background-color: rgb(51, 52, 55);"));

    auto* dirHolder = new QLabel;
    dirHolder->setStyleSheet(QStringLiteral("background-color: rgb(191, 191, 191);"));
    dirHolder->setMinimumSize(200, 25);
    m_pCutDirEdit = new QLineEdit(dirHolder);
    m_pCutDirEdit->setGeometry(0, 0, 220, 25);
    m_pCutDirEdit->setStyleSheet(QStringLiteral("border: 2px groove white;"));
    m_pCutDirEdit->setFont(CalibriFont(12, true));
    if (m_pRecordDirEdit)
        m_pCutDirEdit->setText(m_pRecordDirEdit->text());
    m_pCutDirEdit->setCursorPosition(1);
    auto* dirButton = new QPushButton(dirHolder);
    dirButton->setGeometry(230, 0, 30, 25);
    dirButton->setIcon(QIcon(QStringLiteral(":/image/folder.png")));
    SetToolTip(dirButton, QStringLiteral("Choose folder"));
    connect(dirButton, &QPushButton::clicked, this, &DRUI::btnSlotLayout3Dir);
    auto* dirRow = new QHBoxLayout;
    dirRow->addWidget(dirHolder);
    dirRow->addSpacing(w - 300);
    dirRow->setContentsMargins(20, 0, 20, 0);

    m_pCutVideoTable = CreateCutVideoTable();
    m_pCutHelpLabel = new QLabel(kHelpText);
    m_pCutHelpLabel->setMinimumSize(w - 300, 300);
    m_pCutHelpLabel->setAlignment(Qt::AlignLeft);
    m_pCutHelpLabel->setFont(CalibriFont(17));
    SetTextColor(m_pCutHelpLabel, Qt::white);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(m_pCutVideoTable);
    listRow->addSpacing(10);
    listRow->addWidget(m_pCutHelpLabel);
    listRow->setContentsMargins(20, 0, 20, 0);

    m_pSlider = new QSlider(Qt::Horizontal);
    m_pSlider->setStyleSheet(kSliderStyle);
    // The position is where the handle is, however it got there: dragged, clicked or keyed.
    connect(m_pSlider, &QSlider::valueChanged, this, &DRUI::current);
    m_pTimeLabel = new QLabel;
    m_pTimeLabel->setFont(CalibriFont(12, true));
    SetTextColor(m_pTimeLabel, Qt::white);
    auto* sliderRow = new QHBoxLayout;
    sliderRow->addWidget(m_pSlider);
    sliderRow->addWidget(m_pTimeLabel);
    sliderRow->setContentsMargins(20, 0, 20, 0);

    auto* bar = new QLabel;
    bar->setMinimumSize(w, 40);
    QPushButton* back = barButton(QStringLiteral("Back"), QRect(50, 2, 70, 25), bar);
    connect(back, &QPushButton::clicked, this, &DRUI::btnSlotBack);
    m_pStartButton = barButton(QStringLiteral("Start"), QRect(q + 80, 2, 80, 25), bar);
    connect(m_pStartButton, &QPushButton::clicked, this, &DRUI::btnSetHead);
    m_pStartLabel = markLabel(QRect(q + 170, 2, 100, 25), bar);
    m_pEndButton = barButton(QStringLiteral("End"), QRect(q + 280, 2, 90, 25), bar);
    connect(m_pEndButton, &QPushButton::clicked, this, &DRUI::btnSetTail);
    m_pEndLabel = markLabel(QRect(q + 380, 2, 100, 25), bar);
    m_pCutButton = barButton(QStringLiteral("Cut"), QRect(q + 480, 2, 70, 25), bar);
    m_pCutButton->setIcon(QIcon(QStringLiteral(":/image/cut.png")));
    connect(m_pCutButton, &QPushButton::clicked, this, &DRUI::btnSlotLayout3Cut);
    m_pStartButton->setEnabled(false);
    m_pEndButton->setEnabled(false);
    m_pCutButton->setEnabled(false);

    auto* page = new QVBoxLayout;
    page->addLayout(header);
    page->addLayout(dirRow);
    page->addLayout(listRow);
    page->addLayout(sliderRow);
    page->addWidget(bar);
    page->addWidget(CreatePageFooter(w));
    page->setContentsMargins(0, 0, 0, 0);
    m_pLayout3Widget->setLayout(page);
}

QTableWidget* DRUI::CreateCutVideoTable()
{
    auto* table = new QTableWidget(0, 1);
    table->setHorizontalHeaderLabels({QString()});
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft);
    table->verticalHeader()->setVisible(false);
    // The one column is as wide as the list; a long name is elided in its middle (the date and
    // ".mp4" stay) with the whole name as its tooltip, never wrapped or scrolled out of view.
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table->setTextElideMode(Qt::ElideMiddle);
    table->setWordWrap(false);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setMinimumSize(200, 100);
    // The face in the style sheet, so that the header has it as well: under the window's style
    // sheet a font set on the list does not reach it.
    table->setStyleSheet(QStringLiteral("* { font: 12pt \"Calibri\"; }") + tooltip_style);
    connect(table, &QTableWidget::itemClicked, this, &DRUI::CutTableItemClick);
    connect(table, &QTableWidget::itemDoubleClicked, this, &DRUI::CutTableItemDoubleClick);
    return table;
}

void DRUI::RefreshCutList(const QString& folder)
{
    const QVector<_FILE_INFO_> files = ScanFolderNewestFirst(folder);
    m_pCutVideoTable->setRowCount(0);
    const QIcon icon(QStringLiteral(":/image/mp4.png"));
    for (const _FILE_INFO_& file : files) {
        auto* item = new QTableWidgetItem(icon, FileNameOf(file));
        item->setToolTip(item->text());
        item->setForeground(QColor(255, 255, 255, 255));
        const int row = m_pCutVideoTable->rowCount();
        m_pCutVideoTable->insertRow(row);
        m_pCutVideoTable->setItem(row, 0, item);
    }
    // The file chosen stays chosen, and shown so, while its folder is listed; in another
    // folder's list nothing is chosen, and nothing can be cut until a file is.
    if (m_strCutSrcFile.isEmpty())
        return;
    const QFileInfo chosen(m_strCutSrcFile);
    const QList<QTableWidgetItem*> same =
        chosen.absolutePath() == QDir(folder).absolutePath()
            ? m_pCutVideoTable->findItems(chosen.fileName(), Qt::MatchExactly)
            : QList<QTableWidgetItem*>();
    if (!same.isEmpty()) {
        m_pCutVideoTable->setCurrentItem(same.first());
        return;
    }
    m_strCutSrcFile.clear();
    m_n64Duration = 0;
    m_pSlider->setRange(0, 0);
    m_pTimeLabel->clear();
    m_pStartLabel->setText(QStringLiteral("00:00"));
    m_pEndLabel->setText(QStringLiteral("00:00"));
    m_pStartButton->setEnabled(false);
    m_pEndButton->setEnabled(false);
    m_pCutButton->setEnabled(false);
}

void DRUI::btnMontageSlot()
{
    RefreshCutList(m_pCutDirEdit->text());
    m_pStackedLayout->setCurrentIndex(2);
}

void DRUI::btnSlotLayout3Dir()
{
    const QString folder =
        QFileDialog::getExistingDirectory(this, QString(), QString(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return;
    m_pCutDirEdit->setText(folder);
    RefreshCutList(folder);
    // The merge page is not ready for a new choice until its own list is refilled.
    if (m_pAddButton)
        m_pAddButton->setEnabled(false);
}

void DRUI::CutDirFocusOut()
{
    if (!m_pCutDirEdit->text().isEmpty())
        RefreshCutList(m_pCutDirEdit->text());
    if (m_pAddButton)
        m_pAddButton->setEnabled(false);
}

void DRUI::CutTableItemClick(QTableWidgetItem*)
{
    const QList<QTableWidgetItem*> selected = m_pCutVideoTable->selectedItems();
    if (selected.isEmpty()) {
        m_pCutButton->setEnabled(false);
        return;
    }
    m_strCutSrcFile = m_pCutDirEdit->text() + QLatin1Char('/') + selected.first()->text();
    qCDebug(lcCut) << m_strCutSrcFile;
    m_pStartButton->setEnabled(true);
    m_pEndButton->setEnabled(false);

    // The window takes no input while the file is described: a busy pointer says why.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const QString probed = GetVedioTimeSeconds(m_strCutSrcFile);
    QGuiApplication::restoreOverrideCursor();
    const qint64 seconds = ProbeTextToSeconds(probed);
    const bool known = seconds >= 0;
    m_n64Duration = known ? seconds : 0;
    m_pSlider->setRange(0, int(m_n64Duration));
    m_pSlider->setValue(0);
    m_strCurrentPos = QStringLiteral("0");
    m_pTimeLabel->setText(timeText(0) + QLatin1Char('/') +
                          (known ? probed : QStringLiteral("unknown")));
    m_pStartLabel->setText(QStringLiteral("00:00"));
    m_pEndLabel->setText(QStringLiteral("00:00"));
    m_pCutButton->setEnabled(false);

    if (!known) {
        // Without a length there is nothing to set marks in: a cut of it could only fail.
        m_pStartButton->setEnabled(false);
        qCWarning(lcCut) << "no duration for" << m_strCutSrcFile << "- probe said" << probed;
        // A tool that could not be started, hung or crashed said nothing about the file: its
        // own failure is the cause.
        const ToolResult probe = m_pDeviceProcess->lastResult();
        const QFileInfo file(m_strCutSrcFile);
        const bool aboutFile = toolSpokeOf(m_strDeviceText, file.absoluteFilePath());
        CMessageBox::Inform(
            this, probe.status == ToolResult::Status::FailedToStart || !aboutFile
                      ? QStringLiteral("The file was not checked: ") + describeToolResult(probe)
                  : !file.isReadable()
                      ? QStringLiteral("The file cannot be read: you have no permission to.")
                      : QStringLiteral("The file could not be read. It may be damaged."));
    }
}

void DRUI::CutTableItemDoubleClick(QTableWidgetItem*) {}

void DRUI::current(int position)
{
    qCDebug(lcCut) << position;
    m_pSlider->setValue(position);
    m_strCurrentPos = QString::number(position);
    m_pTimeLabel->setText(timeText(position) + QLatin1Char('/') + timeText(m_n64Duration));
}

void DRUI::btnSetHead()
{
    m_n64StartTime = DecimalTextToSeconds(m_strCurrentPos);
    m_pStartLabel->setText(timeText(m_n64StartTime));
    m_pEndButton->setEnabled(true);
}

void DRUI::btnSetTail()
{
    m_n64EndTime = DecimalTextToSeconds(m_strCurrentPos);
    m_pEndLabel->setText(timeText(m_n64EndTime));
    m_pCutButton->setEnabled(true);
}
