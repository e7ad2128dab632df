// The merge page: the folder list, the ordered merge list of at most 20 files and its buttons.
#include "app/DRUI.h"
#include "app/PageChrome.h"
#include "dialogs/MessageBox.h"
#include "dialogs/Style.h"
#include "library/BatchProbe.h"
#include "library/FolderScan.h"
#include "library/ProbeCache.h"
#include "media/ToolRun.h"
#include "merge/MergeCommands.h"
#include "merge/MergeJob.h"
#include "support/Helpers.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedLayout>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace
{

constexpr int kMaxMergeFiles = 20;

QPushButton* listButton(const QString& icon, const QString& tip)
{
    QPushButton* button = CreateGreyButton(QString(), 11, true);
    button->setFlat(false);
    button->setIcon(QIcon(icon));
    SetToolTip(button, tip);
    button->setMinimumSize(60, 25);
    button->setEnabled(false);
    return button;
}

QPushButton* barButton(const QString& text, const QRect& geometry, QWidget* bar)
{
    QPushButton* button = CreateGreyButton(text, 11, true, bar);
    button->setGeometry(geometry);
    return button;
}

QTableWidget* videoTable()
{
    auto* table = new QTableWidget(0, 3);
    table->setHorizontalHeaderLabels(
        {QStringLiteral("FileName"), QStringLiteral("Size"), QStringLiteral("Time")});
    QHeaderView* header = table->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft);
    // Size and Time keep the width of their texts and the name takes the rest, elided in its
    // middle (the date and ".mp4" stay): however long the names, no column leaves the view.
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    table->setTextElideMode(Qt::ElideMiddle);
    table->setWordWrap(false);
    table->verticalHeader()->setVisible(false);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setMinimumSize(200, 180);
    // The face in the style sheet too: a font set on the list reaches neither its header nor,
    // set before the sheet, the list itself.
    table->setStyleSheet(
        QStringLiteral("* { background-color: rgb(191, 191, 191); font: 11pt \"Calibri\"; }") +
        tooltip_style);
    return table;
}

// The merge list's name cells hold the file's full path here.
constexpr int kPathRole = Qt::UserRole;

void fillRow(QTableWidget* table, int row, const QStringList& texts)
{
    auto* name = new QTableWidgetItem(QIcon(QStringLiteral(":/image/mp4.png")), texts.value(0));
    name->setToolTip(texts.value(0));
    table->setItem(row, 0, name);
    table->setItem(row, 1, new QTableWidgetItem(texts.value(1)));
    table->setItem(row, 2, new QTableWidgetItem(texts.value(2)));
}

// Moves the selected row's texts to `to`, and the selection with them; the items (and the
// icon of the name cell) stay where they are.
void moveSelectedTexts(QTableWidget* table, int to, const QList<QTableWidgetItem*>& cells)
{
    for (QTableWidgetItem* cell : cells) {
        const int column = cell->column();
        QTableWidgetItem* other = table->item(to, column);
        if (!other)
            continue;
        const QString text = cell->text();
        const QString tip = cell->toolTip();
        const QVariant path = cell->data(kPathRole);
        cell->setText(other->text());
        cell->setToolTip(other->toolTip());
        cell->setData(kPathRole, other->data(kPathRole));
        other->setText(text);
        other->setToolTip(tip);
        other->setData(kPathRole, path);
        cell->setSelected(false);
        other->setSelected(true);
    }
    table->selectionModel()->setCurrentIndex(table->model()->index(to, 0),
                                             QItemSelectionModel::NoUpdate);
}

} // namespace

