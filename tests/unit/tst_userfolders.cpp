// The one-time move of the settings an earlier version kept beside the executable. (The state
// folder is checked where it is made: process/tst_launch and the install check.)
#include "app/UserFolders.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestUserFolders : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void earlierSettings_data();
    void earlierSettings();
    void saveFolderFromSetting_data();
    void saveFolderFromSetting();
};

void TestUserFolders::earlierSettings_data()
{
    QTest::addColumn<QString>("earlier"); // the save folder in the file beside the executable
    QTest::addColumn<QString>("current"); // the save folder in the user's file, if any
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("saveFolder"); // what the user's file holds afterwards

    QTest::newRow("earlier values move, non-ASCII kept")
        << "/home/u/Vidéos/Écran ü"
        << "" << int(SettingsAdoption::Adopted) << "/home/u/Vidéos/Écran ü";
    QTest::newRow("the user's file wins")
        << "/old"
        << "/home/u/ScreenSave" << int(SettingsAdoption::Kept) << "/home/u/ScreenSave";
    QTest::newRow("no earlier file") << ""
                                     << "" << int(SettingsAdoption::NothingEarlier) << "";
}

void TestUserFolders::earlierSettings()
{
    QFETCH(QString, earlier);
    QFETCH(QString, current);
    QFETCH(int, outcome);
    QFETCH(QString, saveFolder);
    const QString key = QStringLiteral("/screen_record/save_path");
    QTemporaryDir dir;
    const QString earlierFile = settingsFileIn(dir.filePath(QStringLiteral("lib/vistrel")));
    // The config folder does not exist yet on a first start.
    const QString settingsFile = settingsFileIn(dir.filePath(QStringLiteral("config/Vistrel")));
    if (!earlier.isEmpty()) {
        QVERIFY(QDir().mkpath(QFileInfo(earlierFile).path()));
        QSettings(earlierFile, QSettings::IniFormat).setValue(key, earlier);
    }
    if (!current.isEmpty())
        QSettings(settingsFile, QSettings::IniFormat).setValue(key, current);

    QString error;
    QCOMPARE(int(adoptEarlierSettings(earlierFile, settingsFile, &error)), outcome);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(QSettings(settingsFile, QSettings::IniFormat).value(key).toString(), saveFolder);
    if (!earlier.isEmpty())
        QCOMPARE(QSettings(earlierFile, QSettings::IniFormat).value(key).toString(), earlier);
}

void TestUserFolders::saveFolderFromSetting_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("folder");
    QTest::newRow("none: the default") << ""
                                       << "/home/u/ScreenSave";
    QTest::newRow("the home's sign") << "~/Videos"
                                     << "/home/u/Videos";
    QTest::newRow("relative, dash first: in the home") << "-rel dir/x"
                                                       << "/home/u/-rel dir/x";
    QTest::newRow("absolute, ending in a slash") << "/media/u/USB/"
                                                 << "/media/u/USB";
}

void TestUserFolders::saveFolderFromSetting()
{
    QFETCH(QString, stored);
    QFETCH(QString, folder);
    QCOMPARE(::saveFolderFromSetting(stored, QStringLiteral("/home/u")), folder);
}

QTEST_GUILESS_MAIN(TestUserFolders)
#include "tst_userfolders.moc"
