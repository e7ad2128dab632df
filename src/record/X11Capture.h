// Capture of an X11 screen (x11grab) with PulseAudio sound.
#pragma once

#include "record/CaptureSource.h"

#include <QSize>

class X11Capture final : public CaptureSource
{
    Q_OBJECT
public:
    // `display` as DISPLAY names it; `screen` the whole X screen in pixels.
    X11Capture(const QString& display, const QSize& screen, QObject* parent = nullptr);
    // The screen's size for the next recording (screens change size between recordings).
    void setScreen(const QSize& screen) { m_screen = screen; }

    // Ready at once when there is a display of a known size; else failed() with the reason.
    void prepare() override;
    QStringList inputArguments(const QStringList& audioSources, double startSeconds) override;
    QString pictureFilter() const override;

private:
    QString m_display;
    QSize m_screen;
};
