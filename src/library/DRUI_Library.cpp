// The duration probe on the window.
#include "app/DRUI.h"

#include "media/ToolOutput.h"

QString DRUI::GetVedioTimeSeconds(const QString& path)
{
    m_strDeviceText.clear();
    // The tool describes its only input, then exits 1 for want of an output: the verdict does
    // not matter, only the "Duration: " line does.
    m_pDeviceProcess->setExpectedOutput(QString());
    m_pDeviceProcess->run({QStringLiteral("-hide_banner"), QStringLiteral("-i"), path},
                          QEventLoop::ExcludeUserInputEvents);
    return durationAfterMarker(m_strDeviceText);
}
