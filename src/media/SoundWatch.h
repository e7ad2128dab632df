// Tells when the sound server loses a source. A recording's sound stream outlives its device:
// when a microphone is unplugged or the speakers it records go away, the server moves the
// stream to its default source and the media tool records that without a word.
#pragma once

#include <QObject>

struct pa_context;
struct pa_threaded_mainloop;

class SoundWatch final : public QObject
{
    Q_OBJECT
public:
    explicit SoundWatch(QObject* parent = nullptr);
    ~SoundWatch() override;

    // Connects to the user's sound server and watches its sources, until stop(). Without a
    // server nothing is told.
    void start();
    void stop();

Q_SIGNALS:
    // A source went away (which one the caller asks the server's listing).
    void sourceRemoved();

private:
    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
};
