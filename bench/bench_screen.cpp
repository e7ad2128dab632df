// Moving screen content for the recording benchmark. A full-screen window on the X display
// animates a scene, shows its own clock as a bar code in the top-left corner, and after "go"
// flashes white at set times while a beep plays on the sound server, so that a recording can be
// checked for lost frames and for the offset between picture and sound. The flash waits for the
// sound stream's own latency, so both leave the program at the same moment.
//
//   bench_screen [--flashes 3000,6000,...] [--sink NAME]
//   stdin:  "go" starts the flash schedule (ms after it), "quit" ends the program
//   stdout: "epoch MS" (wall-clock ms since the epoch at which the painted clock was 0), then
//           "ready" once the window is up and the sound stream runs; a line per flash
#include "ScreenCode.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <pulse/error.h>
#include <pulse/simple.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace screencode;

namespace
{

constexpr int kStripTickMs = 4;                  // the bar code is repainted this often
constexpr int kSceneTickMs = 33;                 // the scene moves at about 30 frames a second
constexpr int kChunkSamples = kSampleRate / 200; // 5 ms of sound per write
constexpr int kBufferMs = 20;                    // what the sound server keeps queued

// A steady stream of silence into one sink, with beeps on request. Writing blocks while the
// server's queue is full, so the thread runs at the pace of the sound card.
class Sound final
{
public:
    explicit Sound(const QElapsedTimer& clock) : m_clock(clock) {}
    ~Sound() { stop(); }

    bool start(const QString& sink)
    {
        const pa_sample_spec format{PA_SAMPLE_S16LE, kSampleRate, 1};
        pa_buffer_attr attr;
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(kSampleRate * 2 * kBufferMs / 1000);
        attr.prebuf = uint32_t(-1);
        attr.minreq = uint32_t(-1);
        attr.fragsize = uint32_t(-1);
        int error = 0;
        const QByteArray device = sink.toUtf8();
        m_stream = pa_simple_new(nullptr, "bench-screen", PA_STREAM_PLAYBACK, device.constData(),
                                 "beeps", &format, nullptr, &attr, &error);
        if (!m_stream) {
            std::fprintf(stderr, "bench_screen: no sound stream: %s\n", pa_strerror(error));
            return false;
        }
        m_thread = std::thread([this] { run(); });
        return true;
    }

    void stop()
    {
        m_running = false;
        if (m_thread.joinable())
            m_thread.join();
        if (m_stream)
            pa_simple_free(m_stream);
        m_stream = nullptr;
    }

    // Asks for a beep; playsAtMs() then tells when its first sample will be heard.
    void beep()
    {
        m_playsAtMs = -1;
        m_wanted = true;
    }
    qint64 playsAtMs() const { return m_playsAtMs; }
    qint64 latencyMs() const { return m_latencyMs; }

private:
    void run()
    {
        std::vector<qint16> chunk(kChunkSamples);
        int beepLeft = 0;
        qint64 phase = 0;
        while (m_running) {
            if (m_wanted.exchange(false)) {
                int error = 0;
                const pa_usec_t latency = pa_simple_get_latency(m_stream, &error);
                m_latencyMs = qint64(latency / 1000);
                m_playsAtMs = m_clock.elapsed() + m_latencyMs;
                beepLeft = kSampleRate * kBeepMs / 1000;
                phase = 0;
            }
            for (int i = 0; i < kChunkSamples; ++i) {
                if (beepLeft > 0) {
                    chunk[size_t(i)] = qint16(
                        16000 * std::sin(2 * M_PI * kBeepHz * double(phase++) / kSampleRate));
                    --beepLeft;
                } else {
                    chunk[size_t(i)] = 0;
                }
            }
            int error = 0;
            if (pa_simple_write(m_stream, chunk.data(), chunk.size() * sizeof(qint16), &error) <
                0) {
                std::fprintf(stderr, "bench_screen: sound write failed: %s\n", pa_strerror(error));
                return;
            }
        }
    }

    const QElapsedTimer& m_clock;
    pa_simple* m_stream = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_running{true};
    std::atomic<bool> m_wanted{false};
    std::atomic<qint64> m_playsAtMs{-1};
    std::atomic<qint64> m_latencyMs{0};
};

class Screen final : public QWidget
{
public:
    explicit Screen(QVector<int> flashes) : m_flashes(std::move(flashes)), m_sound(m_clock)
    {
        setWindowFlag(Qt::FramelessWindowHint);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
        m_clock.start();
        m_stripTimer.setTimerType(Qt::PreciseTimer);
        connect(&m_stripTimer, &QTimer::timeout, this, &Screen::tick);
        m_stripTimer.start(kStripTickMs);
        m_sceneTimer.setTimerType(Qt::PreciseTimer);
        connect(&m_sceneTimer, &QTimer::timeout, this, [this] { update(sceneRect()); });
        m_sceneTimer.start(kSceneTickMs);
    }

    bool startSound(const QString& sink) { return m_sound.start(sink); }
    void stopSound() { m_sound.stop(); }

    // Wall-clock ms since the epoch at which the painted clock read 0.
    qint64 epochMs() const { return QDateTime::currentMSecsSinceEpoch() - m_clock.elapsed(); }

