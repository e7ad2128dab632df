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
    const auto pass = [&](const QString& key, const QString& fallback) {
        const QString value = env.value(key, fallback);
        if (!value.isEmpty())
            args.append(key + QLatin1Char('=') + value);
    };
    const QString home = env.value(QStringLiteral("HOME"));
    const QString runtime = env.value(QStringLiteral("XDG_RUNTIME_DIR"));
    const bool x11 = env.contains(QStringLiteral("DISPLAY"));
    pass(QStringLiteral("DISPLAY"), {});
    // Without XAUTHORITY the X library reads ~/.Xauthority, and after pkexec "~" is root's.
    pass(QStringLiteral("XAUTHORITY"),
         x11 && !home.isEmpty() ? home + QStringLiteral("/.Xauthority") : QString());
    pass(QStringLiteral("WAYLAND_DISPLAY"), {});
    pass(QStringLiteral("PULSE_SERVER"),
         runtime.isEmpty() ? QString()
                           : QStringLiteral("unix:") + runtime + QStringLiteral("/pulse/native"));
    args.append(executable);
    args.append(QStringLiteral("start"));
    return args;
}
