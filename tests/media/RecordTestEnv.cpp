// Shared set-up of the recording tests: the private X display and sound server, an offscreen
// Qt screen of the same size, a window that records into a given folder, and message boxes
// answered as they appear.
#include "RecordTestEnv.h"

#include "MediaTestUtil.h"
#include "dialogs/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QStackedLayout>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/types.h>

namespace rectest
{

bool prepareEnvironment(QString* why, const QString& homeDir)
{
    const QString dir = qEnvironmentVariable("VISTREL_AV_DIR");
    QFile env(dir + QStringLiteral("/env"));
    if (dir.isEmpty() || !env.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("no X display and sound server: run through ctest, whose fixture "
                              "starts them (VISTREL_AV_DIR=%1)")
                   .arg(dir);
        return false;
    }
    QString size = QStringLiteral("640x480");
    for (const QByteArray& line : env.readAll().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        const QByteArray key = line.left(eq);
        const QByteArray value = line.mid(eq + 1).trimmed();
        if (key == "SCREEN_SIZE")
            size = QString::fromUtf8(value);
        else
            qputenv(key.constData(), value);
    }

    // Lives as long as the process: HOME, the offscreen screen's description.
    static QTemporaryDir temporary;
    const QDir home(homeDir.isEmpty() ? temporary.path() : homeDir);
    QDir().mkpath(home.path());
    qputenv("HOME", home.path().toUtf8());
    const QStringList wh = size.split(QLatin1Char('x'));
    const QString config = home.filePath(QStringLiteral("screen.json"));
    QFile json(config);
    if (wh.size() != 2 || !json.open(QIODevice::WriteOnly)) {
        *why = QStringLiteral("cannot describe the offscreen screen");
        return false;
    }
    json.write(QStringLiteral("{\"screens\":[{\"name\":\"x\",\"x\":0,\"y\":0,\"width\":%1,"
                              "\"height\":%2,\"logicalDpi\":96,\"logicalBaseDpi\":96,\"dpr\":1}]}")
                   .arg(wh[0], wh[1])
                   .toUtf8());
    json.close();
    qputenv("QT_QPA_PLATFORM", QStringLiteral("offscreen:configfile=%1").arg(config).toUtf8());
    return true;
}

BoxAnswerer::BoxAnswerer()
{
    connect(&m_timer, &QTimer::timeout, this, &BoxAnswerer::answer);
    m_timer.start(50);
}

void BoxAnswerer::answer()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        if (!w->isVisible())
            continue;
        if (auto* box = qobject_cast<CMessageBox*>(w)) {
            titles << box->windowTitle();
            texts << (box->m_pMessageLabel ? box->m_pMessageLabel->text() : QString());
            box->btnSlotOK();
        } else if (auto* std = qobject_cast<QMessageBox*>(w)) {
            titles << std->windowTitle();
            texts << std->text();
            std->accept();
        }
    }
}

std::unique_ptr<DRUI> makeWindow(const QString& iniDir, const QString& saveDir)
{
    auto window = std::make_unique<DRUI>();
    window->m_strIniPath = QDir(iniDir).filePath(QStringLiteral("ScreenRecord.ini"));
    {
        QSettings settings(window->m_strIniPath, QSettings::IniFormat);
        settings.setValue(QStringLiteral("/screen_record/save_path"), saveDir);
    }
    window->Init();
    window->show();
    window->btnSlot();
    // The sound choices are listed in the background.
    if (!QTest::qWaitFor([&] { return !window->AudioDevicesPending(); }, 30000))
        qWarning("the sound sources were not listed within 30 s");
    return window;
}

bool waitUntilLive(DRUI& window, int ms)
{
    return QTest::qWaitFor([&] { return window.m_bRecordLive; }, ms);
}

bool waitUntilIdle(DRUI& window, int ms)
{
    return QTest::qWaitFor([&] { return !window.IsRecordingBusy() && !window.m_bIsStart; }, ms);
}

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

double firstPictureTime(const QString& path)
{
    return testutil::firstVideoFrameTime(path);
}

void killNow(qint64 pid)
{
    if (pid > 0)
        ::kill(pid_t(pid), SIGKILL);
}

bool processGone(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    // "pid (comm) S ...": the state follows the closing parenthesis.
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && text.mid(close + 2, 1) == "Z";
}

} // namespace rectest
