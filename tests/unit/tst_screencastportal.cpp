// Without any session bus (none in the environment), asking the portal is answered at once
// with the cause, as with a bus that went away, instead of waiting for ever.
#include "record/wayland/ScreenCastPortal.h"

#include <QDBusConnection>
#include <QSignalSpy>
#include <QTest>

class TestScreenCastPortal : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void noBusIsToldAtOnce();
};

void TestScreenCastPortal::noBusIsToldAtOnce()
{
    const QDBusConnection none(QStringLiteral("vistrel-never-connected"));
    QVERIFY(!none.isConnected());

    QString problem;
    bool told = false;
    checkScreenCastPortal(
        none, this,
        [&](const QString& text) {
            problem = text;
            told = true;
        },
        60000);
    QTRY_VERIFY_WITH_TIMEOUT(told, 2000);
    QVERIFY2(problem.contains(QLatin1String("no session bus")), qPrintable(problem));

    ScreenCastPortal portal(none);
    QSignalSpy failed(&portal, &ScreenCastPortal::failed);
    portal.start();
    QVERIFY(failed.wait(2000));
    QCOMPARE(failed.first().at(0).toString(), problem);
    QCOMPARE(failed.first().at(1).toBool(), false);
}

QTEST_GUILESS_MAIN(TestScreenCastPortal)
#include "tst_screencastportal.moc"