void DRUI::InitLayout4Widget()
{
    delete m_pLayout4Widget;
    m_pLayout4Widget = new QWidget(this);
    const int w = width();
    const QFont bold = CalibriFont(11, true);

    QVBoxLayout* header = CreatePageHeader(this);

    auto* dirBand = new QLabel;
    dirBand->setStyleSheet(QStringLiteral("background-color: rgb(191, 191, 191);"));
    dirBand->setMinimumSize(300, 25);
    auto* dirLabel = new QLabel(QStringLiteral("Video directory: "), dirBand);
    dirLabel->setGeometry(10, 0, 100, 25);
    dirLabel->setFont(bold);
    m_pMergeDirEdit = new QLineEdit(dirBand);
    m_pMergeDirEdit->setGeometry(120, 0, 240, 25);
    m_pMergeDirEdit->setStyleSheet(QStringLiteral("border: 2px groove white;"));
    m_pMergeDirEdit->setFont(bold);
    if (m_pRecordDirEdit)
        m_pMergeDirEdit->setText(m_pRecordDirEdit->text());
    m_pMergeDirEdit->setCursorPosition(1);
    auto* dirButton = new QPushButton(dirBand);
    dirButton->setGeometry(383, 0, 30, 25);
    dirButton->setIcon(QIcon(QStringLiteral(":/image/folder.png")));
    SetToolTip(dirButton, QStringLiteral("Choose folder"));
    connect(dirButton, &QPushButton::clicked, this, &DRUI::btnSlotLayout4Dir);
    auto* dirRow = new QHBoxLayout;
    dirRow->addWidget(dirBand);
    dirRow->addSpacing(w - 450);
    dirRow->setContentsMargins(20, 0, 20, 0);

    m_pAddButton =
        listButton(QStringLiteral(":/image/add.png"), QStringLiteral("Add to the merge list"));
    m_pUpButton = listButton(QStringLiteral(":/image/up.png"), QStringLiteral("Move up"));
    m_pDownButton = listButton(QStringLiteral(":/image/down.png"), QStringLiteral("Move down"));
    m_pDelButton = listButton(QStringLiteral(":/image/delete.png"),
                              QStringLiteral("Remove from the merge list"));
    connect(m_pAddButton, &QPushButton::clicked, this, &DRUI::btnAddSlot);
    connect(m_pUpButton, &QPushButton::clicked, this, &DRUI::btnUpSlot);
    connect(m_pDownButton, &QPushButton::clicked, this, &DRUI::btnDownSlot);
    connect(m_pDelButton, &QPushButton::clicked, this, &DRUI::btnDelSlot);

    auto* addColumn = new QVBoxLayout;
    addColumn->addStretch(5);
    addColumn->addWidget(m_pAddButton);
    addColumn->addStretch(5);
    auto* moveColumn = new QVBoxLayout;
    moveColumn->addStretch(5);
    moveColumn->addWidget(m_pUpButton);
    moveColumn->addSpacing(10);
    moveColumn->addWidget(m_pDownButton);
    moveColumn->addSpacing(10);
    moveColumn->addWidget(m_pDelButton);
    moveColumn->addStretch(5);

    auto* listRow = new QHBoxLayout;
    listRow->addWidget(CreateSourceVideoTable());
    listRow->addSpacing(4);
    listRow->addLayout(addColumn);
    listRow->addSpacing(4);
    listRow->addWidget(CreateTargetVideoTable());
    listRow->addSpacing(4);
    listRow->addLayout(moveColumn);
    listRow->setContentsMargins(20, 0, 20, 0);

    auto* bar = new QLabel;
    bar->setMinimumSize(w, 40);
    QPushButton* back = barButton(QStringLiteral("Back"), QRect(20, 2, 100, 35), bar);
    connect(back, &QPushButton::clicked, this, &DRUI::btnSlotBack);
    m_pMergeButton = barButton(QStringLiteral("Merge"), QRect(w - 180, 2, 100, 35), bar);
    connect(m_pMergeButton, &QPushButton::clicked, this, &DRUI::btnSlotLayout4Merge);
    m_pMergeButton->setEnabled(false);

    auto* bottom = new QVBoxLayout;
    bottom->addWidget(bar);
    bottom->addWidget(CreatePageFooter(w));
    bottom->setContentsMargins(0, 0, 0, 0);

    auto* page = new QVBoxLayout;
    page->addLayout(header);
    page->addSpacing(3);
    page->addLayout(dirRow);
    page->addSpacing(2);
    page->addLayout(listRow);
    page->addSpacing(4);
    page->addLayout(bottom);
    page->setSpacing(0);
    page->setContentsMargins(0, 0, 0, 0);
    m_pLayout4Widget->setLayout(page);
}

QTableWidget* DRUI::CreateSourceVideoTable()
{
    m_pSourceVideoTable = videoTable();
    connect(m_pSourceVideoTable, &QTableWidget::itemClicked, this, &DRUI::SourceTableItemClick);
    connect(m_pSourceVideoTable, &QTableWidget::itemDoubleClicked, this,
            &DRUI::SourceTableItemDoubleClick);
    return m_pSourceVideoTable;
}

QTableWidget* DRUI::CreateTargetVideoTable()
{
    m_pTargetVideoTable = videoTable();
    connect(m_pTargetVideoTable, &QTableWidget::itemClicked, this, &DRUI::TargetTableItemClick);
    return m_pTargetVideoTable;
}

