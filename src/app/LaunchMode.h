// Which of the two launch modes a command line selects, and the elevated relaunch command.
#pragma once

#include <QProcessEnvironment>
#include <QStringList>

enum class LaunchMode {
    Application, // exactly one argument, whatever its text
    Launcher,    // none, or two or more: relaunch elevated with "start"
};

// `argc` counts the program name, as main() receives it.
LaunchMode launchModeFor(int argc);

// Arguments for pkexec: "env", the display and sound variables the elevated copy needs (taken
// from `env`; XAUTHORITY defaults to the user's ~/.Xauthority), the executable and "start".
QStringList elevatedRelaunchArguments(const QProcessEnvironment& env, const QString& executable);
