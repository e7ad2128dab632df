// Process-wide look: the grey button style, the version text, fonts and text colours.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QPushButton;
class QWidget;

extern const QString main_button_style;
extern const QString Version_label;

// "Calibri" (Carlito on Linux) at `pointSize`, bold or normal.
QFont CalibriFont(int pointSize, bool bold = false);

// Sets the text colour of a label or button in every colour group.
void SetTextColor(QWidget* widget, const QColor& color);

// The grey rounded button of the pages and boxes (main_button_style): flat, with a pointing-hand
// cursor and "Calibri" at `pointSize`, bold or normal; placed by the caller.
QPushButton* CreateGreyButton(const QString& text, int pointSize, bool bold,
                              QWidget* parent = nullptr);
