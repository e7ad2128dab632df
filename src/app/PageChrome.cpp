// The header strip, header line and footer that every page of the window repeats.
#include "app/PageChrome.h"

#include "app/DRUI.h"
#include "app/URLConfig.h"
#include "dialogs/Style.h"

#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

QVBoxLayout* CreatePageHeader(DRUI* window, const QString& stripStyle)
{
    const int w = window->width();
    auto* strip = new QLabel;
    strip->setMinimumSize(w, 70);
    if (!stripStyle.isEmpty())
        strip->setStyleSheet(stripStyle);
    auto* line = new QLabel;
    line->setStyleSheet(QStringLiteral("background-color: rgb(191, 191, 191);"));
    line->setFixedSize(w, 2);

    auto* logo = new QLabel(strip);
    logo->setGeometry(15, 6, 30, 50);
    logo->setAlignment(Qt::AlignLeft);
    logo->setPixmap(QPixmap(QStringLiteral(":/image/logo.png"))
                        .scaled(30, 50, Qt::KeepAspectRatio, Qt::FastTransformation));

    auto* title = new QLabel(QStringLiteral("Vistrel"), strip);
    title->setGeometry(65, 12, 300, 30);
    title->setAlignment(Qt::AlignLeft);
    title->setFont(CalibriFont(13));
    SetTextColor(title, Qt::white);

    auto* version = new QLabel(Version_label, strip);
    version->setGeometry(w - 80, 0, 100, 30);
    version->setFont(CalibriFont(10));
    SetTextColor(version, QColor(255, 255, 255, 255));

    for (int i = 0; i < 3; ++i)
        window->CreateButton(i, w - 30 - 30 * i, strip);

    auto* layout = new QVBoxLayout;
    layout->addWidget(strip);
    layout->addWidget(line);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

QLabel* CreatePageFooter(int width, bool withLine)
{
    auto* footer = new QLabel;
    footer->setStyleSheet(QStringLiteral("background-color: rgb(69, 78, 93);"));
    footer->setMinimumSize(width, 40);
    auto* text = new QLabel(QStringLiteral("Official website: ") +
                                QString::fromUtf8(CURLConfig::GetInstance().m_szWebSite),
                            footer);
    text->setGeometry(10, 10, width, 30);
    text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    text->setFont(CalibriFont(11));
    SetTextColor(text, Qt::white);
    if (withLine) {
        auto* line = new QLabel(footer);
        line->setStyleSheet(QStringLiteral("background-color: rgb(191, 191, 191);"));
        line->setGeometry(0, 0, width, 2);
    }
    return footer;
}
