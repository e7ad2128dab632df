// The merge job's percentage: conversions and join against the inputs' durations.
#include "merge/MergeProgress.h"

#include <QtTest>

class TestMergeProgress : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void steps_data();
    void steps();
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

QTEST_GUILESS_MAIN(TestMergeProgress)
#include "tst_mergeprogress.moc"
