// Capture device listings: which source is the microphone, which the computer sounds, and the
// sound choices the record page offers.
#include "media/DeviceList.h"

#include <QTest>

struct Choice {
    QString text;
    int data;
    bool operator==(const Choice& o) const { return text == o.text && data == o.data; }
};
using Choices = QVector<Choice>;
Q_DECLARE_METATYPE(Choices)

namespace QTest
{
template <> char* toString(const Choices& choices)
{
    QStringList parts;
    for (const Choice& c : choices)
        parts << QStringLiteral("%1=%2").arg(c.text).arg(c.data);
    return qstrdup(parts.join(QLatin1String(", ")).toUtf8().constData());
}
} // namespace QTest

static Choices toChoices(const QVector<AudioChoice>& in)
{
    Choices out;
    for (const AudioChoice& c : in)
        out.append({QString::fromUtf8(c.text), c.data});
    return out;
}

class TestDeviceList : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void pulseChoices_data();
    void pulseChoices();
};

void TestDeviceList::pulseChoices_data()
{
    QTest::addColumn<QString>("sources");
    QTest::addColumn<QString>("sinks");
    QTest::addColumn<QString>("mic");
    QTest::addColumn<QString>("sys");
    QTest::addColumn<Choices>("choices");

    const QString sinks = QStringLiteral("Auto-detected sinks for pulse:\n"
                                         "  hdmi [HDMI] (none)\n"
                                         "* speakers [Speakers] (none)\n");
    QTest::newRow("default mic and the default sink's monitor")
        << QStringLiteral("Auto-detected sources for pulse:\n"
                          "  hdmi.monitor [Monitor of HDMI] (none)\n"
                          "  speakers.monitor [Monitor of Speakers] (none)\n"
                          "* mic [Built-in Microphone] (none)\n")
        << sinks << "mic"
        << "speakers.monitor"
        << Choices{
               {"Computer sounds and Microphone", -1}, {"Computer sounds", 1}, {"Microphone", 2}};
    QTest::newRow("default source is a monitor: first real source is the mic")
        << QStringLiteral("Auto-detected sources for pulse:\n"
                          "* speakers.monitor [Monitor of Speakers] (none)\n"
                          "  usb-headset [USB Headset] (none)\n"
                          "  webcam [Webcam Mic] (none)\n")
        << sinks << "usb-headset"
        << "speakers.monitor"
        << Choices{
               {"Computer sounds and Microphone", -1}, {"Computer sounds", 0}, {"Microphone", 1}};
    QTest::newRow("monitors only: no microphone")
        << QStringLiteral("Auto-detected sources for pulse:\n"
                          "* speakers.monitor [Monitor of Speakers] (none)\n")
        << sinks << ""
        << "speakers.monitor" << Choices{{"Computer sounds", 0}};
    QTest::newRow("no sound server: nothing to offer")
        << QStringLiteral("Auto-detected sources for pulse:\n"
                          "Cannot list sources: Generic error in an external library\n")
        << QString() << ""
        << "" << Choices{};
}

void TestDeviceList::pulseChoices()
{
    QFETCH(QString, sources);
    QFETCH(QString, sinks);
    QFETCH(QString, mic);
    QFETCH(QString, sys);
    QFETCH(Choices, choices);

    const QVector<PulseDevice> src = parsePulseListing(sources);
    const CaptureDevices found = choosePulseDevices(src, parsePulseListing(sinks));
    QCOMPARE(found.mic >= 0 ? src[found.mic].name : QString(), mic);
    QCOMPARE(found.sys >= 0 ? src[found.sys].name : QString(), sys);
    QCOMPARE(toChoices(audioChoices(found.mic, found.sys)), choices);
}

QTEST_GUILESS_MAIN(TestDeviceList)
#include "tst_devicelist.moc"
