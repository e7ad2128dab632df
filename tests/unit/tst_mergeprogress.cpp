// The merge job's arithmetic: its percentage (conversions and join against the inputs'
// durations) and the sound it keeps of each part.
#include "merge/MergeCommands.h"
#include "merge/MergeProgress.h"

#include <QtTest>

#include <cmath>

class TestMergeProgress : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void steps_data();
    void steps();
    void soundStaysWithPictures_data();
    void soundStaysWithPictures();
    void silenceIsCutAtFrames();
};

void TestMergeProgress::steps_data()
{
    // Events: "cN:S" conversion of input N at S seconds, "dN" its end, "j:S" the join at S.
    QTest::addColumn<QVector<double>>("durations");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QVector<int>>("percents");

    QTest::newRow("two files, conversions then join, never 100")
        << QVector<double>{10, 10}
        << QStringList{"c0:5", "d0", "c1:10", "d1", "j:10", "j:20", "j:25"}
        << QVector<int>{12, 25, 50, 50, 75, 99, 99};
    QTest::newRow("a file playing longer than its header says does not spill over")
        << QVector<double>{10, 30} << QStringList{"c0:25", "d0", "c1:0"}
        << QVector<int>{12, 12, 12};
    QTest::newRow("unknown lengths still move by whole files")
        << QVector<double>{0, -1} << QStringList{"c0:5", "d0", "c1:7", "d1", "j:3"}
        << QVector<int>{0, 25, 25, 50, 50};
}

void TestMergeProgress::steps()
{
    QFETCH(QVector<double>, durations);
    QFETCH(QStringList, events);
    QFETCH(QVector<int>, percents);
    MergeProgress progress;
    progress.start(durations);
    QVector<int> got;
    for (const QString& event : events) {
        const int index = event.mid(1, event.indexOf(QLatin1Char(':')) - 1).toInt();
        const double seconds = event.section(QLatin1Char(':'), 1).toDouble();
        if (event.startsWith(QLatin1Char('c')))
            progress.conversion(index, seconds);
        else if (event.startsWith(QLatin1Char('d')))
            progress.conversionDone(event.mid(1).toInt());
        else
            progress.join(seconds);
        got.append(progress.percent());
    }
    QCOMPARE(got, percents);
}

void TestMergeProgress::soundStaysWithPictures_data()
{
    // Each part's picture and sound ends and its sound's start (s from its first picture; an
    // end of -1: unknown).
    QTest::addColumn<int>("sampleRate");
    QTest::addColumn<QVector<double>>("pictures");
    QTest::addColumn<QVector<double>>("sounds");
    QTest::addColumn<double>("start");
    QTest::addColumn<bool>("fill");
    QTest::addColumn<QVector<int>>("kept");      // packets asked of each part (-1: all)
    QTest::addColumn<QVector<QPoint>>("silent"); // of those, silence before and after its own

    // 45 pictures at 29.97/s are 70.4 packets at 48 kHz: cut at the nearest packet each part is
    // 7 ms short; carried over, the sound joined stays within half a packet of the pictures.
    const double part = 45 * 1001 / 30000.0;
    const QVector<QPoint> none(12);
    QTest::newRow("twelve parts of one length")
        << 48000 << QVector<double>(12, part) << QVector<double>(12, part) << 0.0 << true
        << QVector<int>{70, 71, 70, 71, 70, 70, 71, 70, 70, 71, 70, 71} << none;
    QTest::newRow("sound running on, 44.1 kHz")
        << 44100 << QVector<double>{2, 2, 2} << QVector<double>{2, 2.5, 2} << 0.0 << true
        << QVector<int>{86, 86, 86} << none.mid(0, 3);
    QTest::newRow("sound stopping short: completed with silence")
        << 48000 << QVector<double>{part, part, part} << QVector<double>{part, 1, part} << 0.0
        << true << QVector<int>{70, 71, 70} << QVector<QPoint>{{0, 0}, {0, 24}, {0, 0}};
    // The silence could not be made: the gap stays and the carry starts again after it.
    QTest::newRow("sound stopping short, no silence")
        << 48000 << QVector<double>{part, part, part} << QVector<double>{part, 1, part} << 0.0
        << false << QVector<int>{70, 71, 70} << none.mid(0, 3);
    // A recording: a keyframe before its start, its sound from 40 ms after that to 0.1 s before
    // its picture's end, which its edit list rounds to 1 ms past its 304th packet.
    QTest::newRow("recordings") << 44100 << QVector<double>(3, 7.2) << QVector<double>(3, 7.1)
                                << 0.04 << true << QVector<int>(3, 310)
                                << QVector<QPoint>(3, QPoint(2, 4));
    QTest::newRow("unknown ends keep everything")
        << 48000 << QVector<double>{part, -1, part} << QVector<double>{part, -1, -1} << 0.0 << true
        << QVector<int>{70, -1, 70} << none.mid(0, 3);
}

void TestMergeProgress::soundStaysWithPictures()
{
    QFETCH(int, sampleRate);
    QFETCH(QVector<double>, pictures);
    QFETCH(QVector<double>, sounds);
    QFETCH(double, start);
    QFETCH(bool, fill);
    QFETCH(QVector<int>, kept);
    QFETCH(QVector<QPoint>, silent);
    MediaFacts facts;
    facts.hasAudio = true;
    facts.audioCodec = QStringLiteral("aac");
    facts.audioProfile = QStringLiteral("LC");
    facts.sampleRate = sampleRate;
    MergeSoundCarry carry;
    QVector<int> got;
    QVector<QPoint> gotSilent;
    for (int i = 0; i < pictures.size(); ++i) {
        const MergeSoundPlan plan = carry.planFor(facts, pictures.at(i), start, sounds.at(i), fill);
        got.append(plan.packets);
        gotSilent.append(QPoint(plan.lead, plan.silence));
    }
    QCOMPARE(got, kept);
    QCOMPARE(gotSilent, silent);
}

void TestMergeProgress::silenceIsCutAtFrames()
{
    // ADTS frames of 9, 7 and 12 bytes (the length stands in bits 30 to 42 of each header).
    QByteArray adts;
    for (const int length : {9, 7, 12}) {
        QByteArray frame(length, '\0');
        frame[0] = char(0xff);
        frame[1] = char(0xf1);
        frame[3] = char(length >> 11);
        frame[4] = char(length >> 3);
        frame[5] = char(length << 5);
        adts += frame;
    }
    QCOMPARE(adtsFrames(adts, 2), adts.left(16));
    QCOMPARE(adtsFrames(adts, 5), adts);
    QCOMPARE(adtsFrames(adts.mid(1), 1), QByteArray());
}

QTEST_GUILESS_MAIN(TestMergeProgress)
#include "tst_mergeprogress.moc"
