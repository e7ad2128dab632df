// Capture device discovery on the window.
#include "app/DRUI.h"

#include "media/DeviceList.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QIcon>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcDevices, "vistrel.media.devices")

void DRUI::ReadDeviceInfo()
{
    for (const QString& line : m_pDeviceProcess->takeLines())
        m_strDeviceText += line + QLatin1Char('\n');
}

void DRUI::get_audiodevice_name()
{
    m_nMicDeviceIndex = -1;
    m_nSysAudioDeviceIndex = -1;
    m_vecAudioSources.clear();
    m_strMicSource.clear();
    m_strSysAudioSource.clear();
    if (!m_pDeviceProcess)
        return;

    // The listing exits 0 also when it fails ("Cannot list sources: ..."): the lines decide.
    m_pDeviceProcess->setExpectedOutput(QString());
    m_strDeviceText.clear();
    m_pDeviceProcess->run(pulseListArguments(false), QEventLoop::ExcludeUserInputEvents);
    const QVector<PulseDevice> sources = parsePulseListing(m_strDeviceText);
    QVector<PulseDevice> sinks;
    if (!sources.isEmpty()) {
        m_strDeviceText.clear();
        m_pDeviceProcess->run(pulseListArguments(true), QEventLoop::ExcludeUserInputEvents);
        sinks = parsePulseListing(m_strDeviceText);
    }
    m_strDeviceText.clear();

    const CaptureDevices found = choosePulseDevices(sources, sinks);
    for (const PulseDevice& d : sources)
        m_vecAudioSources.append(d.name);
    if (found.mic >= 0) {
        m_nMicDeviceIndex = found.mic;
        m_strMicSource = sources[found.mic].name;
    }
    if (found.sys >= 0) {
        m_nSysAudioDeviceIndex = found.sys;
        m_strSysAudioSource = sources[found.sys].name;
    }
    qCInfo(lcDevices).noquote() << "sources:" << m_vecAudioSources.join(QLatin1String(", "))
                                << "microphone:" << m_strMicSource
                                << "computer sounds:" << m_strSysAudioSource;

    if (!m_pAudioComBox)
        return;
    for (const AudioChoice& choice : audioChoices(m_nMicDeviceIndex, m_nSysAudioDeviceIndex))
        m_pAudioComBox->addItem(QIcon(), QCoreApplication::translate("QWidget", choice.text),
                                choice.data);
}
