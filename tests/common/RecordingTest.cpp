// The base of the recording tests.
#include "RecordingTest.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/types.h>

namespace rectest
{

bool prepareEnvironment(QString* why, const QString& homeDir)
{
    const bool wayland = qEnvironmentVariableIsSet("VISTREL_WAYLAND_DIR");
    const QString dir = qEnvironmentVariable(wayland ? "VISTREL_WAYLAND_DIR" : "VISTREL_AV_DIR");
    QFile env(dir + QStringLiteral("/env"));
    if (dir.isEmpty() || !env.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("no %1: run through ctest, whose fixture starts it (%2)")
                   .arg(wayland ? QStringLiteral("Wayland desktop")
                                : QStringLiteral("X display and sound server"),
                        dir);
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

QString recordThenKillProgram(const QString& saveDir, const QString& iniDir, const QString& home,
                              int recordMs, QString* why)
{
    QProcess program;
    program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/media_record_helper"),
                  {saveDir, iniDir, home});
    qint64 toolPid = 0;
    [[maybe_unused]] const bool answered = QTest::qWaitFor(
        [&] {
            const QByteArray line = program.readLine().trimmed();
            if (line.startsWith("LIVE "))
                toolPid = line.mid(5).toLongLong();
            return toolPid > 0 || program.state() == QProcess::NotRunning;
        },
        40000);
    if (toolPid <= 0) {
        *why = QStringLiteral("the program never recorded: ") +
               QString::fromLocal8Bit(program.readAllStandardError());
        killNow(program.processId());
        program.waitForFinished(5000);
        return {};
    }
    QTest::qWait(recordMs);
    killNow(program.processId());
    program.waitForFinished(5000);
    // Without the program the tool must not go on recording on its own.
    const bool toolEnded = QTest::qWaitFor([&] { return processGone(toolPid); }, 10000);
    if (!toolEnded) {
        killNow(toolPid);
        *why = QStringLiteral("the tool outlived the program");
        return {};
    }
    const QStringList left = testui::filesIn(saveDir);
    if (left.size() != 1) {
        *why = QStringLiteral("left in the save folder: ") + left.join(QStringLiteral(", "));
        return {};
    }
    return QDir(saveDir).filePath(left[0]);
}

bool PageRecording::start(const QString& sound)
{
    window = testui::makeWindow(tmp.path(), saveDir, true);
    if (!sound.isEmpty())
        DRUI::m_pAudioComBox->setCurrentIndex(DRUI::m_pAudioComBox->findText(sound));
    window->btnSlotRecord();
    return testui::waitUntilLive(*window);
}

} // namespace rectest
