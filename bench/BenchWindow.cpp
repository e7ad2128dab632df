// The window as the benchmarks drive it.
#include "BenchWindow.h"

#include "BenchUtil.h"
#include "dialogs/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

namespace bench
{

bool prepareWindowEnvironment(const QString& work, const QString& screenSize)
{
    const QString home = work + QStringLiteral("/home");
    const QString runtime = work + QStringLiteral("/runtime");
    if (!QDir().mkpath(home) || !QDir().mkpath(runtime))
        return false;
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    if (screenSize.isEmpty()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return true;
    }
    const QStringList wh = screenSize.split(QLatin1Char('x'));
    const QString config = work + QStringLiteral("/screen.json");
    QFile json(config);
    if (wh.size() != 2 || !json.open(QIODevice::WriteOnly))
        return false;
    json.write(QStringLiteral("{\"screens\":[{\"name\":\"x\",\"x\":0,\"y\":0,\"width\":%1,"
                              "\"height\":%2,\"logicalDpi\":96,\"logicalBaseDpi\":96,\"dpr\":1}]}")
                   .arg(wh[0], wh[1])
                   .toUtf8());
    qputenv("QT_QPA_PLATFORM", QStringLiteral("offscreen:configfile=%1").arg(config).toUtf8());
    return true;
}

std::unique_ptr<DRUI> makeWindow(const QString& work, const QString& saveDir)
{
    auto window = std::make_unique<DRUI>();
    window->m_strIniPath = work + QStringLiteral("/ini/ScreenRecord.ini");
    {
        QSettings settings(window->m_strIniPath, QSettings::IniFormat);
        settings.setValue(QStringLiteral("/screen_record/save_path"), saveDir);
    }
    window->Init();
    window->show();
    return window;
}

void answerBoxes(QObject* owner, int intervalMs)
{
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, owner, [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible())
                continue;
            if (auto* box = qobject_cast<CMessageBox*>(w)) {
                note(QStringLiteral("box: ") +
                     (box->m_pMessageLabel ? box->m_pMessageLabel->text() : QString()));
                box->btnSlotOK();
            } else if (auto* std = qobject_cast<QMessageBox*>(w)) {
                note(QStringLiteral("box: ") + std->text());
                std->accept();
            }
        }
    });
    timer->start(intervalMs);
}

bool waitFor(const std::function<bool()>& done, double ms)
{
    const double end = nowMs() + ms;
    while (!done()) {
        if (nowMs() > end)
            return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void idleFor(double ms)
{
    if (ms <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(int(ms), &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace bench
