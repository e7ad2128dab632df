// The home page, its top button bar on every page, and the tray icon.
#include "ModalAnswerer.h"
#include "WindowFixture.h"
#include "app/DRUI.h"

#include <QAction>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStackedLayout>
#include <QSystemTrayIcon>
#include <QUrl>
#include <QtTest>
#include <memory>

// Receives the URLs the program asks the desktop to open.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl& url) { urls.append(url); }
};

class TestShell : public QObject
{
    Q_OBJECT

    std::unique_ptr<DRUI> m_window;
    QTemporaryDir m_dir;
    UrlCatcher m_catcher;

    QPushButton* tile(const QString& textStart) const
    {
        for (QPushButton* b : m_window->m_pLayout1Widget->findChildren<QPushButton*>()) {
            if (b->text().startsWith(textStart))
                return b;
        }
        return nullptr;
    }

    static QList<QPushButton*> topButtonsAt(QWidget* page, int x)
    {
        QList<QPushButton*> found;
        for (QPushButton* b : page->findChildren<QPushButton*>()) {
            if (b->geometry() == QRect(x, 40, 19, 19))
                found.append(b);
        }
        return found;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_catcher, "open");
        m_window = testui::makeWindow(m_dir.path(), m_dir.path());
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        m_window.reset();
    }

    void tilesLeadToTheirPagesAndBackReturnsHome_data()
    {
        QTest::addColumn<QString>("tileText");
        QTest::addColumn<int>("page");

        QTest::newRow("Record") << "The easiest screen recorder" << 1;
        QTest::newRow("Merge") << "Merge your several" << 3;
        QTest::newRow("Cut") << "Trim your capturing" << 2;
    }

    void tilesLeadToTheirPagesAndBackReturnsHome()
    {
        QFETCH(QString, tileText);
        QFETCH(int, page);

        QCOMPARE(m_window->m_pStackedLayout->currentIndex(), 0);
        QPushButton* button = tile(tileText);
        QVERIFY(button);
        QVERIFY(!button->icon().isNull());
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(m_window->m_pStackedLayout->currentIndex(), page);
        m_window->btnSlotBack();
        QCOMPARE(m_window->m_pStackedLayout->currentIndex(), 0);
    }

    void topButtonsOpenShippedPages_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("x");
        QTest::addColumn<QString>("file");

        const char* pages[] = {"home", "record", "cut", "merge"};
        for (int page = 0; page < 4; ++page) {
            QTest::addRow("%s: help", pages[page]) << page << 910 << "help.html";
            QTest::addRow("%s: support", pages[page]) << page << 940 << "support.html";
            QTest::addRow("%s: about", pages[page]) << page << 970 << "about.html";
        }
    }

    void topButtonsOpenShippedPages()
    {
        QFETCH(int, page);
        QFETCH(int, x);
        QFETCH(QString, file);

        const QList<QPushButton*> buttons =
            topButtonsAt(m_window->m_pStackedLayout->widget(page), x);
        QCOMPARE(buttons.size(), 1);
        QVERIFY(!buttons.first()->icon().isNull());

        m_catcher.urls.clear();
        QTest::mouseClick(buttons.first(), Qt::LeftButton);
        QCOMPARE(m_catcher.urls.size(), 1);
        const QUrl url = m_catcher.urls.first();
        QVERIFY(url.isLocalFile());
        const QString expected = QCoreApplication::applicationDirPath() + "/doc/" + file;
        QCOMPARE(QFileInfo(url.toLocalFile()).absoluteFilePath(),
                 QFileInfo(expected).absoluteFilePath());
        QVERIFY2(QFileInfo(url.toLocalFile()).isFile(), qPrintable(url.toLocalFile()));
    }

    void pageWithoutAProgramIsNamed()
    {
        // No program takes the page (as on a desktop without a browser): its path is told.
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        testui::ModalAnswerer boxes;
        m_window->btnHelpSlot();
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_catcher, "open");
        QCOMPARE(boxes.texts().size(), 1);
        QVERIFY2(boxes.texts().first().startsWith(QLatin1String("No program could open")) &&
                     boxes.texts().first().endsWith(QLatin1String("/doc/help.html")),
                 qPrintable(boxes.texts().first()));
    }

    void saveFolderThatCannotBeRememberedIsTold()
    {
        // The settings' folder is a file: no user, root included, can write the settings.
        QFile blocker(m_dir.filePath(QStringLiteral("not a folder")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        const QString ini = m_window->m_strIniPath;
        m_window->m_strIniPath = blocker.fileName() + QStringLiteral("/ScreenRecord.ini");
        testui::ModalAnswerer boxes;
        boxes.folder = m_dir.path();
        m_window->btnSlotLayout2Dir();
        m_window->m_strIniPath = ini;
        QCOMPARE(m_window->m_pRecordDirEdit->text(), m_dir.path());
        QCOMPARE(boxes.texts().size(), 1);
        QVERIFY2(boxes.texts().first().contains(QLatin1String("cannot be remembered")),
                 qPrintable(boxes.texts().first()));
    }

    void recordTileKeepsOneTrayIcon()
    {
        QPushButton* record = tile(QStringLiteral("The easiest"));
        QVERIFY(record);
        QTest::mouseClick(record, Qt::LeftButton);
        QSystemTrayIcon* first = m_window->m_pTrayIcon;
        QVERIFY(first);
        // Built, but shown only when a recording starts.
        QVERIFY(!first->isVisible());
        m_window->btnSlotBack();
        QTest::mouseClick(record, Qt::LeftButton);
        m_window->btnSlotBack();

        QCOMPARE(m_window->m_pTrayIcon, first);
        QCOMPARE(m_window->findChildren<QSystemTrayIcon*>().size(), 1);
        QCOMPARE(first->contextMenu(), m_window->m_pTrayIcon->contextMenu());
        QCOMPARE(m_window->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
    }

    void trayMenuEntries()
    {
        m_window->CreateSystemTray();
        const QList<QAction*> actions = m_window->m_pTrayIcon->contextMenu()->actions();
        QCOMPARE(actions.size(), 3);
        QVERIFY2(!actions.at(0)->isEnabled(), "Pause must never be enabled");
        QVERIFY(actions.at(1)->isEnabled());
        QVERIFY(actions.at(2)->isEnabled());

        // Choosing the disabled Pause does nothing to the window.
        actions.at(0)->trigger();
        QVERIFY(m_window->isVisible());
        QVERIFY(!DRUI::m_bIsStart);
    }

    void trayActivationBringsWindowBack_data()
    {
        QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
        QTest::addColumn<bool>("shown");

        QTest::newRow("click") << QSystemTrayIcon::Trigger << true;
        QTest::newRow("context menu") << QSystemTrayIcon::Context << false;
    }

    void trayActivationBringsWindowBack()
    {
        QFETCH(QSystemTrayIcon::ActivationReason, reason);
        QFETCH(bool, shown);

        m_window->CreateSystemTray();
        m_window->hide();
        Q_EMIT m_window->m_pTrayIcon->activated(reason);
        QCOMPARE(m_window->isVisible(), shown);
        m_window->show();
    }

    // Last: the window closes for good.
    void quitWithoutRecordingClosesWindow()
    {
        m_window->CreateSystemTray();
        QVERIFY(m_window->isVisible());
        m_window->m_pTrayIcon->contextMenu()->actions().at(2)->trigger();
        QVERIFY(!m_window->isVisible());
        QVERIFY(!DRUI::m_bIsStart);
    }
};

VISTREL_UI_TEST_MAIN(TestShell)
#include "tst_shell.moc"