void DRUI::RefreshMergeFolderList()
{
    if (!m_pMergeProber) {
        m_pMergeProber = new BatchProbe(this);
        // The list shows durations only; the merge's check describes its files in full.
        m_pMergeProber->setDepth(DescribeDepth::Duration);
        connect(m_pMergeProber, &BatchProbe::described, this,
                [this](const QString& path, const FileStamp& stamp, const MediaFacts& facts) {
                    // Nothing is learnt of a file the tool could not even be started for.
                    if (m_pMergeProber->startFailure().isEmpty())
                        m_pMergeJob->probeCache().insert(path, stamp, facts);
                    OnMergeFileDescribed(path, facts);
                });
        connect(m_pMergeProber, &BatchProbe::finished, this, &DRUI::ShowMergeTimes);
        connect(m_pMergeProber, &BatchProbe::finished, m_pSourceVideoTable->viewport(),
                &QWidget::unsetCursor);
        // Without the tool no duration can be shown; the user is told why, once a listing.
        connect(
            m_pMergeProber, &BatchProbe::finished, this,
            [this] {
                if (m_pMergeProber->startFailure().isEmpty())
                    return;
                CMessageBox::Inform(this, QStringLiteral("The videos were not checked: ") +
                                              m_pMergeProber->startFailure());
            },
            Qt::QueuedConnection);
    }
    // Whatever program the one-file probe runs (tests point it at the real tool or a fake).
    m_pMergeProber->setProgram(m_pDeviceProcess ? m_pDeviceProcess->program()
                                                : ToolRun::defaultProgram());

    const QString folder = m_pMergeDirEdit->text();
    const QVector<_FILE_INFO_> files = ScanFolderNewestFirst(folder);
    m_strMergeListedFolder = QDir(folder).absolutePath();

    // Every row at once, with the durations already known; the rest come from a few runs
    // that describe many files each, while the window stays usable.
    QStringList unknown;
    m_pSourceVideoTable->setRowCount(0);
    m_pSourceVideoTable->setRowCount(int(files.size()));
    m_mergeListedRows.clear();
    m_mergeNewTimes.clear();
    for (int row = 0; row < files.size(); ++row) {
        const QString name = FileNameOf(files.at(row));
        m_mergeListedRows.insert(name, row);
        const QString path = QDir(m_strMergeListedFolder).filePath(name);
        const MediaFacts* known = m_pMergeJob->probeCache().find(path, fileStampOf(path));
        if (!known)
            unknown.append(path);
        fillRow(m_pSourceVideoTable, row,
                {name, QString::fromStdString(GetFileSizeString(files.at(row).n64FileSize)),
                 known ? known->durationText : QString()});
    }
    // The list stays usable while its durations come; the pointer over it says they are coming.
    if (unknown.isEmpty()) {
        m_pMergeProber->cancel();
        m_pSourceVideoTable->viewport()->unsetCursor();
    } else {
        m_pMergeProber->start(unknown);
        m_pSourceVideoTable->viewport()->setCursor(Qt::BusyCursor);
    }
}

void DRUI::OnMergeFileDescribed(const QString& path, const MediaFacts& facts)
{
    const QFileInfo info(path);
    if (facts.durationText.isEmpty() || info.absolutePath() != m_strMergeListedFolder)
        return;
    // The durations of one run come together and are shown together: each change of the
    // Time column measures the whole column again (about 1 ms at 200 rows).
    if (m_mergeNewTimes.isEmpty())
        QTimer::singleShot(0, this, &DRUI::ShowMergeTimes);
    m_mergeNewTimes.insert(info.fileName(), facts.durationText);
}

void DRUI::ShowMergeTimes()
{
    if (m_mergeNewTimes.isEmpty())
        return;
    QHeaderView* header = m_pSourceVideoTable->horizontalHeader();
    header->setSectionResizeMode(2, QHeaderView::Fixed);
    for (auto it = m_mergeNewTimes.cbegin(); it != m_mergeNewTimes.cend(); ++it) {
        if (QTableWidgetItem* time =
                m_pSourceVideoTable->item(m_mergeListedRows.value(it.key(), -1), 2))
            time->setText(it.value());
    }
    header->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    // A row added to the merge list before its duration was known gets it too.
    for (int row = 0; row < m_pTargetVideoTable->rowCount(); ++row) {
        QTableWidgetItem* cell = m_pTargetVideoTable->item(row, 0);
        QTableWidgetItem* time = m_pTargetVideoTable->item(row, 2);
        if (cell && time && time->text().isEmpty() && m_mergeNewTimes.contains(cell->text()))
            time->setText(m_mergeNewTimes.value(cell->text()));
    }
    m_mergeNewTimes.clear();
}

