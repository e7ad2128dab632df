// The picture input of a recording: a pipe whose read end the tool gets, and a thread that writes
// one raw I420 picture into it every frame period on a wall-clock timeline.
#pragma once

#include "record/wayland/I420Picture.h"

#include <QString>

#include <atomic>
#include <functional>
#include <thread>

class PicturePipe final
{
public:
    // How long after its time a picture is chosen.
    static constexpr int kLateMs = 150;
    // Most bytes of distinct pictures kept for a tool that reads none for a while: 2 s of a
    // changing 1920x1080 screen at 30 pictures a second.
    static constexpr std::size_t kMaxHeldBytes = std::size_t(192) << 20;

    PicturePipe() = default;
    // Stops writing and closes both ends.
    ~PicturePipe();
    PicturePipe(const PicturePipe&) = delete;
    PicturePipe& operator=(const PicturePipe&) = delete;

    // Makes the pipe (both ends closed on exec). False, with the reason in `error`, when the
    // system refuses.
    bool open(QString* error);
    // What the tool's child process runs before the tool starts (async-signal-safe): the read
    // end becomes its descriptor `childFd`, kept open across exec.
    std::function<void()> childSetup(int childFd) const;
    // Closes this process's copy of the read end, once the tool has its own; from then on a tool
    // that ends makes the writes fail instead of filling the pipe.
    void closeReadEnd();

    // Starts writing: picture n, for the time startSeconds + n * rateDenominator /
    // rateNumerator (wall-clock seconds since the epoch), is the one of `pictures` taken
    // nearest that time (`width` x `height`), chosen kLateMs after it so that the compositor's
    // picture of that moment has arrived. Chosen pictures wait (up to kMaxHeldBytes of distinct
    // ones) until the tool takes them, so a tool that reads nothing for a while (as it opens)
    // still gets the pictures of that time, and its timeline back without drift.
    void start(RecentPictures* pictures, int width, int height, double startSeconds,
               int rateNumerator, int rateDenominator);
    // Ends the pictures at this moment: those up to now are still written, then the pipe is
    // closed and the tool reads the end of its input.
    void finish();
    // Stops writing and closes the pipe. Returns promptly even when the tool reads nothing.
    void stop();

    // Pictures written whole, and how many of them were new (not a repeat of the one before).
    quint64 written() const { return m_written; }
    quint64 fresh() const { return m_fresh; }
    // Whether the tool closed its end (exited, crashed) while pictures were being written.
    bool readerGone() const { return m_readerGone; }

private:
    void run(RecentPictures* pictures, std::size_t bytes, double startSeconds, qint64 numerator,
             qint64 denominator);

    int m_readFd = -1;
    int m_writeFd = -1;
    int m_wakeFd = -1; // an eventfd that ends the writer's waits
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<quint64> m_written{0};
    std::atomic<quint64> m_fresh{0};
    std::atomic<bool> m_readerGone{false};
    std::atomic<qint64> m_endNs{0}; // steady clock, ns: finish() was called then
};
