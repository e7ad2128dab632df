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
    void workingNameRoundTrip_data();
    void workingNameRoundTrip();
    void notWorkingNames_data();
    void notWorkingNames();
    void freePaths_data();
    void freePaths();
    void leftovers();
    void statusText_data();
    void statusText();
};

void TestRecordNames::workingNameRoundTrip_data()
{
    QTest::addColumn<QString>("finalName");
    QTest::newRow("time name") << "2024-05-01 14-03-09.mp4";
    QTest::newRow("second in the same second") << "2024-05-01 14-03-09(1).mp4";
    QTest::newRow("non-ASCII") << "Aufnahme für Jörg.mp4";
}

void TestRecordNames::workingNameRoundTrip()
{
    QFETCH(QString, finalName);
    const QString work = workingFileName(finalName);
    QVERIFY2(work.startsWith(QLatin1Char('.')), "the working file must be hidden");
    QVERIFY(work != finalName);
    QCOMPARE(finalNameForWorkingFile(work), finalName);
    QVERIFY(isFinalisingFileName(finalisingFileName(finalName)));
    QVERIFY(finalNameForWorkingFile(finalisingFileName(finalName)).isEmpty());
}

void TestRecordNames::notWorkingNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("a recording") << "2024-05-01 14-03-09.mp4";
    QTest::newRow("not hidden") << "x.recording.mp4";
    QTest::newRow("only the suffix") << ".recording.mp4";
    QTest::newRow("another hidden file") << ".hidden.mp4";
}

void TestRecordNames::notWorkingNames()
{
    QFETCH(QString, name);
    QVERIFY(finalNameForWorkingFile(name).isEmpty());
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
                             ".2024-05-01 10-00-00.finalising.mp4", ".recording.mp4", "notes.txt"})
        touch(dir.filePath(QString::fromUtf8(name)));

    QCOMPARE(leftoverWorkingFiles(dir.path()),
             (QStringList{dir.filePath(".2024-05-01 09-00-00(1).recording.mp4"),
                          dir.filePath(".2024-05-01 10-00-00.recording.mp4")}));
    QCOMPARE(leftoverFinalisingFiles(dir.path()),
             QStringList{dir.filePath(".2024-05-01 10-00-00.finalising.mp4")});
    QVERIFY(leftoverWorkingFiles(tmp.filePath(QStringLiteral("missing"))).isEmpty());
}

void TestRecordNames::statusText_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("start") << qint64(0) << qint64(0) << "Recording... \n\n00:00:00\n\n0 Bytes";
    QTest::newRow("a minute") << qint64(65) << qint64(12939428)
                              << "Recording... \n\n00:01:05\n\n12.34 MB";
    QTest::newRow("over 100 hours")
        << qint64(360000) << qint64(1099511627776) << "Recording... \n\n100:00:00\n\n1.00 TB";
}

void TestRecordNames::statusText()
{
    QFETCH(qint64, seconds);
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(recordingStatusText(seconds, bytes), text);
}

QTEST_GUILESS_MAIN(TestRecordNames)
#include "tst_recordnames.moc"