void DRUI::btnEditSlot()
{
    RefreshMergeFolderList();
    m_pStackedLayout->setCurrentIndex(3);
}

void DRUI::btnSlotLayout4Dir()
{
    const QString folder =
        QFileDialog::getExistingDirectory(this, QString(), QString(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return;
    m_pMergeDirEdit->setText(folder);
    RefreshMergeFolderList();
    m_pAddButton->setEnabled(false);
}

void DRUI::MergeDirFocusOut()
{
    if (!m_pMergeDirEdit->text().isEmpty())
        RefreshMergeFolderList();
    m_pAddButton->setEnabled(false);
}

QVector<QString> DRUI::MergeListFiles() const
{
    // A row's own path; a row without one (never made by Add) by its name.
    QVector<QString> files;
    for (int row = 0; row < m_pTargetVideoTable->rowCount(); ++row) {
        const QTableWidgetItem* cell = m_pTargetVideoTable->item(row, 0);
        const QString path = cell ? cell->data(kPathRole).toString() : QString();
        files.append(!path.isEmpty() ? path : cell ? cell->text() : QString());
    }
    return files;
}

void DRUI::btnAddSlot()
{
    const int rows = m_pTargetVideoTable->rowCount();
    if (rows >= kMaxMergeFiles) {
        CMessageBox::Inform(
            this, QStringLiteral("You can merge multiple files no more than 20 files at one time"));
        return;
    }
    const QList<QTableWidgetItem*> selected = m_pSourceVideoTable->selectedItems();
    if (selected.size() < 3)
        return;
    const int sourceRow = selected.first()->row();
    QStringList texts;
    for (int column = 0; column < 3; ++column) {
        const QTableWidgetItem* cell = m_pSourceVideoTable->item(sourceRow, column);
        texts.append(cell ? cell->text() : QString());
    }
    m_pTargetVideoTable->setRowCount(rows + 1);
    fillRow(m_pTargetVideoTable, rows, texts);
    // The row stands for the file it was taken from, whatever folder the list shows later.
    const QString path = QDir(m_strMergeListedFolder).filePath(texts.value(0));
    m_pTargetVideoTable->item(rows, 0)->setData(kPathRole, path);
    m_pTargetVideoTable->item(rows, 0)->setToolTip(QDir::toNativeSeparators(path));
    m_pMergeButton->setEnabled(m_pTargetVideoTable->rowCount() >= 2);
}

void DRUI::SourceTableItemDoubleClick(QTableWidgetItem*)
{
    btnAddSlot();
}

void DRUI::SourceTableItemClick(QTableWidgetItem*)
{
    m_pAddButton->setEnabled(m_pSourceVideoTable->selectedItems().size() >= 3);
}

void DRUI::TargetTableItemClick(QTableWidgetItem*)
{
    const int rows = m_pTargetVideoTable->rowCount();
    for (const QTableWidgetItem* cell : m_pTargetVideoTable->selectedItems()) {
        const int row = cell->row();
        m_pUpButton->setEnabled(row != 0);
        m_pDownButton->setEnabled(row < rows - 1);
        m_pDelButton->setEnabled(true);
    }
}

void DRUI::btnUpSlot()
{
    const QList<QTableWidgetItem*> cells = m_pTargetVideoTable->selectedItems();
    if (cells.isEmpty())
        return;
    const int row = cells.first()->row();
    if (row != 0)
        moveSelectedTexts(m_pTargetVideoTable, row - 1, cells);
    if (row <= 1)
        m_pUpButton->setEnabled(false);
    else
        m_pDownButton->setEnabled(true);
}

void DRUI::btnDownSlot()
{
    const QList<QTableWidgetItem*> cells = m_pTargetVideoTable->selectedItems();
    if (cells.isEmpty())
        return;
    const int row = cells.first()->row();
    const int rows = m_pTargetVideoTable->rowCount();
    if (row < rows - 1)
        moveSelectedTexts(m_pTargetVideoTable, row + 1, cells);
    if (row + 1 >= rows - 1)
        m_pDownButton->setEnabled(false);
    else
        m_pUpButton->setEnabled(true);
}

void DRUI::btnDelSlot()
{
    const QList<QTableWidgetItem*> cells = m_pTargetVideoTable->selectedItems();
    if (!cells.isEmpty())
        m_pTargetVideoTable->removeRow(cells.first()->row());
    m_pMergeButton->setEnabled(m_pTargetVideoTable->rowCount() >= 2);
}
