// The duration probe on the window.
#include "app/DRUI.h"

QString DRUI::GetVedioTimeSeconds(const QString&)
{
    return {};
}
