// Screen pictures as the tool reads them (raw I420), and the latest one shared between threads.
#include "record/wayland/I420Picture.h"

#include <libyuv/convert.h>
#include <libyuv/scale.h>

#include <algorithm>
#include <cstring>

namespace
{

using ToI420 = int (*)(const std::uint8_t*, int, std::uint8_t*, int, std::uint8_t*, int,
                       std::uint8_t*, int, int, int);

// libyuv names a 32-bit pixel by its order as a little-endian word, the reverse of memory.
ToI420 converterFor(PixelOrder order)
{
    switch (order) {
    case PixelOrder::BGRx:
        return libyuv::ARGBToI420;
    case PixelOrder::RGBx:
        return libyuv::ABGRToI420;
    case PixelOrder::xRGB:
        return libyuv::BGRAToI420;
    case PixelOrder::xBGR:
        return libyuv::RGBAToI420;
    }
    return libyuv::ARGBToI420;
}

struct Planes {
    std::uint8_t* y;
    std::uint8_t* u;
    std::uint8_t* v;
};

Planes planesOf(std::uint8_t* picture, int width, int height)
{
    const std::size_t luma = std::size_t(width) * std::size_t(height);
    return {picture, picture + luma, picture + luma + luma / 4};
}

// The kept pictures, one being written to the tool, one being filled, and a few to spare.
constexpr std::size_t kPoolSize = RecentPictures::kKept + 4;

} // namespace

void convertToI420(PixelOrder order, const std::uint8_t* src, int stride, int srcWidth,
                   int srcHeight, std::uint8_t* out, int outWidth, int outHeight,
                   std::vector<std::uint8_t>& scratch)
{
    const ToI420 convert = converterFor(order);
    const Planes dst = planesOf(out, outWidth, outHeight);
    const int width = srcWidth & ~1;
    const int height = srcHeight & ~1;
    if (width == outWidth && height == outHeight) {
        convert(src, stride, dst.y, outWidth, dst.u, outWidth / 2, dst.v, outWidth / 2, width,
                height);
        return;
    }
    // Black (limited range, as the conversion makes it) around the picture.
    const std::size_t luma = std::size_t(outWidth) * std::size_t(outHeight);
    std::memset(dst.y, 16, luma);
    std::memset(dst.u, 128, luma / 2);
    if (width < 2 || height < 2)
        return;
    scratch.resize(i420Bytes(width, height));
    const Planes own = planesOf(scratch.data(), width, height);
    convert(src, stride, own.y, width, own.u, width / 2, own.v, width / 2, width, height);

    int fitWidth = outWidth;
    int fitHeight = outHeight;
    if (qint64(width) * outHeight > qint64(outWidth) * height)
        fitHeight = int(qint64(height) * outWidth / width);
    else
        fitWidth = int(qint64(width) * outHeight / height);
    fitWidth = std::max(2, fitWidth & ~1);
    fitHeight = std::max(2, fitHeight & ~1);
    const int x = ((outWidth - fitWidth) / 2) & ~1;
    const int y = ((outHeight - fitHeight) / 2) & ~1;
    const std::size_t chroma = std::size_t(y / 2) * std::size_t(outWidth / 2) + std::size_t(x / 2);
    libyuv::I420Scale(own.y, width, own.u, width / 2, own.v, width / 2, width, height,
                      dst.y + std::size_t(y) * std::size_t(outWidth) + std::size_t(x), outWidth,
                      dst.u + chroma, outWidth / 2, dst.v + chroma, outWidth / 2, fitWidth,
                      fitHeight, libyuv::kFilterBilinear);
}

std::shared_ptr<std::vector<std::uint8_t>> RecentPictures::spare(std::size_t bytes)
{
    std::shared_ptr<std::vector<std::uint8_t>> buffer;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        // Only the pool holds a free buffer; kept pictures and the readers' ones are busy.
        for (const auto& candidate : m_pool) {
            if (candidate.use_count() == 1) {
                buffer = candidate;
                break;
            }
        }
        if (!buffer) {
            buffer = std::make_shared<std::vector<std::uint8_t>>();
            if (m_pool.size() < kPoolSize)
                m_pool.push_back(buffer);
        }
    }
    buffer->resize(bytes);
    return buffer;
}

void RecentPictures::publish(std::shared_ptr<std::vector<std::uint8_t>> picture, qint64 takenNs)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_kept.empty())
        takenNs = std::max(takenNs, m_kept.back().takenNs);
    m_kept.push_back({std::move(picture), takenNs, ++m_published});
    if (m_kept.size() > kKept)
        m_kept.pop_front();
}

RecentPictures::Buffer RecentPictures::at(qint64 timeNs, quint64* number) const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_kept.empty())
        return {};
    auto chosen = m_kept.begin();
    for (auto it = m_kept.begin(); it != m_kept.end() && it->takenNs <= timeNs; ++it)
        chosen = it;
    if (number)
        *number = chosen->number;
    return chosen->picture;
}

void RecentPictures::clear()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_kept.clear();
    m_pool.clear();
    m_published = 0;
}
