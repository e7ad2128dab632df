// The cut editor's pure rules: probed durations and the names of output and working files.
#include "cut/CutLogic.h"
#include "library/FolderScan.h"
#include "support/Helpers.h"
#include "support/WorkingFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

class TestCutLogic : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void probedDuration_data();
    void probedDuration();
    void outputName_data();
    void outputName();
    void workingFileStaysOutOfLists();
};

void TestCutLogic::probedDuration_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("seconds");
    QTest::newRow("two minutes seven") << QStringLiteral("00:02:07") << qint64(127);
    QTest::newRow("hundred hours, cut to eight characters")
        << QStringLiteral("100:00:0") << qint64(360000);
    QTest::newRow("no duration printed") << QString() << qint64(-1);
    QTest::newRow("unknown length") << QStringLiteral("N/A, sta") << qint64(-1);
    QTest::newRow("short output") << QStringLiteral("00:02") << qint64(-1);
}

void TestCutLogic::probedDuration()
{
    QFETCH(QString, text);
    QFETCH(qint64, seconds);
    QCOMPARE(ProbeTextToSeconds(text), seconds);
}

void TestCutLogic::outputName_data()
{
    QTest::addColumn<QString>("source");    // file name of the source
    QTest::addColumn<QStringList>("taken"); // files already in the output folder
    QTest::addColumn<bool>("finalSlash");   // the folder text ends with "/"
    QTest::addColumn<QString>("expected");
    const QString clip = QStringLiteral("clip.mp4");
    QTest::newRow("free") << clip << QStringList() << false << QStringLiteral("Cut_clip.mp4");
    QTest::newRow("cut of a cut") << QStringLiteral("Cut_clip.mp4")
                                  << QStringList{QStringLiteral("Cut_clip.mp4")} << false
                                  << QStringLiteral("Cut_Cut_clip.mp4");
    QTest::newRow("folder with final slash")
        << clip << QStringList() << true << QStringLiteral("Cut_clip.mp4");
}

void TestCutLogic::outputName()
{
    QFETCH(QString, source);
    QFETCH(QStringList, taken);
    QFETCH(bool, finalSlash);
    QFETCH(QString, expected);
    QTemporaryDir out;
    for (const QString& name : taken) {
        QFile file(out.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString folder = out.path() + (finalSlash ? QStringLiteral("/") : QString());
    const QString path =
        GetRealFileName(CutOutputPath(folder, QStringLiteral("/videos/in/") + source));
    QCOMPARE(path, out.filePath(expected));
}

void TestCutLogic::workingFileStaysOutOfLists()
{
    QTemporaryDir out;
    // A final name as long as a name may be has a working name too.
    const QString longest = out.filePath(QStringLiteral("Cut_") + QString(121, QChar(0x00e9)) +
                                         QStringLiteral("x.mp4"));
    const QString longWork = ReserveWorkingFile(longest);
    QVERIFY(!longWork.isEmpty() && IsWorkingFileName(QFileInfo(longWork).fileName()));
    QVERIFY(QFile::remove(longWork));

    const QString finalPath = out.filePath(QStringLiteral("Cut_my clip.v2.mp4"));
    QString error;
    const QString work = ReserveWorkingFile(finalPath, &error);
    QVERIFY2(!work.isEmpty(), qPrintable(error));
    QCOMPARE(QFileInfo(work).absolutePath(), out.path());
    QVERIFY(work.endsWith(QLatin1String(".mp4"))); // the tool picks the container from it
    // A user's own hidden file is not taken for one of ours.
    for (const char* name : {".notes.part", ".trip.2024.part", ".holiday.v2.part.mp4",
                             ".clip.vistrel-notes.part.txt", ".holiday.mp4", "Cut_a.mp4"}) {
        QFile file(out.filePath(QString::fromUtf8(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QCOMPARE(WorkingFilesIn(out.path()), QStringList{work});
    QCOMPARE(ScanFolderNewestFirst(out.path()).size(), 1);
    QCOMPARE(MoveIntoPlace(work, finalPath), finalPath);
    QVERIFY(WorkingFilesIn(out.path()).isEmpty());

    // After a crash: what nobody holds goes, what a job still running holds stays, and a
    // user's own files are never touched.
    const QString left = ReserveWorkingFile(finalPath);
    const QString held = ReserveWorkingFile(finalPath);
    QVERIFY(QDir(out.path()).mkpath(QStringLiteral(".vistrel-merge-a1b2c3/pieces")));
    QVERIFY(QDir(out.path()).mkpath(QStringLiteral(".vistrel-merge-d4e5f6")));
    QVERIFY(QDir(out.path()).mkpath(QStringLiteral(".vistrel-cut-g7h8i9")));
    // Another user's, in a folder both write to (only root can make one here).
    QString others;
    if (::geteuid() == 0) {
        others = ReserveWorkingFile(finalPath);
        QVERIFY(::chown(QFile::encodeName(others).constData(), 65534, 65534) == 0);
    }
    WorkLock running;
    QVERIFY(running.acquire(held));
    WorkLock runningMerge;
    QVERIFY(runningMerge.acquire(out.filePath(QStringLiteral(".vistrel-merge-d4e5f6"))));
    QCOMPARE(RemoveLeftovers(out.path()),
             QStringList({left, out.filePath(QStringLiteral(".vistrel-cut-g7h8i9")),
                          out.filePath(QStringLiteral(".vistrel-merge-a1b2c3"))}));
    QStringList kept{QStringLiteral(".holiday.mp4"),
                     QStringLiteral(".notes.part"),
                     QStringLiteral(".trip.2024.part"),
                     QStringLiteral(".holiday.v2.part.mp4"),
                     QStringLiteral(".clip.vistrel-notes.part.txt"),
                     QFileInfo(held).fileName(),
                     QStringLiteral(".vistrel-merge-d4e5f6"),
                     QStringLiteral("Cut_a.mp4"),
                     QStringLiteral("Cut_my clip.v2.mp4")};
    if (!others.isEmpty())
        kept.append(QFileInfo(others).fileName());
    kept.sort();
    QCOMPARE(QDir(out.path())
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
             kept);
}

QTEST_GUILESS_MAIN(TestCutLogic)
#include "tst_cutlogic.moc"
