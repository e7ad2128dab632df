// The peer the recording benchmark measures Vistrel against.
#include "PeerRecorder.h"

#include "BenchUtil.h"
#include "BenchWindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace bench
{

PeerRecorder::PeerRecorder(const QString& work, const QMap<QString, QString>& session,
                           const QString& source)
    : m_work(work), m_session(session), m_source(source)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&m_process, &QProcess::readyRead, [this] { readLog(); });
}

PeerRecorder::~PeerRecorder()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString PeerRecorder::program()
{
    return QStandardPaths::findExecutable(QStringLiteral("simplescreenrecorder"));
}

bool PeerRecorder::available()
{
    return !program().isEmpty();
}

void PeerRecorder::writeSettings(const QString& output) const
{
    // The keys and values of its settings file (QSettings' INI format). The whole X screen at
    // 30 frames per second; H.264 by x264 at the preset and quality Vistrel's command ends up at
    // (ultrafast, the encoder's default CRF 23; presets are stored by their index, 0 is
    // ultrafast); AAC from the same PulseAudio source. Frame skipping stays at its default.
    QSettings s(m_work + QStringLiteral("/settings.conf"), QSettings::IniFormat);
    s.clear();
    s.setValue(QStringLiteral("welcome/skip_page"), true);
    s.setValue(QStringLiteral("input/video_area"), QStringLiteral("screen"));
    s.setValue(QStringLiteral("input/video_area_screen"), 0);
    s.setValue(QStringLiteral("input/video_frame_rate"), 30);
    s.setValue(QStringLiteral("input/video_scale"), false);
    s.setValue(QStringLiteral("input/video_record_cursor"), true);
    s.setValue(QStringLiteral("input/audio_enabled"), true);
    s.setValue(QStringLiteral("input/audio_backend"), QStringLiteral("pulseaudio"));
    s.setValue(QStringLiteral("input/audio_pulseaudio_source"), m_source);
    s.setValue(QStringLiteral("output/file"), output);
    s.setValue(QStringLiteral("output/separate_files"), false);
    s.setValue(QStringLiteral("output/add_timestamp"), false);
    s.setValue(QStringLiteral("output/container"), QStringLiteral("mp4"));
    s.setValue(QStringLiteral("output/video_codec"), QStringLiteral("h264"));
    s.setValue(QStringLiteral("output/video_h264_crf"), 23);
    s.setValue(QStringLiteral("output/video_h264_preset"), 0);
    s.setValue(QStringLiteral("output/audio_codec"), QStringLiteral("aac"));
    s.setValue(QStringLiteral("output/audio_kbit_rate"), 128);
    s.setValue(QStringLiteral("record/hotkey_enable"), false);
    s.setValue(QStringLiteral("record/sound_notifications_enable"), false);
    s.setValue(QStringLiteral("record/show_recording_area"), false);
}

bool PeerRecorder::launch(const QString& output)
{
    QFile::remove(output);
    writeSettings(output);
    const QProcessEnvironment env = desktopProgramEnvironment(m_session, m_work);
    m_process.setProcessEnvironment(env);
    m_log.clear();
    // Hidden, so that its window covers nothing of the recorded screen.
    m_process.start(program(),
                    {QStringLiteral("--settingsfile=") + m_work + QStringLiteral("/settings.conf"),
                     QStringLiteral("--start-hidden"), QStringLiteral("--no-systray"),
                     QStringLiteral("--no-redirect-stderr")});
    if (!m_process.waitForStarted(10000))
        return false;
    // It lists the sound sources once its window is built, and reads commands from then on.
    return waitFor(
               [this] {
                   return m_log.contains(QLatin1String("Found source: [") + m_source) ||
                          m_process.state() == QProcess::NotRunning;
               },
               20000) &&
           m_process.state() == QProcess::Running;
}

void PeerRecorder::record()
{
    m_process.write("record-start\n");
}

bool PeerRecorder::saveAndQuit()
{
    m_process.write("record-save\nquit\n");
    const bool ended = waitFor([this] { return m_process.state() == QProcess::NotRunning; }, 60000);
    if (!ended) {
        note(QStringLiteral("the peer did not quit; killing it"));
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    readLog();
    return ended && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

void PeerRecorder::readLog()
{
    m_log += QString::fromUtf8(m_process.readAll());
}

} // namespace bench
