// The sound sources are listed while the window is built and shown, not before: the window
// is whole and "None" can be chosen at once, and the choices arrive when the listing ends.
#include "RecordTestEnv.h"

#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>

class TestDeviceListing : public QObject
{
    Q_OBJECT
public:
    TestDeviceListing(bool ready, const QString& why) : m_ready(ready), m_why(why) {}

private Q_SLOTS:
    void initTestCase();
    void choicesArriveAfterTheWindowIsUp_data();
    void choicesArriveAfterTheWindowIsUp();

private:
    bool m_ready;
    QString m_why;
};

void TestDeviceListing::initTestCase()
{
    if (!m_ready)
        QSKIP(qPrintable(m_why));
}

void TestDeviceListing::choicesArriveAfterTheWindowIsUp_data()
{
    QTest::addColumn<bool>("serverReachable");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("sound server up")
        << true
        << QStringList{"Computer sounds and Microphone", "Computer sounds", "Microphone", "None"};
    QTest::newRow("no sound server") << false << QStringList{"None"};
}

void TestDeviceListing::choicesArriveAfterTheWindowIsUp()
{
    QFETCH(bool, serverReachable);
    QFETCH(QStringList, texts);

    const QByteArray server = qgetenv("PULSE_SERVER");
    if (!serverReachable)
        qputenv("PULSE_SERVER", "unix:/nonexistent/vistrel/native");
    QTemporaryDir tmp;
    DRUI window;
    window.m_strIniPath = tmp.filePath(QStringLiteral("ScreenRecord.ini"));
    window.Init();
    qputenv("PULSE_SERVER", server);

    // Init has not waited for the tool: the listing is still going, and the box already
    // offers "None", chosen.
    QVERIFY(window.AudioDevicesPending());
    QComboBox* box = DRUI::m_pAudioComBox;
    QCOMPARE(box->count(), 1);
    QCOMPARE(box->currentText(), QStringLiteral("None"));
    window.show();
    window.btnSlot();

    QTRY_VERIFY_WITH_TIMEOUT(!window.AudioDevicesPending(), 30000);
    QStringList shown;
    for (int i = 0; i < box->count(); ++i)
        shown.append(box->itemText(i));
    QCOMPARE(shown, texts);
    QCOMPARE(box->currentIndex(), 0);
    QCOMPARE(box->itemData(box->count() - 1).toInt(), -2);
}

RECTEST_MAIN(TestDeviceListing)
#include "tst_devicelisting.moc"
