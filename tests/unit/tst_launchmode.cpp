// What the elevated copy is given to reach the user's desktop and sound server.
#include "app/LaunchMode.h"

#include <QTest>

class TestLaunchMode : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void relaunchKeepsTheSession_data();
    void relaunchKeepsTheSession();
};

void TestLaunchMode::relaunchKeepsTheSession_data()
{
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("X11 session with its sound server")
        << QStringList{"DISPLAY=:0", "XAUTHORITY=/run/user/1000/gdm/Xauthority",
                       "XDG_RUNTIME_DIR=/run/user/1000", "HOME=/home/u", "PATH=/usr/bin"}
        << "/opt/vistrel/vistrel"
        << QStringList{"env",
                       "DISPLAY=:0",
                       "XAUTHORITY=/run/user/1000/gdm/Xauthority",
                       "PULSE_SERVER=unix:/run/user/1000/pulse/native",
                       "/opt/vistrel/vistrel",
                       "start"};
    QTest::newRow("authority file in the user's home")
        << QStringList{"DISPLAY=:1", "HOME=/home/u"} << "/opt/vistrel/vistrel"
        << QStringList{"env", "DISPLAY=:1", "XAUTHORITY=/home/u/.Xauthority",
                       "/opt/vistrel/vistrel", "start"};
    QTest::newRow("executable path with blanks stays one argument")
        << QStringList{"DISPLAY=:0", "XAUTHORITY=/x"} << "/home/u/My Apps/Vistrel é/vistrel"
        << QStringList{"env", "DISPLAY=:0", "XAUTHORITY=/x", "/home/u/My Apps/Vistrel é/vistrel",
                       "start"};
}

void TestLaunchMode::relaunchKeepsTheSession()
{
    QFETCH(QStringList, environment);
    QFETCH(QString, executable);
    QFETCH(QStringList, arguments);
    QProcessEnvironment env;
    for (const QString& entry : environment)
        env.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    QCOMPARE(elevatedRelaunchArguments(env, executable), arguments);
}

QTEST_GUILESS_MAIN(TestLaunchMode)
#include "tst_launchmode.moc"
