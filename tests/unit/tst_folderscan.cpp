// The folder scan on real folders: which files are listed and in which order.
#include "library/FolderScan.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

// Creates `name` under `dir` with `bytes` bytes, modified at `when` (local time).
void makeFile(const QString& dir, const QString& name, const QDateTime& when, int bytes = 10)
{
    const QString path = dir + QLatin1Char('/') + name;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(QByteArray(bytes, 'x'));
    QVERIFY(file.flush()); // a later flush would stamp the time of the write
    QVERIFY(file.setFileTime(when, QFileDevice::FileModificationTime));
}

QStringList namesOf(const QVector<_FILE_INFO_>& list)
{
    QStringList names;
    for (const _FILE_INFO_& info : list)
        names << FileNameOf(info);
    return names;
}

QDateTime at(const QString& text)
{
    return QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

class TestFolderScan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void listsMp4FilesOfOneLevel_data();
    void listsMp4FilesOfOneLevel();
    void newestFirst_data();
    void newestFirst();
    void recordCarriesSizeAndTime();
    void nothingToList_data();
    void nothingToList();
};

void TestFolderScan::listsMp4FilesOfOneLevel_data()
{
    QTest::addColumn<bool>("finalSlash");
    QTest::newRow("folder without final slash") << false;
    QTest::newRow("folder with final slash") << true;
}

void TestFolderScan::listsMp4FilesOfOneLevel()
{
    QFETCH(bool, finalSlash);
    QTemporaryDir dir;
    const QDateTime t = at(QStringLiteral("2023-05-01 12:00:00"));
    for (const char* name :
         {"clip.mp4", "CLIP.MP4", "a.Mp4", "x.tar.mp4", "clip.mov", "clip.mp4.part", "mp4",
          ".clip.mp4", "sub/deep.mp4", "videos.mp4/inner.mp4"})
        makeFile(dir.path(), QString::fromUtf8(name), t);

    QVector<_FILE_INFO_> list;
    TraverseFolder(dir.path() + (finalSlash ? QStringLiteral("/") : QString()), list);

    QStringList names = namesOf(list);
    names.sort();
    QCOMPARE(names, QStringList({QStringLiteral("CLIP.MP4"), QStringLiteral("a.Mp4"),
                                 QStringLiteral("clip.mp4"), QStringLiteral("x.tar.mp4")}));
}

void TestFolderScan::newestFirst_data()
{
    QTest::addColumn<QStringList>("times"); // of a.mp4, b.mp4, c.mp4 in that order
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("across a year")
        << QStringList{QStringLiteral("2019-12-31 23:59:59"), QStringLiteral("2020-01-01 00:00:00"),
                       QStringLiteral("2019-06-01 08:00:00")}
        << QStringList{QStringLiteral("b.mp4"), QStringLiteral("a.mp4"), QStringLiteral("c.mp4")};
    QTest::newRow("afternoon after morning")
        << QStringList{QStringLiteral("2023-10-05 09:00:00"), QStringLiteral("2023-10-05 21:00:00"),
                       QStringLiteral("2023-10-05 13:00:00")}
        << QStringList{QStringLiteral("b.mp4"), QStringLiteral("c.mp4"), QStringLiteral("a.mp4")};
}

void TestFolderScan::newestFirst()
{
    QFETCH(QStringList, times);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    const QStringList names{QStringLiteral("a.mp4"), QStringLiteral("b.mp4"),
                            QStringLiteral("c.mp4")};
    for (int i = 0; i < names.size(); ++i)
        makeFile(dir.path(), names.at(i), at(times.at(i)));

    QCOMPARE(namesOf(ScanFolderNewestFirst(dir.path())), expected);
}

void TestFolderScan::recordCarriesSizeAndTime()
{
    QTemporaryDir dir;
    makeFile(dir.path(), QStringLiteral("ünï clip.mp4"), at(QStringLiteral("2021-03-04 05:06:07")),
             1234);
    const QVector<_FILE_INFO_> list = ScanFolderNewestFirst(dir.path());
    QCOMPARE(list.size(), 1);
    QCOMPARE(FileNameOf(list.first()), QStringLiteral("ünï clip.mp4"));
    QCOMPARE(list.first().n64FileSize, qint64(1234));
    QCOMPARE(ModifyTimeOf(list.first()), QStringLiteral("2021-03-04 05:06:07"));
    QVERIFY(list.first().strDuration.empty());
}

void TestFolderScan::nothingToList_data()
{
    QTest::addColumn<QString>("folder"); // relative to a fresh temporary folder
    QTest::newRow("folder that does not exist") << QStringLiteral("missing");
    QTest::newRow("folder without mp4 files") << QStringLiteral("other");
}

void TestFolderScan::nothingToList()
{
    QFETCH(QString, folder);
    QTemporaryDir dir;
    makeFile(dir.path(), QStringLiteral("other/notes.txt"), QDateTime::currentDateTime());
    makeFile(dir.path(), QStringLiteral("other/sub/clip.mp4"), QDateTime::currentDateTime());
    QVERIFY(ScanFolderNewestFirst(dir.path() + QLatin1Char('/') + folder).isEmpty());
}

QTEST_GUILESS_MAIN(TestFolderScan)
#include "tst_folderscan.moc"
