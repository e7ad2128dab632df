// A moving full-screen window for the Wayland session of the tests: it paints the wall clock (the
// low 32 bits of ms since the epoch, so a test can compare a recorded picture with its own clock)
// as the bar code that ScreenCode.h reads back, and the time of day and a frame counter in large
// figures for a person looking at a recording. It repaints
// from a timer (on Qt 6.4's Wayland platform, asking for the next frame from paintEvent stalls
// after a few frames) and prints "ready" once its first picture is on its way.
#include "ScreenCode.h"

#include <QApplication>
#include <QDateTime>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdio>

using namespace screencode;

namespace
{

class Screen final : public QWidget
{
public:
    Screen()
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            update(0, 0, kStripWidth, kStripHeight);
            update(figuresRect());
        });
        m_timer.start(33);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter p(this);
        const QDateTime time = QDateTime::currentDateTime();
        const qint64 now = time.toMSecsSinceEpoch() & 0xffffffff;
        p.fillRect(event->rect(), QColor(30, 30, 40));
        for (int bit = 0; bit < kBits; ++bit)
            p.fillRect(bit * kCell, 0, kCell, kCell, (now >> bit) & 1 ? Qt::white : Qt::black);
        p.fillRect(kBits * kCell, 0, kFlashCells * kCell, kCell, Qt::black);
        QFont font = p.font();
        font.setPixelSize(figuresRect().height() / 3);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(figuresRect(), Qt::AlignCenter,
                   QStringLiteral("%1\nframe %2")
                       .arg(time.toString(QStringLiteral("hh:mm:ss.zzz")))
                       .arg(++m_frames));
        if (!m_readySaid) {
            m_readySaid = true;
            std::printf("ready\n");
            std::fflush(stdout);
        }
    }

private:
    QRect figuresRect() const
    {
        return QRect(width() / 4, height() / 3, width() / 2, height() / 3);
    }

    QTimer m_timer;
    qint64 m_frames = 0;
    bool m_readySaid = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Screen screen;
    screen.showFullScreen();
    return app.exec();
}
