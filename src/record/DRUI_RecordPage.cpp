// The record page: sound choice, save folder, free space; and the start-up recovery.
#include "app/DRUI.h"

#include "app/PageChrome.h"
#include "app/Style.h"
#include "media/DeviceList.h"
#include "record/RecordNames.h"
#include "record/RecordingFinalizer.h"
#include "support/Helpers.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QSettings>
#include <QStackedLayout>
#include <QTimer>
#include <QVBoxLayout>

Q_DECLARE_LOGGING_CATEGORY(lcRecord)

namespace
{

const QString kSavePathKey = QStringLiteral("/screen_record/save_path");

// A working file written to this recently may belong to a recording still running in another
// instance: the tool writes a fragment at least every 2 s.
constexpr qint64 kLeftoverQuietMs = 10000;

QLabel* pageLabel(const QString& text, QWidget* parent, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    label->setFont(CalibriFont(12, true));
    return label;
}

QPushButton* barButton(const QString& text, QWidget* parent, int x)
{
    auto* button = new QPushButton(text, parent);
    button->setGeometry(x, 2, 100, 35);
    button->setFlat(true);
    button->setFont(CalibriFont(12, true));
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(main_button_style);
    return button;
}

} // namespace

void DRUI::InitLayout2Widget()
{
    if (!m_pRecordFinalizer) {
        // Once per window: the recording run's end and the finaliser feed the same pipeline.
        m_pRecordFinalizer = new RecordingFinalizer(this);
        connect(m_pRecordFinalizer, &RecordingFinalizer::finished, this, &DRUI::OnRecordFinalized);
        if (m_pRecordProcess) {
            m_pRecordProcess->setStopGrace(10000);
            connect(m_pRecordProcess, &ToolRun::finished, this, &DRUI::OnRecordRunFinished);
        }
        QTimer::singleShot(0, this, &DRUI::RecoverLeftoverRecordings);
    }

    delete m_pLayout2Widget;
    m_pLayout2Widget = new QWidget(this);
    const int w = width();

    QVBoxLayout* header = CreatePageHeader(this);

    auto* panel = new QLabel;
    panel->setStyleSheet(QStringLiteral("background-color: rgb(191, 191, 191);"));
    panel->setMinimumSize(300, 320);
    pageLabel(QStringLiteral("Audio: "), panel, QRect(50, 80, 120, 25));
    m_pAudioComBox = new QComboBox(panel);
    m_pAudioComBox->setGeometry(180, 80, 300, 25);
    m_pAudioComBox->setFont(CalibriFont(12, true));
    m_pStereoMix = new QLabel(panel);
    // Five lines of 18 point text need about 190 pixels at X11's 96 dpi: the box grows upwards
    // and downwards from its 150 pixels so neither "Recording..." nor the size is cut off.
    m_pStereoMix->setGeometry(600, 30, 600, 190);
    m_pStereoMix->setFont(CalibriFont(18, true));
    SetTextColor(m_pStereoMix, Qt::red);
    m_pStereoMix->hide();

    get_audiodevice_name();
    m_pAudioComBox->addItem(QIcon(), QCoreApplication::translate("QWidget", "None"), kAudioNone);
    m_pAudioComBox->setCurrentIndex(0);

    pageLabel(QStringLiteral("Save directory: "), panel, QRect(50, 120, 120, 25));
    m_pRecordDirEdit = new QLineEdit(panel);
    m_pRecordDirEdit->setGeometry(180, 120, 200, 25);
    m_pRecordDirEdit->setMinimumSize(300, 20);
    m_pRecordDirEdit->setStyleSheet(QStringLiteral("border: 2px groove white;"));
    m_pRecordDirEdit->setFont(CalibriFont(12, true));
    m_pRecordDirEdit->setEnabled(false);
    {
        const QSettings settings(m_strIniPath, QSettings::IniFormat);
        m_pRecordDirEdit->setText(
            settings.value(kSavePathKey, QDir::homePath() + QStringLiteral("/ScreenSave"))
                .toString());
    }
    m_pRecordDirEdit->setCursorPosition(1);

    auto* folder = new QPushButton(panel);
    folder->setGeometry(500, 120, 30, 25);
    folder->setIcon(QIcon(QStringLiteral(":/image/folder.png")));
    connect(folder, &QPushButton::clicked, this, &DRUI::btnSlotLayout2Dir);

    pageLabel(QStringLiteral("Free space: "), panel, QRect(50, 170, 200, 25));
    m_pFreeSpaceLabel = pageLabel(QStringLiteral("Unknow"), panel, QRect(220, 170, 100, 25));
    pageLabel(QStringLiteral("The best screen recorder & video editor that you can use to "
                             "capture\neverything on your screen with original "
                             "picture-in-picture"),
              panel, QRect(50, 220, 500, 50));
    m_pWaylandLabel = pageLabel(QStringLiteral("This is a Wayland session: only X11 windows "
                                               "can be captured, other windows record black."),
                                panel, QRect(50, 275, 800, 25));
    SetTextColor(m_pWaylandLabel, QColor(160, 0, 0));
    m_pWaylandLabel->setVisible(!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"));
    RefreshFreeSpaceLabel();

    auto* content = new QVBoxLayout;
    content->addWidget(panel);
    content->setContentsMargins(50, 50, 50, 50);

    auto* bar = new QLabel;
    bar->setMinimumSize(w, 40);
    QPushButton* back = barButton(QStringLiteral("Back"), bar, 50);
    connect(back, &QPushButton::clicked, this, &DRUI::btnSlotBack);
    m_pRecordButton = barButton(QStringLiteral("Record"), bar, w - 150);
    connect(m_pRecordButton, &QPushButton::clicked, this, &DRUI::btnSlotRecord);

    auto* page = new QVBoxLayout;
    page->addLayout(header);
    page->addStretch(3);
    page->addLayout(content);
    page->addStretch(3);
    page->addWidget(bar);
    page->addWidget(CreatePageFooter(w));
    page->setContentsMargins(0, 0, 0, 0);
    m_pLayout2Widget->setLayout(page);
}

void DRUI::RefreshFreeSpaceLabel()
{
    const QString dir = m_pRecordDirEdit->text();
    if (dir.isEmpty())
        return;
    m_pFreeSpaceLabel->setText(
        QString::fromStdString(GetFileSizeString(qint64(GetFreeSpace(dir)))));
}

void DRUI::btnSlotLayout2Dir()
{
    const QString dir =
        QFileDialog::getExistingDirectory(this, QString(), QString(), QFileDialog::ShowDirsOnly);
    if (dir.isNull())
        return;
    m_pRecordDirEdit->setText(dir);
    if (dir.isEmpty())
        return;
    {
        QSettings settings(m_strIniPath, QSettings::IniFormat);
        settings.setValue(kSavePathKey, dir);
    }
    RefreshFreeSpaceLabel();
}

void DRUI::RecoverLeftoverRecordings()
{
    if (m_bRecordExiting)
        return;
    if (!m_pStackedLayout || !m_pRecordDirEdit) {
        // Init is still building pages (its listing and probe runs process timers): begin
        // once the window is whole.
        QTimer::singleShot(100, this, &DRUI::RecoverLeftoverRecordings);
        return;
    }
    const QString dir = m_pRecordDirEdit->text();
    const QDateTime now = QDateTime::currentDateTime();
    for (const QString& path : leftoverFinalisingFiles(dir)) {
        // A copy a crash interrupted; its working file is still there and is finalised anew.
        if (QFileInfo(path).lastModified().msecsTo(now) > kLeftoverQuietMs)
            QFile::remove(path);
    }
    for (const QString& path : leftoverWorkingFiles(dir)) {
        if (path == m_strRecordWorkFile || m_vecRecoverFiles.contains(path))
            continue;
        if (QFileInfo(path).lastModified().msecsTo(now) < kLeftoverQuietMs) {
            qCInfo(lcRecord).noquote() << "leaving" << path << "alone: it is still being written";
            continue;
        }
        m_vecRecoverFiles.append(path);
    }
    if (!m_vecRecoverFiles.isEmpty())
        qCInfo(lcRecord).noquote()
            << "recovering" << m_vecRecoverFiles.size() << "interrupted recordings in" << dir;
    if (!IsRecordingBusy())
        FinalizeNextLeftover();
}

void DRUI::FinalizeNextLeftover()
{
    while (!m_vecRecoverFiles.isEmpty()) {
        const QString work = m_vecRecoverFiles.takeFirst();
        if (!QFileInfo::exists(work))
            continue;
        const QFileInfo info(work);
        const QString finalPath = info.dir().filePath(finalNameForWorkingFile(info.fileName()));
        m_bFinalizingLeftover = true;
        if (m_pRecordFinalizer->start(work, finalPath))
            return;
        m_bFinalizingLeftover = false;
    }
}
