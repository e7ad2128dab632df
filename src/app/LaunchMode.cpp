// Which of the two launch modes a command line selects, and the elevated relaunch command.
#include "app/LaunchMode.h"

LaunchMode launchModeFor(int argc)
{
    return argc == 2 ? LaunchMode::Application : LaunchMode::Launcher;
}

QStringList elevatedRelaunchArguments(const QProcessEnvironment& env, const QString& executable)
{
    // pkexec clears the environment; the elevated copy needs the user's display, and the
    // user's sound server to capture sound.
    QStringList args{QStringLiteral("env")};
    for (const char* name : {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "PULSE_SERVER"}) {
        const QString key = QString::fromLatin1(name);
        if (env.contains(key))
            args.append(key + QLatin1Char('=') + env.value(key));
    }
    if (!env.contains(QStringLiteral("PULSE_SERVER")) &&
        env.contains(QStringLiteral("XDG_RUNTIME_DIR")))
        args.append(QStringLiteral("PULSE_SERVER=unix:") +
                    env.value(QStringLiteral("XDG_RUNTIME_DIR")) + QStringLiteral("/pulse/native"));
    args.append(executable);
    args.append(QStringLiteral("start"));
    return args;
}
