// The header strip, header line and footer that every page of the window repeats.
#pragma once

#include <QString>

class DRUI;
class QLabel;
class QVBoxLayout;

// The header strip (logo, "Vistrel", version, the top button bar) over its grey line, in a
// vertical layout with spacing 0 and no margins. `stripStyle` is the strip's own style sheet
// (empty: the window's slate shows through).
QVBoxLayout* CreatePageHeader(DRUI* window, const QString& stripStyle = QString());

// The footer strip with "Official website: " and the address, and (unless `withLine` is false)
// its grey line on top.
QLabel* CreatePageFooter(int width, bool withLine = true);
