// The duration probe of the cut page: one run of the tool on the window's probe run.
#include "app/DRUI.h"

#include "library/FolderScan.h"
#include "media/ToolOutput.h"
#include "media/ToolRun.h"

#include <QFileInfo>

void DRUI::ReadDeviceInfo()
{
    for (const QString& line : m_pDeviceProcess->takeLines())
        m_strDeviceText += line + QLatin1Char('\n');
}

QString DRUI::GetVedioTimeSeconds(const QString& path)
{
    m_strDeviceText.clear();
    if (!m_pDeviceProcess)
        return {};
    // The tool describes its only input, then exits 1 for want of an output: the verdict does
    // not matter, only the "Duration: " line does. An absolute path starts with "/", so the
    // tool never takes a "name:" prefix of a relative path for a protocol.
    m_pDeviceProcess->setExpectedOutput(QString());
    const ToolResult result = m_pDeviceProcess->run(
        {QStringLiteral("-hide_banner"), QStringLiteral("-i"), QFileInfo(path).absoluteFilePath()},
        QEventLoop::ExcludeUserInputEvents);
    const QString duration = durationAfterMarker(m_strDeviceText);
    if (duration.isEmpty())
        qCDebug(lcLibrary).noquote()
            << "no duration for" << path << "-" << describeToolResult(result);
    return duration;
}
