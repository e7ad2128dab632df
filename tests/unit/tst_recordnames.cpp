// Names of recordings: the time name, the "(n)" forms, working files and their recovery names.
#include "record/RecordNames.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace
{

void touch(const QString& path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

} // namespace

class TestRecordNames : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void workingNames_data();
    void workingNames();
    void freePaths_data();
    void freePaths();
    void leftovers();
};

void TestRecordNames::workingNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("finalName"); // what a recovery names it; empty: not a working file

    QTest::newRow("time name") << workingFileName("2024-05-01 14-03-09.mp4")
                               << "2024-05-01 14-03-09.mp4";
    QTest::newRow("second in the same second")
        << workingFileName("2024-05-01 14-03-09(1).mp4") << "2024-05-01 14-03-09(1).mp4";
    QTest::newRow("non-ASCII") << workingFileName("Aufnahme für Jörg.mp4")
                               << "Aufnahme für Jörg.mp4";
    QTest::newRow("a recording") << "2024-05-01 14-03-09.mp4"
                                 << "";
    QTest::newRow("a finalising copy") << ".2024-05-01 14-03-09.k3x9.part.mp4"
                                       << "";
    QTest::newRow("not hidden") << "x.recording.mp4"
                                << "";
    QTest::newRow("only the suffix") << ".recording.mp4"
                                     << "";
}

void TestRecordNames::workingNames()
{
    QFETCH(QString, name);
    QFETCH(QString, finalName);
    QCOMPARE(finalNameForWorkingFile(name), finalName);
    if (!finalName.isEmpty())
        QVERIFY2(name.startsWith(QLatin1Char('.')), "a working file must be hidden");
}

void TestRecordNames::freePaths_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expected");

    QTest::newRow("free") << QStringList{} << "2024-05-01 14-03-09.mp4";
    QTest::newRow("taken by a recording")
        << QStringList{"2024-05-01 14-03-09.mp4"} << "2024-05-01 14-03-09(1).mp4";
    QTest::newRow("taken by a recording still being written")
        << QStringList{".2024-05-01 14-03-09.recording.mp4"} << "2024-05-01 14-03-09(1).mp4";
    QTest::newRow("(1) taken too")
        << QStringList{"2024-05-01 14-03-09.mp4", ".2024-05-01 14-03-09(1).recording.mp4"}
        << "2024-05-01 14-03-09(2).mp4";
}

void TestRecordNames::freePaths()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, expected);

    QTemporaryDir tmp;
    const QString dir = tmp.filePath(QStringLiteral("Screen Säve"));
    QVERIFY(QDir().mkpath(dir));
    for (const QString& name : existing)
        touch(QDir(dir).filePath(name));

    const QDateTime start(QDate(2024, 5, 1), QTime(14, 3, 9));
    const RecordingPaths paths = chooseRecordingPaths(dir, start);
    QCOMPARE(paths.finalPath, QDir(dir).filePath(expected));
    QCOMPARE(paths.workPath, QDir(dir).filePath(workingFileName(expected)));
}

void TestRecordNames::leftovers()
{
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    for (const char* name : {"2024-05-01 10-00-00.mp4", ".2024-05-01 10-00-00.recording.mp4",
                             ".2024-05-01 09-00-00(1).recording.mp4",
                             ".2024-05-01 10-00-00.k3x9.part.mp4", ".recording.mp4", "notes.txt"})
        touch(dir.filePath(QString::fromUtf8(name)));

    QCOMPARE(leftoverWorkingFiles(dir.path()),
             (QStringList{dir.filePath(".2024-05-01 09-00-00(1).recording.mp4"),
                          dir.filePath(".2024-05-01 10-00-00.recording.mp4")}));
    QVERIFY(leftoverWorkingFiles(tmp.filePath(QStringLiteral("missing"))).isEmpty());
}

QTEST_GUILESS_MAIN(TestRecordNames)
#include "tst_recordnames.moc"
