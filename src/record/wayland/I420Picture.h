// Screen pictures as the tool reads them (raw I420) and the latest one shared between the thread
// that converts them and the thread that writes them.
#pragma once

#include <QtGlobal>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

// The byte order in memory of a 32-bit RGB pixel; x is an unused or alpha byte.
enum class PixelOrder { BGRx, RGBx, xRGB, xBGR };

// Bytes of an I420 picture: the Y plane, then U and V at half the width and height.
inline std::size_t i420Bytes(int width, int height)
{
    return std::size_t(width) * std::size_t(height) * 3 / 2;
}

// Converts the 32-bit RGB picture `src` (srcWidth x srcHeight pixels, `stride` bytes a row) into
// the I420 picture `out` of outWidth x outHeight (even sizes, i420Bytes large). A picture of
// another size is scaled to fit, centred on black, keeping its shape. `scratch` keeps an
// intermediate picture between calls.
void convertToI420(PixelOrder order, const std::uint8_t* src, int stride, int srcWidth,
                   int srcHeight, std::uint8_t* out, int outWidth, int outHeight,
                   std::vector<std::uint8_t>& scratch);

// The newest pictures with the times they were taken, handed from one thread to another without
// copying: the producer fills a spare buffer and publishes it, readers hold what they take as
// long as they need.
class RecentPictures final
{
public:
    using Buffer = std::shared_ptr<const std::vector<std::uint8_t>>;
    // Pictures kept: at 30 a second, a little more than a quarter of a second.
    static constexpr std::size_t kKept = 8;

    // A buffer of `bytes` bytes for the producer to fill, one nobody holds any more.
    std::shared_ptr<std::vector<std::uint8_t>> spare(std::size_t bytes);
    // Adds `picture`, taken at `takenNs` (steady clock, ns), as the newest.
    void publish(std::shared_ptr<std::vector<std::uint8_t>> picture, qint64 takenNs);
    // The newest picture taken at or before `timeNs` (steady clock, ns), else the oldest kept;
    // null before the first. `number` tells which one it is (1 for the first published).
    Buffer at(qint64 timeNs, quint64* number = nullptr) const;
    // Forgets every picture.
    void clear();

private:
    struct Kept {
        std::shared_ptr<std::vector<std::uint8_t>> picture;
        qint64 takenNs = 0;
        quint64 number = 0;
    };
    mutable std::mutex m_mutex;
    std::deque<Kept> m_kept;
    std::vector<std::shared_ptr<std::vector<std::uint8_t>>> m_pool;
    quint64 m_published = 0;
};
