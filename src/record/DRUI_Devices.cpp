// The record page's sound box, filled from the capture devices the sound server lists.
#include "app/DRUI.h"

#include "media/DeviceList.h"
#include "media/PulseListing.h"
#include "media/ToolRun.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QIcon>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcDevices, "vistrel.media.devices")

void DRUI::get_audiodevice_name()
{
    m_nMicDeviceIndex = -1;
    m_nSysAudioDeviceIndex = -1;
    m_vecAudioSources.clear();
    m_strMicSource.clear();
    m_strSysAudioSource.clear();
    if (!m_pDeviceListing) {
        m_pDeviceListing = new PulseListing(this);
        connect(m_pDeviceListing, &PulseListing::finished, this, &DRUI::OnAudioDevicesListed);
    }
    // The two listings took about 0.2 s before the window could show; they now run while it
    // is built and shown, and the box gets its choices when they end. "None" works meanwhile.
    m_pDeviceListing->setProgram(m_pDeviceProcess ? m_pDeviceProcess->program()
                                                  : ToolRun::defaultProgram());
    m_pDeviceListing->start();
}

void DRUI::OnAudioDevicesListed(const QVector<PulseDevice>& sources,
                                const QVector<PulseDevice>& sinks)
{
    const CaptureDevices found = choosePulseDevices(sources, sinks);
    m_vecAudioSources.clear();
    for (const PulseDevice& d : sources)
        m_vecAudioSources.append(d.name);
    m_nMicDeviceIndex = found.mic;
    m_nSysAudioDeviceIndex = found.sys;
    m_strMicSource = found.mic >= 0 ? sources[found.mic].name : QString();
    m_strSysAudioSource = found.sys >= 0 ? sources[found.sys].name : QString();
    qCInfo(lcDevices).noquote() << "sources:" << m_vecAudioSources.join(QLatin1String(", "))
                                << "microphone:" << m_strMicSource
                                << "computer sounds:" << m_strSysAudioSource;

    if (!m_pAudioComBox)
        return;
    // The discovered choices go before "None", the first of them chosen, as if they had been
    // there from the start; those of an earlier listing are replaced, keeping the user's choice
    // when it is still offered.
    const QString chosen = m_pAudioComBox->count() > 1 ? m_pAudioComBox->currentText() : QString();
    for (int i = m_pAudioComBox->count() - 1; i >= 0; --i) {
        if (m_pAudioComBox->itemData(i).toInt() != kAudioNone)
            m_pAudioComBox->removeItem(i);
    }
    int at = 0;
    for (const AudioChoice& choice : audioChoices(m_nMicDeviceIndex, m_nSysAudioDeviceIndex))
        m_pAudioComBox->insertItem(
            at++, QIcon(), QCoreApplication::translate("QWidget", choice.text), choice.data);
    m_pAudioComBox->setCurrentIndex(qMax(0, m_pAudioComBox->findText(chosen)));
}
