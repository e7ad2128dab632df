// The picture input of a recording: a pipe to the tool and the thread that paces pictures into it.
#include "record/wayland/PicturePipe.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace
{

// Larger than the default 64 KiB, so that a tool busy for a moment does not stall the writer at
// every picture; the most an ordinary user may ask for by default.
constexpr int kPipeBytes = 1 << 20;

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

PicturePipe::~PicturePipe()
{
    stop();
}

bool PicturePipe::open(QString* error)
{
    stop();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        *error = QStringLiteral("Vistrel could not make a pipe for the screen's pictures (%1).")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_readFd = fds[0];
    m_writeFd = fds[1];
    ::fcntl(m_writeFd, F_SETPIPE_SZ, kPipeBytes);
    // The writer never blocks inside write(): it waits in poll(), where stop() can end the wait.
    ::fcntl(m_writeFd, F_SETFL, ::fcntl(m_writeFd, F_GETFL) | O_NONBLOCK);
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        *error = QStringLiteral("Vistrel could not make a pipe for the screen's pictures (%1).")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        stop();
        return false;
    }
    return true;
}

std::function<void()> PicturePipe::childSetup(int childFd) const
{
    const int readFd = m_readFd;
    return [readFd, childFd] {
        if (readFd < 0)
            return;
        if (readFd != childFd) {
            ::dup2(readFd, childFd); // the copy is not closed on exec
        } else {
            const int flags = ::fcntl(readFd, F_GETFD);
            if (flags >= 0)
                ::fcntl(readFd, F_SETFD, flags & ~FD_CLOEXEC);
        }
    };
}

void PicturePipe::closeReadEnd()
{
    closeFd(m_readFd);
}

void PicturePipe::start(RecentPictures* pictures, int width, int height, double startSeconds,
                        int rateNumerator, int rateDenominator)
{
    if (m_thread.joinable() || m_writeFd < 0)
        return;
    m_stop = false;
    m_written = 0;
    m_fresh = 0;
    m_readerGone = false;
    m_endNs = 0;
    m_thread = std::thread(&PicturePipe::run, this, pictures, i420Bytes(width, height),
                           startSeconds, qint64(rateNumerator), qint64(rateDenominator));
}

void PicturePipe::finish()
{
    using namespace std::chrono;
    m_endNs = duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

void PicturePipe::stop()
{
    if (m_thread.joinable()) {
        m_stop = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof one);
        m_thread.join();
    }
    closeFd(m_readFd);
    closeFd(m_writeFd);
    closeFd(m_wakeFd);
}

void PicturePipe::run(RecentPictures* pictures, std::size_t bytes, double startSeconds,
                      qint64 numerator, qint64 denominator)
{
    // A write to a pipe whose reader is gone raises SIGPIPE in the writing thread, which would
    // end the program; blocked here, the write fails with EPIPE instead.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

    using namespace std::chrono;
    // The timeline is wall-clock time, as the sound inputs stamp it; waiting is done on the
    // steady clock, which a clock change does not move.
    const auto wallNow = duration<double>(system_clock::now().time_since_epoch());
    const auto origin = steady_clock::now() + duration_cast<steady_clock::duration>(
                                                  duration<double>(startSeconds) - wallNow);
    const auto timeOf = [&](qint64 n) {
        return origin + nanoseconds(n * 1000000000LL * denominator / numerator);
    };
    const std::vector<std::uint8_t> black = [bytes] {
        std::vector<std::uint8_t> picture(bytes, 128);
        std::memset(picture.data(), 16, bytes * 2 / 3);
        return picture;
    }();
    const qint64 halfPeriodNs = 500000000LL * denominator / numerator;
    const std::size_t maxHeld = std::max<std::size_t>(2, kMaxHeldBytes / bytes);

    // Pictures are chosen at their time and written when the tool takes them. It takes none
    // while it opens its sound inputs and its encoder (0.5-1.5 s measured); chosen only then,
    // the pictures of that time would be gone and the recording would open on a still picture.
    // A null picture stands for black (nothing usable yet).
    struct Queued {
        RecentPictures::Buffer picture;
        bool held = false; // a picture of its own, not a repeat of the one before it
    };
    std::deque<Queued> queue;
    std::size_t held = 0;
    std::size_t offset = 0; // bytes of the first queued picture written
    quint64 lastNumber = 0;
    qint64 next = 0; // the next picture to choose
    while (!m_stop) {
        const auto now = steady_clock::now();
        const qint64 endNs = m_endNs;
        const auto ended = [&] {
            return endNs > 0 &&
                   duration_cast<nanoseconds>(timeOf(next).time_since_epoch()).count() > endNs;
        };
        while (!ended() && timeOf(next) + milliseconds(kLateMs) <= now) {
            // The picture nearest its time: one taken up to half a period later serves too, so
            // that pictures are on average neither early nor late.
            quint64 number = 0;
            RecentPictures::Buffer picture = pictures->at(
                duration_cast<nanoseconds>(timeOf(next).time_since_epoch()).count() + halfPeriodNs,
                &number);
            if (!picture || picture->size() != bytes)
                picture = nullptr;
            const bool fresh = picture && number != lastNumber;
            if (fresh && held >= maxHeld)
                break; // chosen again once the tool has taken some
            if (fresh) {
                lastNumber = number;
                ++m_fresh;
                ++held;
            }
            queue.push_back({std::move(picture), fresh});
            ++next;
        }

        while (!queue.empty()) {
            const std::uint8_t* data =
                queue.front().picture ? queue.front().picture->data() : black.data();
            const ssize_t n = ::write(m_writeFd, data + offset, bytes - offset);
            if (n > 0) {
                offset += std::size_t(n);
                if (offset == bytes) {
                    offset = 0;
                    held -= queue.front().held ? 1 : 0;
                    queue.pop_front();
                    ++m_written;
                }
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                break; // the tool has not read yet (it opens its other inputs, or it is busy)
            m_readerGone = n < 0 && errno == EPIPE;
            return;
        }

        if (queue.empty() && ended()) {
            // The end of the pictures: the tool reads the rest and then the end of its input.
            closeFd(m_writeFd);
            return;
        }

        // Sleep until the next picture is due, the tool takes more, or stop() wakes us. With no
        // room for another picture the queue is not empty: the tool's reading wakes us.
        pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {m_writeFd, POLLOUT, 0}};
        const nfds_t count = queue.empty() ? 1 : 2;
        timespec timeout{};
        const timespec* limit = nullptr;
        if (held < maxHeld && !ended()) {
            const auto left = timeOf(next) + milliseconds(kLateMs) - steady_clock::now();
            const qint64 ns = std::max<qint64>(0, duration_cast<nanoseconds>(left).count());
            timeout = {time_t(ns / 1000000000LL), long(ns % 1000000000LL)};
            limit = &timeout;
        }
        if (::ppoll(fds, count, limit, nullptr) > 0 && (fds[0].revents & POLLIN))
            return;
    }
}