    void go()
    {
        m_goMs = m_clock.elapsed();
        m_nextFlash = 0;
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter p(this);
        const qint64 now = m_clock.elapsed();
        const bool flashing = now < m_flashUntil;
        if (flashing)
            p.fillRect(event->rect(), Qt::white);
        else
            paintScene(p, event->rect(), now);
        // The clock as it is when the picture goes out; the bits never flash.
        for (int bit = 0; bit < kBits; ++bit)
            p.fillRect(bit * kCell, 0, kCell, kCell, (now >> bit) & 1 ? Qt::white : Qt::black);
        p.fillRect(kBits * kCell, 0, kFlashCells * kCell, kCell, flashing ? Qt::white : Qt::black);
    }

private:
    // Returns once the X server has handled every request sent so far: the pixels the last
    // paint put there among them.
    static void waitForServer()
    {
        const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
        if (!x11)
            return;
        xcb_connection_t* connection = x11->connection();
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }

    QRect sceneRect() const { return QRect(width() / 4, height() / 4, width() / 2, height() / 2); }

    // A still background and, in the middle quarter, moving bands, a bouncing ball and
    // scrolling lines of text: what a screen being recorded typically shows.
    void paintScene(QPainter& p, const QRect& area, qint64 now)
    {
        p.setClipRect(area);
        p.fillRect(area, QColor(40, 44, 52));
        const QRect scene = sceneRect();
        if (!area.intersects(scene))
            return;
        const int frame = int(now / kSceneTickMs);
        p.fillRect(scene, QColor(20, 20, 30));
        for (int band = 0; band < 8; ++band) {
            const int x = scene.left() + (band * 120 + frame * 7) % scene.width();
            p.fillRect(x, scene.top(), 40, scene.height() / 3,
                       QColor::fromHsv((band * 45 + frame) % 360, 200, 220));
        }
        const double t = double(now) / 1000.0;
        const int bx = scene.left() + int((std::sin(t * 1.3) + 1) / 2 * (scene.width() - 80));
        const int by = scene.top() + scene.height() / 3 +
                       int((std::cos(t * 2.1) + 1) / 2 * (scene.height() / 3 - 80));
        p.setBrush(QColor(240, 180, 40));
        p.setPen(Qt::NoPen);
        p.drawEllipse(bx, by, 80, 80);
        p.setPen(QColor(200, 220, 200));
        const int lineHeight = 18;
        const int top = scene.top() + 2 * scene.height() / 3;
        for (int line = 0; line < scene.height() / 3 / lineHeight; ++line) {
            const int n = frame / 3 + line;
            p.drawText(scene.left() + 10, top + (line + 1) * lineHeight,
                       QStringLiteral("%1  build step %2: compiling unit_%3.cpp ... ok")
                           .arg(n, 6)
                           .arg(n * 7 % 1000)
                           .arg(n * 13 % 97));
        }
    }

    void tick()
    {
        const qint64 now = m_clock.elapsed();
        if (m_goMs >= 0 && !m_beepAsked && m_nextFlash < m_flashes.size() &&
            now >= m_goMs + m_flashes.at(m_nextFlash)) {
            m_sound.beep();
            m_beepAsked = true;
        }
        const qint64 beepAt = m_sound.playsAtMs();
        if (m_beepAsked && beepAt >= 0 && now >= beepAt) {
            // The beep is being heard now: the picture goes out at once.
            m_beepAsked = false;
            m_flashUntil = now + kFlashMs;
            repaint();
            const qint64 paintedAt = m_clock.elapsed();
            waitForServer();
            m_flashPainted = true;
            // When the beep plays, when the picture was painted and when the X server had it
            // (from then on a grab shows it), by the painted clock.
            std::printf("flash %d sound latency %lld ms, beep at %lld, painted at %lld, "
                        "visible at %lld\n",
                        int(m_nextFlash), static_cast<long long>(m_sound.latencyMs()),
                        static_cast<long long>(beepAt), static_cast<long long>(paintedAt),
                        static_cast<long long>(m_clock.elapsed()));
            std::fflush(stdout);
            ++m_nextFlash;
        } else if (m_flashPainted && now >= m_flashUntil) {
            m_flashPainted = false;
            update();
        }
        update(0, 0, kStripWidth, kStripHeight);
    }

    QVector<int> m_flashes;
    QElapsedTimer m_clock;
    Sound m_sound;
    QTimer m_stripTimer;
    QTimer m_sceneTimer;
    qint64 m_goMs = -1;
    qsizetype m_nextFlash = 0;
    bool m_beepAsked = false;
    qint64 m_flashUntil = -1;
    bool m_flashPainted = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QVector<int> flashes{3000, 6000, 9000, 12000, 15000};
    QString sink = QStringLiteral("speakers");
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--flashes")) {
            flashes.clear();
            for (const QString& ms : args.at(i + 1).split(QLatin1Char(',')))
                flashes.append(ms.toInt());
        } else if (args.at(i) == QLatin1String("--sink")) {
            sink = args.at(i + 1);
        }
    }

    Screen screen(flashes);
    // A Wayland compositor places windows itself: only full screen puts the bar code in the
    // screen's corner.
    if (QGuiApplication::platformName() == QLatin1String("wayland")) {
        screen.showFullScreen();
    } else {
        screen.setGeometry(QGuiApplication::primaryScreen()->geometry());
        screen.show();
    }
    if (!screen.startSound(sink))
        return 1;

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            QCoreApplication::quit();
            return;
        }
        pending.append(buffer, int(n));
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (line == "go")
                screen.go();
            else if (line == "quit")
                QCoreApplication::quit();
        }
    });
    std::printf("epoch %lld\n", static_cast<long long>(screen.epochMs()));
    // The sound stream needs a moment to settle before anything is measured against it.
    QTimer::singleShot(500, &app, [] {
        std::printf("ready\n");
        std::fflush(stdout);
    });
    const int code = app.exec();
    screen.stopSound();
    return code;
}
