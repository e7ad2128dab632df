// Which of the two launch modes a command line selects.
#pragma once

enum class LaunchMode {
    Application, // exactly one argument, whatever its text
    Launcher,    // none, or two or more: relaunch with "start" from the state folder
};

// `argc` counts the program name, as main() receives it.
LaunchMode launchModeFor(int argc);
