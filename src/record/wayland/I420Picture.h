// Screen pictures as the tool reads them (raw I420) and the latest one shared between the thread
// that converts them and the thread that writes them.
#pragma once

#include <QtGlobal>

#include <cstdint>
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

// The newest picture, handed from one thread to another without copying: the producer fills a
// spare buffer and publishes it, readers hold it as long as they need.
class LatestPicture final
{
public:
    using Buffer = std::shared_ptr<const std::vector<std::uint8_t>>;

    // A buffer of `bytes` bytes for the producer to fill, one no reader holds any more.
    std::shared_ptr<std::vector<std::uint8_t>> spare(std::size_t bytes);
    // Makes `picture` the newest.
    void publish(std::shared_ptr<std::vector<std::uint8_t>> picture);
    // The newest picture (null before the first) and how many were published up to it.
    Buffer latest(quint64* serial = nullptr) const;
    // Forgets every picture.
    void clear();

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<std::vector<std::uint8_t>> m_latest;
    std::vector<std::shared_ptr<std::vector<std::uint8_t>>> m_pool;
    quint64 m_serial = 0;
};
