// Capture of an X11 screen (x11grab) with PulseAudio sound.
#include "record/X11Capture.h"

#include "record/RecordCommand.h"

#include <QTimer>

X11Capture::X11Capture(const QString& display, const QSize& screen, QObject* parent)
    : CaptureSource(parent), m_display(display), m_screen(screen)
{
}

void X11Capture::prepare()
{
    QString problem;
    if (m_display.isEmpty())
        problem = QStringLiteral("Cannot record: there is no X display (DISPLAY is not set).");
    else if (m_screen.width() < 2 || m_screen.height() < 2)
        problem = QStringLiteral("Cannot record: the size of the screen is unknown.");
    // Answered from the event loop, as a capture that asks the system would.
    QTimer::singleShot(0, this, [this, problem] {
        if (problem.isEmpty())
            Q_EMIT prepared();
        else
            Q_EMIT failed(problem, false);
    });
}

QStringList X11Capture::inputArguments(const QStringList& audioSources, double startSeconds)
{
    return soundInputArguments(audioSources, startSeconds) +
           x11grabInputArguments(m_display, m_screen.width(), m_screen.height(), startSeconds);
}

QString X11Capture::pictureFilter() const
{
    return kX11PictureFilter;
}
