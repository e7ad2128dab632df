// Process-wide look: the grey button style, the version text, fonts and text colours.
#include "dialogs/Style.h"

#include <QPalette>
#include <QPushButton>
#include <QWidget>

const QString main_button_style = QStringLiteral(
    "QPushButton{background-color:rgb(191, 191, 191);\t\t\t\t\t\t\t  border-radius: 10px; border: "
    "2px groove white;\t\t\t\t\t\t\t  border-style: outset;}QPushButton:hover{background-color:"
    "rgb(156, 156, 156); }QPushButton:pressed{background-color:rgb(156, 156, 156);border: 2px "
    "groove white;\t\t\t\t\t\t\t  border-style: inset; }");

const QString Version_label = QStringLiteral("Version 7.0");

QFont CalibriFont(int pointSize, bool bold)
{
    // Debian ships Calibri's metric twin; naming it here serves every window, test and tool.
    static const bool substituted = [] {
        QFont::insertSubstitution(QStringLiteral("Calibri"), QStringLiteral("Carlito"));
        return true;
    }();
    Q_UNUSED(substituted);
    QFont font(QStringLiteral("Calibri"), pointSize, bold ? QFont::Bold : QFont::Normal);
    font.setItalic(false);
    return font;
}

void SetTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::WindowText, color);
        palette.setColor(group, QPalette::ButtonText, color);
        palette.setColor(group, QPalette::Text, color);
    }
    widget->setPalette(palette);
}

QPushButton* CreateGreyButton(const QString& text, int pointSize, bool bold, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setFont(CalibriFont(pointSize, bold));
    button->setStyleSheet(main_button_style);
    return button;
}
