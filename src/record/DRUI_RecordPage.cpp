// The record page: sound choice, save folder, free space.
#include "app/DRUI.h"

#include "app/PageChrome.h"
#include "app/UserFolders.h"
#include "dialogs/MessageBox.h"
#include "dialogs/Style.h"
#include "media/DeviceList.h"
#include "record/wayland/ScreenCastPortal.h"
#include "record/wayland/WaylandCapture.h"
#include "support/Helpers.h"

#include <QAbstractItemView>
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

namespace
{

const QString kSavePathKey = QStringLiteral("/screen_record/save_path");

QLabel* pageLabel(const QString& text, QWidget* parent, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    label->setFont(CalibriFont(12, true));
    return label;
}

QPushButton* barButton(const QString& text, QWidget* parent, int x)
{
    QPushButton* button = CreateGreyButton(text, 12, true, parent);
    button->setGeometry(x, 2, 100, 35);
    return button;
}

} // namespace

void DRUI::InitLayout2Widget()
{
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
    // The drop-down is a window of its own: it takes no font from the box. Its items are drawn
    // as the box's menu items, whose highlight the panel's light grey would otherwise take.
    m_pAudioComBox->view()->setFont(CalibriFont(12, true));
    m_pAudioComBox->setStyleSheet(QStringLiteral(
        "QComboBox { selection-background-color: rgb(69, 78, 93); selection-color: white; }"));
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
            saveFolderFromSetting(settings.value(kSavePathKey).toString(), QDir::homePath()));
    }
    m_pRecordDirEdit->setCursorPosition(1);

    auto* folder = new QPushButton(panel);
    folder->setGeometry(500, 120, 30, 25);
    folder->setIcon(QIcon(QStringLiteral(":/image/folder.png")));
    SetToolTip(folder, QStringLiteral("Choose folder"));
    connect(folder, &QPushButton::clicked, this, &DRUI::btnSlotLayout2Dir);

    pageLabel(QStringLiteral("Free space: "), panel, QRect(50, 170, 200, 25));
    m_pFreeSpaceLabel = pageLabel(QStringLiteral("Unknow"), panel, QRect(220, 170, 100, 25));
    SetToolTip(m_pFreeSpaceLabel, QString()); // says why, when there is no figure to show
    pageLabel(QStringLiteral("The best screen recorder & video editor that you can use to "
                             "capture\neverything on your screen with original "
                             "picture-in-picture"),
              panel, QRect(50, 220, 500, 50));
    // On Wayland the screen is shared through the desktop portal; the page warns only when
    // there is none, naming what to install.
    m_pWaylandLabel = pageLabel(QString(), panel, QRect(50, 275, 800, 25));
    m_pWaylandLabel->setObjectName(QStringLiteral("waylandWarning"));
    SetTextColor(m_pWaylandLabel, QColor(160, 0, 0));
    m_pWaylandLabel->hide();
    if (WaylandCapture::isWaylandSession())
        checkScreenCastPortal(QDBusConnection::sessionBus(), m_pWaylandLabel,
                              [label = m_pWaylandLabel](const QString& problem) {
                                  label->setText(problem);
                                  label->setVisible(!problem.isEmpty());
                              });
    RefreshFreeSpaceLabel();
    // Recordings and other programs use the disk meanwhile: the figure shown follows.
    auto* freeSpaceTimer = new QTimer(m_pFreeSpaceLabel);
    connect(freeSpaceTimer, &QTimer::timeout, this, [this] {
        if (m_pFreeSpaceLabel->isVisible())
            RefreshFreeSpaceLabel();
    });
    freeSpaceTimer->start(2000);

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
    // The free space of a folder that cannot be made (a disk not connected) would be that of
    // whatever disk holds its nearest parent.
    const QString problem = FolderProblem(dir);
    m_pFreeSpaceLabel->setText(
        problem.isEmpty() ? QString::fromStdString(GetFileSizeString(qint64(GetFreeSpace(dir))))
                          : QStringLiteral("Not available"));
    m_pFreeSpaceLabel->setToolTip(problem);
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
    QSettings settings(m_strIniPath, QSettings::IniFormat);
    settings.setValue(kSavePathKey, dir);
    settings.sync();
    RefreshFreeSpaceLabel();
    // The folder is used all the same; only the next start would not know it.
    if (settings.status() != QSettings::NoError)
        CMessageBox::Inform(this, QStringLiteral("The save folder is used until Vistrel ends, but "
                                                 "it cannot be remembered: %1 cannot be written.")
                                      .arg(QDir::toNativeSeparators(m_strIniPath)));
}
