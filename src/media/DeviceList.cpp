// Parsing of the media tool's capture-device listings and the sound choices built from them.
#include "media/DeviceList.h"

#include <QRegularExpression>

QStringList pulseListArguments(bool sinks)
{
    return {QStringLiteral("-hide_banner"),
            sinks ? QStringLiteral("-sinks") : QStringLiteral("-sources"), QStringLiteral("pulse")};
}

QVector<PulseDevice> parsePulseListing(const QString& text)
{
    // The tool prints "%s %s [%s] (%s)": a default mark or a blank, the name, the description
    // and the media types.
    static const QRegularExpression line(
        QStringLiteral("^\\s*(\\*)?\\s*(\\S+) \\[(.*)\\] \\([^()]*\\)\\s*$"));
    QVector<PulseDevice> devices;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& l : lines) {
        const QRegularExpressionMatch m = line.match(l);
        if (!m.hasMatch())
            continue;
        PulseDevice d;
        d.isDefault = !m.captured(1).isEmpty();
        d.name = m.captured(2);
        d.description = m.captured(3);
        d.isMonitor = d.name.endsWith(QLatin1String(".monitor"));
        devices.append(d);
    }
    return devices;
}

CaptureDevices choosePulseDevices(const QVector<PulseDevice>& sources,
                                  const QVector<PulseDevice>& sinks)
{
    CaptureDevices out;
    for (int i = 0; i < sources.size(); ++i) {
        if (sources[i].isDefault && !sources[i].isMonitor)
            out.mic = i;
    }
    for (int i = 0; i < sources.size() && out.mic < 0; ++i) {
        if (!sources[i].isMonitor)
            out.mic = i;
    }
    QString defaultMonitor;
    for (const PulseDevice& sink : sinks) {
        if (sink.isDefault)
            defaultMonitor = sink.name + QLatin1String(".monitor");
    }
    for (int i = 0; i < sources.size() && !defaultMonitor.isEmpty(); ++i) {
        if (sources[i].name == defaultMonitor)
            out.sys = i;
    }
    for (int i = 0; i < sources.size() && out.sys < 0; ++i) {
        if (sources[i].isMonitor)
            out.sys = i;
    }
    return out;
}

QVector<AudioChoice> audioChoices(int mic, int sys)
{
    QVector<AudioChoice> choices;
    if (mic != -1 && sys != -1 && mic != sys)
        choices.append({"Computer sounds and Microphone", kAudioBoth});
    if (sys != -1)
        choices.append({"Computer sounds", sys});
    if (mic != -1)
        choices.append({"Microphone", mic});
    return choices;
}
