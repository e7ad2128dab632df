// Capture device discovery on the window.
#include "app/DRUI.h"

void DRUI::ReadDeviceInfo()
{
    for (const QString& line : m_pDeviceProcess->takeLines())
        m_strDeviceText += line + QLatin1Char('\n');
}

void DRUI::get_audiodevice_name() {}
