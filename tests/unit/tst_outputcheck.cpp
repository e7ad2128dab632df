// Whether a finished run's output holds media: MP4 box layouts and transport streams.
#include "media/OutputCheck.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace
{

QByteArray box(const char* type, const QByteArray& payload = {})
{
    QByteArray out(4, '\0');
    qToBigEndian(quint32(8 + payload.size()), out.data());
    return out + QByteArray(type, 4) + payload;
}

// An mdat with the 64-bit size form the tool uses for large recordings.
QByteArray largeMdat(const QByteArray& payload)
{
    QByteArray out(16, '\0');
    qToBigEndian(quint32(1), out.data());
    out.replace(4, 4, "mdat");
    qToBigEndian(quint64(16 + payload.size()), out.data() + 8);
    return out + payload;
}

QByteArray tsPacket(int pid, bool unitStart, const QByteArray& payload)
{
    QByteArray packet(188, char(0xff));
    packet[0] = char(0x47);
    packet[1] = char((unitStart ? 0x40 : 0) | ((pid >> 8) & 0x1f));
    packet[2] = char(pid & 0xff);
    packet[3] = char(0x10);
    packet.replace(4, payload.size(), payload);
    return packet;
}

const QByteArray ftyp = box("ftyp", "isomiso2avc1mp41");
const QByteArray samples(4000, 'x');
const QByteArray movie = box("moov", box("mvhd", QByteArray(100, '\0')) + box("trak", "tkhd"));
const QByteArray emptyMovie =
    box("moov", box("mvhd", QByteArray(100, '\0')) + box("udta", QByteArray(90, '\0')));
const QByteArray fragmentedMovie =
    box("moov", box("mvhd", QByteArray(100, '\0')) + box("trak", "tkhd") + box("mvex"));
const QByteArray pat = tsPacket(0, true, QByteArray("\x00\x00\xb0\x0d", 4));
const QByteArray pmt = tsPacket(0x1000, true, QByteArray("\x00\x02\xb0\x1d", 4));
const QByteArray pes = tsPacket(0x100, true, QByteArray("\x00\x00\x01\xe0", 4));

} // namespace

class TestOutputCheck : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void judgesContainer_data();
    void judgesContainer();
    void missingFileHoldsNothing();
};

void TestOutputCheck::judgesContainer_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("hasStreams");

    QTest::newRow("plain MP4") << ftyp + box("free") + box("mdat", samples) + movie << true;
    QTest::newRow("index at the front") << ftyp + movie + box("mdat", samples) << true;
    QTest::newRow("64-bit media data size") << ftyp + movie + largeMdat(samples) << true;
    QTest::newRow("no track: \"-t 0\" leftover")
        << ftyp + box("free") + box("mdat") + emptyMovie << false;
    QTest::newRow("fragmented, no fragment yet") << ftyp + fragmentedMovie << false;
    QTest::newRow("fragmented with fragments")
        << ftyp + fragmentedMovie + box("moof", box("mfhd")) + box("mdat", samples) << true;
    QTest::newRow("fragmented, last fragment cut short")
        << ftyp + fragmentedMovie + box("moof", box("mfhd")) + box("mdat", samples) +
               box("moof", box("mfhd")) + box("mdat", samples).left(100)
        << true;
    QTest::newRow("killed before the index was written")
        << ftyp + box("free") + box("mdat", samples).replace(0, 4, QByteArray(4, '\0')) << false;
    QTest::newRow("empty file") << QByteArray() << false;
    QTest::newRow("transport stream, tables only") << pat + pmt << false;
    QTest::newRow("transport stream with a packet")
        << pat + pmt + pes + tsPacket(0x100, false, {}) << true;
    QTest::newRow("other format") << QByteArray("RIFF\x24\0\0\0WAVEfmt ", 16) << true;
}

void TestOutputCheck::judgesContainer()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, hasStreams);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("out")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    QCOMPARE(outputHasStreams(file.fileName()), hasStreams);
}

void TestOutputCheck::missingFileHoldsNothing()
{
    QTemporaryDir dir;
    QVERIFY(!outputHasStreams(dir.filePath(QStringLiteral("never written.mp4"))));
    QVERIFY(!outputHasStreams(dir.path()));
}

QTEST_GUILESS_MAIN(TestOutputCheck)
#include "tst_outputcheck.moc"
