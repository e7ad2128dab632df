// The merge job's output name: time-stamped, 24-hour clock, never over an existing file.
#include "merge/MergeCommands.h"

#include <QtTest>

class TestMergeCommands : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void outputPath_data();
    void outputPath();
};

void TestMergeCommands::outputPath_data()
{
    QTest::addColumn<QString>("folderSuffix");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expected");

    const QDateTime morning(QDate(2024, 1, 2), QTime(3, 4, 5));
    const QDateTime afternoon(QDate(2023, 12, 31), QTime(15, 30, 0));
    QTest::newRow("morning") << QString() << morning << QStringList()
                             << QStringLiteral("Merge_2024-01-02 03-04-05.mp4");
    QTest::newRow("afternoon on the 24-hour clock")
        << QString() << afternoon << QStringList()
        << QStringLiteral("Merge_2023-12-31 15-30-00.mp4");
    QTest::newRow("folder text ending with a slash")
        << QStringLiteral("/") << morning << QStringList()
        << QStringLiteral("Merge_2024-01-02 03-04-05.mp4");
    QTest::newRow("a second job in the same second")
        << QString() << morning << QStringList{QStringLiteral("Merge_2024-01-02 03-04-05.mp4")}
        << QStringLiteral("Merge_2024-01-02 03-04-05(1).mp4");
    QTest::newRow("a third job in the same second")
        << QString() << morning
        << QStringList{QStringLiteral("Merge_2024-01-02 03-04-05.mp4"),
                       QStringLiteral("Merge_2024-01-02 03-04-05(1).mp4")}
        << QStringLiteral("Merge_2024-01-02 03-04-05(2).mp4");
}

void TestMergeCommands::outputPath()
{
    QFETCH(QString, folderSuffix);
    QFETCH(QDateTime, now);
    QFETCH(QStringList, existing);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString& name : existing) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QCOMPARE(mergeOutputPath(dir.path() + folderSuffix, now), dir.filePath(expected));
}

QTEST_GUILESS_MAIN(TestMergeCommands)
#include "tst_mergecommands.moc"
