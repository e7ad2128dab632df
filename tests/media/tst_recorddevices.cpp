// The record page against a real sound server: the sound choices it finds, the save folder it
// shows and the free space it measures.
#include "RecordingTest.h"
#include "media/PulseListing.h"
#include "support/Helpers.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestRecordDevices : public QObject
{
    Q_OBJECT
public:
    TestRecordDevices(bool ready, const QString& why) : m_ready(ready), m_why(why) {}

private Q_SLOTS:
    void initTestCase();
    void soundChoices_data();
    void soundChoices();
    void saveFolder_data();
    void saveFolder();
    void chooseFolder_data();
    void chooseFolder();

private:
    bool m_ready;
    QString m_why;
};

void TestRecordDevices::initTestCase()
{
    if (!m_ready)
        QSKIP(qPrintable(m_why));
}

void TestRecordDevices::soundChoices_data()
{
    QTest::addColumn<bool>("serverReachable");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QList<int>>("data");

    // The fixture's sources, in listed order: speakers.monitor, micsink.monitor, mic.
    QTest::newRow("microphone and computer sounds")
        << true
        << QStringList{"Computer sounds and Microphone", "Computer sounds", "Microphone", "None"}
        << QList<int>{-1, 0, 2, -2};
    QTest::newRow("no sound server") << false << QStringList{"None"} << QList<int>{-2};
}

void TestRecordDevices::soundChoices()
{
    QFETCH(bool, serverReachable);
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, data);

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
    const auto* listing = window.findChild<PulseListing*>();
    QVERIFY(listing && listing->isRunning());
    QComboBox* box = DRUI::m_pAudioComBox;
    QCOMPARE(box->count(), 1);
    QCOMPARE(box->currentText(), QStringLiteral("None"));
    window.show();
    window.btnSlot();

    QTRY_VERIFY_WITH_TIMEOUT(!listing->isRunning(), 30000);
    QCOMPARE(box->count(), int(texts.size()));
    for (int i = 0; i < box->count(); ++i) {
        QCOMPARE(box->itemText(i), texts[i]);
        QCOMPARE(box->itemData(i).toInt(), data[i]);
    }
    QCOMPARE(box->currentIndex(), 0);

    // Shown again, the page lists again (a server started or a headset plugged in meanwhile),
    // keeping a choice still offered.
    box->setCurrentIndex(box->count() - 2);
    const QString chosen =
        serverReachable ? box->currentText() : QStringLiteral("Computer sounds and Microphone");
    window.btnSlotBack();
    window.btnSlot();
    QVERIFY(listing->isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!listing->isRunning(), 30000);
    QCOMPARE(box->count(), 4);
    QCOMPARE(box->currentText(), chosen);
}

void TestRecordDevices::saveFolder_data()
{
    QTest::addColumn<bool>("configured");
    QTest::addColumn<QString>("folder");

    QTest::newRow("first start: home + /ScreenSave, not created, not written") << false << "";
    QTest::newRow("blanks and non-ASCII, not yet existing")
        << true << "Aufnahmen für Jörg/録画 2024/neu";
    QTest::newRow("cannot be made: no figure, the reason") << true << "a file/videos";
}

void TestRecordDevices::saveFolder()
{
    QFETCH(bool, configured);
    QFETCH(QString, folder);

    QTemporaryDir tmp;
    const QString ini = tmp.filePath(QStringLiteral("ScreenRecord.ini"));
    DRUI window;
    window.m_strIniPath = ini;
    QString expected = QDir::homePath() + QStringLiteral("/ScreenSave");
    const bool blocked = folder.startsWith(QLatin1String("a file/"));
    if (blocked)
        QVERIFY(QFile(tmp.filePath(QStringLiteral("a file"))).open(QIODevice::WriteOnly));
    if (configured) {
        expected = tmp.filePath(folder);
        QSettings settings(ini, QSettings::IniFormat);
        settings.setValue(QStringLiteral("/screen_record/save_path"), expected);
    }
    window.Init();

    QCOMPARE(window.m_pRecordDirEdit->text(), expected);
    QVERIFY(!window.m_pRecordDirEdit->isEnabled());
    QCOMPARE(QFileInfo::exists(ini), configured);
    QVERIFY(!QFileInfo::exists(expected));
    // Measured on the nearest existing folder, whatever its name: a Latin-1 conversion made
    // such folders measure 0 bytes.
    const QString free = window.m_pFreeSpaceLabel->text();
    if (blocked) {
        QCOMPARE(free, QStringLiteral("Not available"));
        QVERIFY(window.m_pFreeSpaceLabel->toolTip().endsWith(QLatin1String("a file is a file")));
        return;
    }
    QVERIFY2(free != QLatin1String("0 Bytes") && free != QLatin1String("Unknow"), qPrintable(free));
}

void TestRecordDevices::chooseFolder_data()
{
    QTest::addColumn<bool>("choose");
    QTest::newRow("cancel changes nothing") << false;
    QTest::newRow("a chosen folder is kept, measured and remembered") << true;
}

void TestRecordDevices::chooseFolder()
{
    QFETCH(bool, choose);

    QTemporaryDir tmp;
    const QString ini = tmp.filePath(QStringLiteral("ScreenRecord.ini"));
    const QString chosen = tmp.filePath(QStringLiteral("Filme für Jörg"));
    QVERIFY(QDir().mkpath(chosen));
    auto window = std::make_unique<DRUI>();
    window->m_strIniPath = ini;
    window->Init();
    const QString before = window->m_pRecordDirEdit->text();
    const QString freeBefore = window->m_pFreeSpaceLabel->text();

    {
        testui::ModalAnswerer answer;
        if (choose)
            answer.folder = chosen;
        window->btnSlotLayout2Dir();
    }

    if (!choose) {
        QCOMPARE(window->m_pRecordDirEdit->text(), before);
        QCOMPARE(window->m_pFreeSpaceLabel->text(), freeBefore);
        QVERIFY(!QFileInfo::exists(ini));
        return;
    }
    QCOMPARE(window->m_pRecordDirEdit->text(), chosen);
    QCOMPARE(window->m_pFreeSpaceLabel->text(),
             QString::fromStdString(GetFileSizeString(qint64(GetFreeSpace(chosen)))));
    window.reset();
    DRUI again;
    again.m_strIniPath = ini;
    again.Init();
    QCOMPARE(again.m_pRecordDirEdit->text(), chosen);
}

RECTEST_MAIN(TestRecordDevices)
#include "tst_recorddevices.moc"
