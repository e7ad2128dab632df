// Time and size texts, free output names and free space, against real files and file systems.
#include "support/Helpers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/statvfs.h>

namespace
{

quint64 statvfsFree(const QByteArray& path)
{
    struct statvfs fs;
    if (::statvfs(path.constData(), &fs) != 0)
        return 0;
    return quint64(fs.f_bavail) * quint64(fs.f_frsize);
}

// Other programs write to the disk while the test runs.
bool nearlyEqual(quint64 a, quint64 b)
{
    const quint64 slack = 256ull << 20;
    return (a > b ? a - b : b - a) <= slack;
}

} // namespace

class TestHelpers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void timeText_data();
    void timeText();
    void sizeText_data();
    void sizeText();
    void freeName_data();
    void freeName();
    void freeSpaceOfRootAndRelativePaths();
    void folderProblem();
    void freeSpaceOfNonAsciiFolder_data();
    void freeSpaceOfNonAsciiFolder();
};

void TestHelpers::timeText_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("each field") << 3661ll << "01:01:01";
    QTest::newRow("more than a day") << 90061ll << "25:01:01";
    QTest::newRow("hundred hours") << 360000ll << "100:00:00";
}

void TestHelpers::timeText()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(GetTimeStringA(seconds)), text);
}

void TestHelpers::sizeText_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing") << 0ll << "0 Bytes";
    QTest::newRow("largest byte count") << 1023ll << "1023 Bytes";
    QTest::newRow("one kilobyte") << 1024ll << "1.00 KB";
    QTest::newRow("fraction") << 1536ll << "1.50 KB";
    QTest::newRow("rounds up to 1024 KB, not MB") << 1048575ll << "1024.00 KB";
    QTest::newRow("rounded to nearest") << 123456789ll << "117.74 MB";
    QTest::newRow("beyond 32 bits") << 6597069766656ll << "6.00 TB";
}

void TestHelpers::sizeText()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(GetFileSizeString(bytes)), text);
}

void TestHelpers::freeName_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<QString>("expected");
    QTest::newRow("free name kept") << QStringList{} << "a.mp4"
                                    << "a.mp4";
    QTest::newRow("taken") << QStringList{"Cut_a.mp4"} << "Cut_a.mp4"
                           << "Cut_a(1).mp4";
    QTest::newRow("(1) taken too") << QStringList{"Cut_a.mp4", "Cut_a(1).mp4"} << "Cut_a.mp4"
                                   << "Cut_a(2).mp4";
    QTest::newRow("several dots") << QStringList{"a.b.mp4"} << "a.b.mp4"
                                  << "a.b(1).mp4";
    QTest::newRow("no extension") << QStringList{"list"} << "list"
                                  << "list(1)";
    QTest::newRow("dot in the folder, none in the name") << QStringList{"v.1/list"} << "v.1/list"
                                                         << "v.1/list(1)";
    QTest::newRow("blanks and non-ASCII")
        << QStringList{"2024-05-01 10-00-00 Café 录像.mp4"} << "2024-05-01 10-00-00 Café 录像.mp4"
        << "2024-05-01 10-00-00 Café 录像(1).mp4";
    const QString full = QStringLiteral("Cut_") + QString(245, QLatin1Char('a'));
    QTest::newRow("a name filling 255 bytes is shortened, not refused")
        << QStringList{full + ".mp4"} << full + ".mp4" << full.chopped(1) + "(1).mp4";
    QTest::newRow("dangling link counts as taken") << QStringList{"a.mp4", "@a(1).mp4"} << "a.mp4"
                                                   << "a(2).mp4";
}

void TestHelpers::freeName()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, wanted);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString& name : existing) {
        if (name.startsWith(QLatin1Char('@'))) {
            QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath(name.mid(1))));
            continue;
        }
        QVERIFY(QDir(dir.path()).mkpath(QFileInfo(dir.filePath(name)).path()));
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QCOMPARE(GetRealFileName(dir.filePath(wanted)), dir.filePath(expected));
}

void TestHelpers::freeSpaceOfRootAndRelativePaths()
{
    unsigned high = 1;
    unsigned low = 1;
    QByteArray root("/");
    QCOMPARE(rsb_getFreeSpace(root.data(), 0, &high, &low), 0);
    const quint64 rootFree = quint64(high) << 32 | low;
    QVERIFY(rootFree > 0);
    QVERIFY2(nearlyEqual(rootFree, statvfsFree("/")), qPrintable(QString::number(rootFree)));

    QByteArray deep("/vistrel-no-such-folder/a/b/c/d");
    QCOMPARE(rsb_getFreeSpace(deep.data(), 0, &high, &low), 0);
    QVERIFY(nearlyEqual(quint64(high) << 32 | low, statvfsFree("/")));

    QByteArray relative("relative/dir");
    high = low = 1;
    QCOMPARE(rsb_getFreeSpace(relative.data(), 0, &high, &low), 0);
    QCOMPARE(high, 0u);
    QCOMPARE(low, 0u);
}

void TestHelpers::freeSpaceOfNonAsciiFolder_data()
{
    QTest::addColumn<QString>("below");
    QTest::newRow("the folder itself") << QString();
    QTest::newRow("a folder not made yet") << QStringLiteral("/new/deeper");
}

// A save folder on a disk other than "/" must be measured there: the tmpfs or disk that holds
// the temporary folder, not "/" (a name mangled to Latin-1 fell back to 0 or to another disk).
void TestHelpers::freeSpaceOfNonAsciiFolder()
{
    QFETCH(QString, below);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("Записи 录像 é"));
    QVERIFY(QDir().mkpath(folder));
    const quint64 expected = statvfsFree(QFile::encodeName(folder));
    QVERIFY(expected > 0);
    QVERIFY(nearlyEqual(GetFreeSpace(folder + below), expected));
}

void TestHelpers::folderProblem()
{
    // Run as root, as the tests are, permissions stand in nobody's way.
    QTemporaryDir tmp;
    const QString file = tmp.filePath(QStringLiteral("videos"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(FolderProblem(tmp.path()), QString());
    QCOMPARE(FolderProblem(tmp.filePath(QStringLiteral("new/deeper"))), QString());
    QCOMPARE(FolderProblem(file), file + QStringLiteral(" is a file"));
    QCOMPARE(FolderProblem(file + QStringLiteral("/2024")), file + QStringLiteral(" is a file"));
}

QTEST_GUILESS_MAIN(TestHelpers)
#include "tst_helpers.moc"
