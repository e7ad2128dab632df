// The home page: header, the three tool tiles, footer; and the top button bar of every page.
#include "app/DRUI.h"
#include "app/PageChrome.h"
#include "app/URLConfig.h"
#include "dialogs/MessageBox.h"
#include "dialogs/Style.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QUrl>

namespace
{

Q_LOGGING_CATEGORY(lcShell, "vistrel.shell")

// Opens a page shipped beside the executable (`relative` to its folder) as a file URL.
void openShippedPage(QWidget* window, const char* relative)
{
    const QString path =
        QCoreApplication::applicationDirPath() + QLatin1Char('/') + QString::fromUtf8(relative);
    if (!QFileInfo::exists(path)) {
        qCWarning(lcShell) << "shipped page missing:" << path;
        CMessageBox::Inform(window, QStringLiteral("The page %1 is missing from this "
                                                   "installation of Vistrel.")
                                        .arg(QDir::toNativeSeparators(path)));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        qCWarning(lcShell) << "no program opened" << path;
        CMessageBox::Inform(window, QStringLiteral("No program could open the page. Open it in "
                                                   "a web browser: %1")
                                        .arg(QDir::toNativeSeparators(path)));
    }
}

QPushButton* createTile(const QString& image, const QString& text)
{
    auto* tile = new QPushButton;
    tile->setFlat(true);
    tile->setStyleSheet(main_button_style);
    QPalette palette = tile->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::WindowText, QColor(54, 75, 75));
        palette.setColor(group, QPalette::ButtonText, QColor(54, 75, 75));
    }
    tile->setPalette(palette);
    tile->setFont(CalibriFont(11, true));
    tile->setCursor(Qt::PointingHandCursor);
    const QPixmap pixmap(image);
    tile->setIcon(QIcon(pixmap));
    tile->setIconSize(pixmap.size());
    tile->resize(pixmap.size());
    tile->setText(text);
    return tile;
}

} // namespace

void DRUI::InitLayout1Widget()
{
    delete m_pLayout1Widget;
    m_pLayout1Widget = new QWidget(this);
    const int w = width();

    QVBoxLayout* header = CreatePageHeader(this);
    QLabel* footer = CreatePageFooter(w);

    QPushButton* record = createTile(
        QStringLiteral(":/image/rec.png"),
        QStringLiteral("The easiest screen recorder to capture any video or audio\n on your "
                       "computer and save them in high quality"));
    connect(record, &QPushButton::clicked, this, &DRUI::btnSlot);
    QPushButton* merge =
        createTile(QStringLiteral(":/image/edit.png"),
                   QStringLiteral("Merge your several capturing screen videos into one file"));
    connect(merge, &QPushButton::clicked, this, &DRUI::btnEditSlot);
    QPushButton* cut = createTile(
        QStringLiteral(":/image/cut_main.png"),
        QStringLiteral("Trim your capturing screen video by setting the start time\nand end time"));
    connect(cut, &QPushButton::clicked, this, &DRUI::btnMontageSlot);

    auto* tiles = new QVBoxLayout;
    for (QPushButton* tile : {record, merge, cut}) {
        auto* row = new QHBoxLayout;
        row->addSpacing(100);
        row->addWidget(tile);
        row->addSpacing(100);
        tiles->addLayout(row);
        tiles->addStretch(1);
    }
    tiles->setSpacing(5);
    tiles->setContentsMargins(0, 0, 0, 0);

    auto* page = new QVBoxLayout;
    page->addLayout(header);
    page->addStretch(3);
    page->addLayout(tiles);
    page->addStretch(3);
    page->addWidget(footer);
    page->setSpacing(5);
    page->setContentsMargins(0, 0, 0, 0);
    m_pLayout1Widget->setLayout(page);
}

QPushButton* DRUI::CreateButton(int type, int x, QWidget* parent)
{
    auto* button = new QPushButton(parent);
    QPixmap image;
    QString tip;
    switch (type) {
    case 0:
        image.load(QStringLiteral(":/image/about.png"));
        tip = QStringLiteral("About");
        connect(button, &QPushButton::clicked, this, &DRUI::btnAboutSlot);
        break;
    case 1:
        image.load(QStringLiteral(":/image/support.png"));
        tip = QStringLiteral("Support");
        connect(button, &QPushButton::clicked, this, &DRUI::btnSupportSlot);
        break;
    default:
        image.load(QStringLiteral(":/image/help.png"));
        tip = QStringLiteral("Help");
        connect(button, &QPushButton::clicked, this, &DRUI::btnHelpSlot);
        break;
    }
    button->setGeometry(x, 40, 40, 20);
    button->setFont(CalibriFont(11, true));
    button->setFlat(true);
    button->setIcon(QIcon(image));
    const QSize size(int(image.width() / 2.5), int(image.height() / 2.5));
    button->setIconSize(size);
    button->resize(size);
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: rgb(51, 52, 55); }"));
    SetToolTip(button, tip);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

void DRUI::btnHelpSlot()
{
    openShippedPage(this, CURLConfig::GetInstance().m_szHelpPage);
}

void DRUI::btnSupportSlot()
{
    openShippedPage(this, CURLConfig::GetInstance().m_szSupportPage);
}

void DRUI::btnAboutSlot()
{
    openShippedPage(this, CURLConfig::GetInstance().m_szAboutPage);
}
