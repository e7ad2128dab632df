// Describing many files in few runs: how the files are split into runs, and the probe cache
// that spares an unchanged folder every run. (The texts read from a run: unit/tst_mergeprobe.)
#include "library/MediaProbe.h"
#include "library/ProbeCache.h"

#include <QtTest>

class TestMediaProbe : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void batchPlan_data();
    void batchPlan();
    void batchLimit_data();
    void batchLimit();
    void cacheLookup_data();
    void cacheLookup();
    void cacheKeepsTheNewestResult();
};

void TestMediaProbe::batchPlan_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("lanes");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QVector<int>>("sizes");

    QTest::newRow("nothing to do") << 0 << 2 << 48 << QVector<int>{};
    QTest::newRow("fewer files than lanes") << 1 << 2 << 48 << QVector<int>{1};
    QTest::newRow("one lane under the limit") << 10 << 1 << 48 << QVector<int>{10};
    QTest::newRow("two lanes share evenly") << 10 << 2 << 48 << QVector<int>{5, 5};
    QTest::newRow("200 files, two lanes, 48 a run")
        << 200 << 2 << 48 << QVector<int>{34, 34, 33, 33, 33, 33};
    QTest::newRow("a low limit") << 7 << 2 << 3 << QVector<int>{2, 2, 2, 1};
    QTest::newRow("one file a run") << 3 << 2 << 1 << QVector<int>{1, 1, 1};
}

void TestMediaProbe::batchPlan()
{
    QFETCH(int, count);
    QFETCH(int, lanes);
    QFETCH(int, limit);
    QFETCH(QVector<int>, sizes);
    QCOMPARE(planDescribeBatches(count, lanes, limit), sizes);
}

void TestMediaProbe::batchLimit_data()
{
    QTest::addColumn<qint64>("openFiles");
    QTest::addColumn<int>("expected");

    QTest::newRow("a usual limit") << qint64(1024) << 48;
    QTest::newRow("a low limit") << qint64(64) << 16;
    QTest::newRow("hardly any room") << qint64(20) << 1;
    QTest::newRow("a very high limit") << (qint64(1) << 40) << 48;
}

void TestMediaProbe::batchLimit()
{
    QFETCH(qint64, openFiles);
    QFETCH(int, expected);
    QCOMPARE(describeBatchLimit(openFiles, 48), expected);
}

void TestMediaProbe::cacheLookup_data()
{
    QTest::addColumn<QString>("lookedUp");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("modified");
    QTest::addColumn<bool>("found");

    // Remembered: /v/a.mp4, 1000 bytes, modified at 5000 ms.
    QTest::newRow("unchanged") << QStringLiteral("/v/a.mp4") << qint64(1000) << qint64(5000)
                               << true;
    QTest::newRow("the same file spelt otherwise")
        << QStringLiteral("/v/./x/../a.mp4") << qint64(1000) << qint64(5000) << true;
    QTest::newRow("grown") << QStringLiteral("/v/a.mp4") << qint64(2000) << qint64(5000) << false;
    QTest::newRow("rewritten, same size")
        << QStringLiteral("/v/a.mp4") << qint64(1000) << qint64(6000) << false;
    QTest::newRow("another file") << QStringLiteral("/v/b.mp4") << qint64(1000) << qint64(5000)
                                  << false;
    QTest::newRow("gone") << QStringLiteral("/v/a.mp4") << qint64(-1) << qint64(-1) << false;
}

void TestMediaProbe::cacheLookup()
{
    QFETCH(QString, lookedUp);
    QFETCH(qint64, size);
    QFETCH(qint64, modified);
    QFETCH(bool, found);

    ProbeCache cache;
    MediaFacts facts;
    facts.opened = true;
    facts.durationText = QStringLiteral("00:00:07");
    cache.insert(QStringLiteral("/v/a.mp4"), {1000, 5000}, facts);
    const MediaFacts* hit = cache.find(lookedUp, {size, modified});
    QCOMPARE(hit != nullptr, found);
    if (hit)
        QCOMPARE(hit->durationText, QStringLiteral("00:00:07"));
}

void TestMediaProbe::cacheKeepsTheNewestResult()
{
    ProbeCache cache;
    MediaFacts before;
    before.opened = true;
    before.durationText = QStringLiteral("00:00:01");
    MediaFacts after = before;
    after.durationText = QStringLiteral("00:00:09");
    cache.insert(QStringLiteral("/v/a.mp4"), {10, 1}, before);
    cache.insert(QStringLiteral("/v/a.mp4"), {90, 2}, after);
    QVERIFY(!cache.find(QStringLiteral("/v/a.mp4"), {10, 1}));
    QCOMPARE(cache.find(QStringLiteral("/v/a.mp4"), {90, 2})->durationText,
             QStringLiteral("00:00:09"));
    // A file that is not there is never remembered.
    cache.insert(QStringLiteral("/v/gone.mp4"), {}, after);
    QCOMPARE(cache.size(), qsizetype(1));
    // Nor is a file the tool could not open (unreadable for now, the tool too slow), and what
    // was known of it goes.
    cache.insert(QStringLiteral("/v/a.mp4"), {90, 2}, MediaFacts());
    QVERIFY(!cache.find(QStringLiteral("/v/a.mp4"), {90, 2}));
    QCOMPARE(cache.size(), qsizetype(0));
}

QTEST_GUILESS_MAIN(TestMediaProbe)
#include "tst_mediaprobe.moc"
