// The picture input of a recording: a pipe to the tool and the thread that paces pictures into it.
#include "record/wayland/PicturePipe.h"

#include <chrono>
#include <csignal>
#include <cstring>
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
    m_thread = std::thread(&PicturePipe::run, this, pictures, i420Bytes(width, height),
                           startSeconds, qint64(rateNumerator), qint64(rateDenominator));
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
    const std::vector<std::uint8_t> black = [bytes] {
        std::vector<std::uint8_t> picture(bytes, 128);
        std::memset(picture.data(), 16, bytes * 2 / 3);
        return picture;
    }();
    const qint64 halfPeriodNs = 500000000LL * denominator / numerator;
    quint64 lastNumber = 0;
    for (qint64 n = 0; !m_stop; ++n) {
        const auto time = origin + nanoseconds(n * 1000000000LL * denominator / numerator);
        const auto due = time + milliseconds(kLateMs);
        bool woken = false;
        while (!woken) {
            const auto left = due - steady_clock::now();
            if (left <= steady_clock::duration::zero())
                break;
            const auto ns = duration_cast<nanoseconds>(left).count();
            const timespec timeout{time_t(ns / 1000000000LL), long(ns % 1000000000LL)};
            pollfd wake{m_wakeFd, POLLIN, 0};
            woken = ::ppoll(&wake, 1, &timeout, nullptr) > 0;
        }
        if (woken || m_stop)
            break;
        // The picture nearest its time: one taken up to half a period later serves too, so
        // that pictures are on average neither early nor late.
        quint64 number = 0;
        const RecentPictures::Buffer picture = pictures->at(
            duration_cast<nanoseconds>(time.time_since_epoch()).count() + halfPeriodNs, &number);
        const bool usable = picture && picture->size() == bytes;
        if (usable && number != lastNumber) {
            lastNumber = number;
            ++m_fresh;
        }
        if (!writeAll(usable ? picture->data() : black.data(), bytes))
            break;
        ++m_written;
    }
}

bool PicturePipe::writeAll(const std::uint8_t* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_writeFd, data + done, size - done);
        if (n > 0) {
            done += std::size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // The tool has not read yet (it opens its other inputs first, or it is busy).
            pollfd fds[2] = {{m_writeFd, POLLOUT, 0}, {m_wakeFd, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                return false;
            if (fds[1].revents & POLLIN)
                return false;
            continue; // writable, or the reader is gone, which the next write tells
        }
        m_readerGone = n < 0 && errno == EPIPE;
        return false;
    }
    return true;
}
