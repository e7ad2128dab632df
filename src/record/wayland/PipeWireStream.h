// The shared screen's pictures from PipeWire, in a thread of PipeWire's own, converted to I420.
#pragma once

#include "record/wayland/I420Picture.h"

#include <QObject>
#include <QSize>
#include <QString>

#include <atomic>
#include <memory>

class PipeWireStream final : public QObject
{
    Q_OBJECT
public:
    explicit PipeWireStream(QObject* parent = nullptr);
    // Stops the stream; returns when PipeWire's thread has ended.
    ~PipeWireStream() override;

    // Connects to the video node `node` over the PipeWire connection `fd` (the descriptor stays
    // the caller's; a duplicate is used) and asks for shared-memory pictures. Every new picture
    // is converted and published in pictures() with the time the compositor took it, at the
    // size of the first one (cut to even); a picture of another size is fitted into it. False, with
    // the reason in `error`, when the stream cannot be set up.
    bool start(int fd, quint32 node, QString* error);
    // Disconnects and ends the thread. Safe to call at any time.
    void stop();

    RecentPictures& pictures() { return m_pictures; }
    // Pictures received from PipeWire and converted so far.
    quint64 received() const { return m_received; }
    // How long pictures took on average from the compositor to this program, ms.
    double meanDelayMs() const;

Q_SIGNALS:
    // The first picture has been published; `size` is the size of every picture from now on.
    void firstPicture(QSize size);
    // The stream failed or ended (the share was revoked, the compositor went away).
    void ended(const QString& reason);

private:
    struct Impl; // PipeWire's objects, used in its thread
    std::unique_ptr<Impl> m_impl;
    RecentPictures m_pictures;
    std::atomic<quint64> m_received{0};
    std::atomic<qint64> m_delayNs{0}; // summed over the pictures received
};
