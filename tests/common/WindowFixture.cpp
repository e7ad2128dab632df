// A window for the tests.
#include "WindowFixture.h"

#include "media/PulseListing.h"
#include "record/RecordingSession.h"

#include <QDir>
#include <QSettings>
#include <QTest>

namespace testui
{

std::unique_ptr<DRUI> makeWindow(const QString& iniDir, const QString& saveDir, bool recordPage)
{
    auto window = std::make_unique<DRUI>();
    window->m_strIniPath = QDir(iniDir).filePath(QStringLiteral("ScreenRecord.ini"));
    {
        QSettings settings(window->m_strIniPath, QSettings::IniFormat);
        settings.setValue(QStringLiteral("/screen_record/save_path"), saveDir);
    }
    window->Init();
    window->show();
    if (recordPage) {
        window->btnSlot();
        // The sound choices are listed in the background.
        const auto* listing = window->findChild<PulseListing*>();
        if (!QTest::qWaitFor([&] { return !listing || !listing->isRunning(); }, 30000))
            qWarning("the sound sources were not listed within 30 s");
    }
    return window;
}

RecordingSession& sessionOf(const DRUI& window)
{
    return *window.findChild<RecordingSession*>();
}

bool waitUntilLive(const DRUI& window, int ms)
{
    return QTest::qWaitFor(
        [&] { return sessionOf(window).state() == RecordingSession::State::Live; }, ms);
}

bool waitUntilIdle(const DRUI& window, int ms)
{
    return QTest::qWaitFor([&] { return !sessionOf(window).isBusy() && !DRUI::m_bIsStart; }, ms);
}

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace testui
