// Which of the two launch modes a command line selects.
#include "app/LaunchMode.h"

LaunchMode launchModeFor(int argc)
{
    return argc == 2 ? LaunchMode::Application : LaunchMode::Launcher;
}
