// Parsing of the media tool's capture-device listings and the sound choices built from them.
#include "media/DeviceList.h"

#include <QRegularExpression>

namespace
{

// What the C library's atoi reads at `from`: blanks, a sign, then digits; 0 when none.
int leadingNumber(const QString& text, qsizetype from)
{
    qsizetype i = from;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    long long value = 0;
    while (i < text.size() && text.at(i).isDigit() && value < 1000000000) {
        value = value * 10 + text.at(i).digitValue();
        ++i;
    }
    return int(negative ? -value : value);
}

} // namespace

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

QStringList avfoundationListArguments()
{
    return {QStringLiteral("-f"),   QStringLiteral("avfoundation"), QStringLiteral("-list_devices"),
            QStringLiteral("true"), QStringLiteral("-i"),           QStringLiteral(" ")};
}

CaptureDevices parseAvfoundationListing(const QString& text, char previousScreen)
{
    static const QString bracket = QStringLiteral(" [");
    CaptureDevices out;
    out.screen = previousScreen;

    const qsizetype video = text.indexOf(QLatin1String("video devices:"));
    if (video >= 0) {
        const qsizetype screen = text.indexOf(QLatin1String("Capture screen"), video);
        if (screen >= 0) {
            const qsizetype open = text.left(screen).lastIndexOf(bracket);
            if (open >= 0 && open + 2 < text.size())
                out.screen = text.at(open + 2).toLatin1();
        }
    }

    const qsizetype audio = text.indexOf(QLatin1String("audio devices:"));
    if (audio < 0)
        return out;
    const qsizetype last = text.lastIndexOf(bracket);
    int mic = -1;
    const qsizetype micAt = text.indexOf(QLatin1String("Microphone"), audio);
    if (micAt >= 0) {
        const qsizetype open = text.left(micAt).lastIndexOf(bracket);
        if (open >= 0)
            mic = leadingNumber(text, open + 2);
    }
    if (last >= 0) {
        const int s = leadingNumber(text, last + 2);
        if (s != mic)
            out.sys = s;
    }
    out.mic = mic;
    return out;
}
