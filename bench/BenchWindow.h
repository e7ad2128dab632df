// The window as the benchmarks drive it: a private environment, an offscreen window with its
// settings in the work folder, boxes answered as they appear, and waits that keep the event loop
// running.
#pragma once

#include "app/DRUI.h"

#include <QString>

#include <functional>
#include <memory>

namespace bench
{

// Points HOME and XDG_RUNTIME_DIR into `work` and makes Qt draw offscreen, on one screen of
// `screenSize` ("1920x1080") when given. Call before the QApplication exists.
bool prepareWindowEnvironment(const QString& work, const QString& screenSize = {});

// A window whose settings file lives in `work` and whose save folder is `saveDir`, initialised
// and shown on the home page.
std::unique_ptr<DRUI> makeWindow(const QString& work, const QString& saveDir);

// Answers every message box that shows, checking every `intervalMs`; logs their texts.
void answerBoxes(QObject* owner, int intervalMs);

// Runs the event loop until `done` holds (true) or `ms` have passed (false).
bool waitFor(const std::function<bool()>& done, double ms);

// Runs the event loop for `ms` without waking up in between.
void idleFor(double ms);

} // namespace bench
