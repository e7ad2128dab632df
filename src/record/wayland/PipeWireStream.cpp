// The shared screen's pictures from PipeWire, in a thread of PipeWire's own, converted to I420.
#include "record/wayland/PipeWireStream.h"

#include <QLoggingCategory>

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcPipeWire, "vistrel.record.pipewire")

namespace
{

// A picture stamped longer ago than this has a stamp on some other clock.
constexpr qint64 kPlausibleDelayNs = 1000000000;

// The screen's formats that are plain 32-bit RGB in shared memory.
bool pixelOrderOf(spa_video_format format, PixelOrder* order)
{
    switch (format) {
    case SPA_VIDEO_FORMAT_BGRx:
    case SPA_VIDEO_FORMAT_BGRA:
        *order = PixelOrder::BGRx;
        return true;
    case SPA_VIDEO_FORMAT_RGBx:
    case SPA_VIDEO_FORMAT_RGBA:
        *order = PixelOrder::RGBx;
        return true;
    case SPA_VIDEO_FORMAT_xRGB:
    case SPA_VIDEO_FORMAT_ARGB:
        *order = PixelOrder::xRGB;
        return true;
    case SPA_VIDEO_FORMAT_xBGR:
    case SPA_VIDEO_FORMAT_ABGR:
        *order = PixelOrder::xBGR;
        return true;
    default:
        return false;
    }
}

} // namespace

struct PipeWireStream::Impl {
    explicit Impl(PipeWireStream* owner) : owner(owner) {}

    PipeWireStream* owner;
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    spa_hook coreListener{};
    spa_hook streamListener{};
    pw_core_events coreEvents{};
    pw_stream_events streamEvents{};

    // Used in PipeWire's thread only.
    spa_video_info_raw format{};
    PixelOrder order = PixelOrder::BGRx;
    bool formatKnown = false;
    int outWidth = 0;
    int outHeight = 0;
    std::vector<std::uint8_t> scratch;
    bool endSaid = false;
    bool stopping = false;

    void onParamChanged(uint32_t id, const spa_pod* param);
    void onProcess();
    void onStateChanged(pw_stream_state state, const char* error);
    void end(const QString& reason);
    // Listens to the core's errors and creates the stream with its listener (loop locked).
    void listen();
    // Connects the stream to `node`, offering the formats it takes (loop locked). PipeWire's
    // result: negative on failure.
    int connect(quint32 node);
};

void PipeWireStream::Impl::listen()
{
    coreEvents.version = PW_VERSION_CORE_EVENTS;
    coreEvents.error = [](void* data, uint32_t id, int, int res, const char* message) {
        if (id == PW_ID_CORE && res == -EPIPE)
            static_cast<Impl*>(data)->end(
                QStringLiteral("The connection to PipeWire was lost (%1).")
                    .arg(QString::fromUtf8(message ? message : "")));
    };
    pw_core_add_listener(core, &coreListener, &coreEvents, this);

    stream = pw_stream_new(core, "Vistrel screen",
                           pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                             "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    streamEvents.version = PW_VERSION_STREAM_EVENTS;
    streamEvents.state_changed = [](void* data, pw_stream_state, pw_stream_state state,
                                    const char* message) {
        static_cast<Impl*>(data)->onStateChanged(state, message);
    };
    streamEvents.param_changed = [](void* data, uint32_t id, const spa_pod* param) {
        static_cast<Impl*>(data)->onParamChanged(id, param);
    };
    streamEvents.process = [](void* data) { static_cast<Impl*>(data)->onProcess(); };
    pw_stream_add_listener(stream, &streamListener, &streamEvents, this);
}

int PipeWireStream::Impl::connect(quint32 node)
{
    // Any size; the compositor sends a picture only when the screen changed, up to 30 a second,
    // which is all a recording takes.
    std::uint8_t buffer[1024];
    spa_pod_builder builder;
    spa_pod_builder_init(&builder, buffer, sizeof buffer);
    spa_rectangle sizeDefault{1920, 1080};
    spa_rectangle sizeMin{1, 1};
    spa_rectangle sizeMax{16384, 16384};
    spa_fraction rateDefault{30, 1};
    spa_fraction rateMin{0, 1};
    spa_fraction rateMax{30, 1};
    const spa_pod* formats = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(9, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                               SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA,
                               SPA_VIDEO_FORMAT_xRGB, SPA_VIDEO_FORMAT_ARGB, SPA_VIDEO_FORMAT_xBGR,
                               SPA_VIDEO_FORMAT_ABGR),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&sizeDefault, &sizeMin, &sizeMax),
        SPA_FORMAT_VIDEO_framerate,
        SPA_POD_CHOICE_RANGE_Fraction(&rateDefault, &rateMin, &rateMax)));
    return pw_stream_connect(
        stream, PW_DIRECTION_INPUT, node,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
        &formats, 1);
}

void PipeWireStream::Impl::onParamChanged(uint32_t id, const spa_pod* param)
{
    if (id != SPA_PARAM_Format || !param)
        return;
    uint32_t mediaType = 0;
    uint32_t mediaSubtype = 0;
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 ||
        mediaType != SPA_MEDIA_TYPE_video || mediaSubtype != SPA_MEDIA_SUBTYPE_raw)
        return;
    spa_video_info_raw raw{};
    if (spa_format_video_raw_parse(param, &raw) < 0 || !pixelOrderOf(raw.format, &order)) {
        end(QStringLiteral("The shared screen came in a picture format Vistrel cannot read."));
        return;
    }
    format = raw;
    formatKnown = true;
    qCInfo(lcPipeWire) << "screen stream format" << int(raw.format) << raw.size.width << "x"
                       << raw.size.height << "at" << raw.framerate.num << "/"
                       << raw.framerate.denom;

    // Pictures in memory the program can read: a memfd mapped by PipeWire, or plain memory.
    std::uint8_t buffer[1024];
    spa_pod_builder builder;
    spa_pod_builder_init(&builder, buffer, sizeof buffer);
    const spa_pod* params[2];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
        SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
    pw_stream_update_params(stream, params, 2);
}

void PipeWireStream::Impl::onProcess()
{
    // Only the newest picture matters; older ones go back at once.
    pw_buffer* newest = nullptr;
    while (pw_buffer* next = pw_stream_dequeue_buffer(stream)) {
        if (newest)
            pw_stream_queue_buffer(stream, newest);
        newest = next;
    }
    if (!newest)
        return;
    const spa_buffer* buffer = newest->buffer;
    if (buffer->n_datas == 0) {
        pw_stream_queue_buffer(stream, newest);
        return;
    }
    const auto* header = static_cast<const spa_meta_header*>(
        spa_buffer_find_meta_data(buffer, SPA_META_Header, sizeof(spa_meta_header)));
    const spa_data& data = buffer->datas[0];
    const int width = int(format.size.width);
    const int height = int(format.size.height);
    const int stride = data.chunk && data.chunk->stride > 0 ? data.chunk->stride : width * 4;
    // An empty chunk only moves the cursor; a corrupted one is skipped.
    const bool usable = formatKnown && data.data && data.chunk && data.chunk->size > 0 &&
                        !(data.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) &&
                        !(header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED)) &&
                        width >= 2 && height >= 2 &&
                        std::size_t(data.chunk->offset) + std::size_t(stride) * (height - 1) +
                                std::size_t(width) * 4 <=
                            data.maxsize;
    if (usable) {
        const bool first = outWidth == 0;
        if (first) {
            outWidth = width & ~1;
            outHeight = height & ~1;
        }
        auto picture = owner->m_pictures.spare(i420Bytes(outWidth, outHeight));
        const auto* pixels = static_cast<const std::uint8_t*>(data.data) + data.chunk->offset;
        convertToI420(order, pixels, stride, width, height, picture->data(), outWidth, outHeight,
                      scratch);
        // When the compositor took the picture (its monotonic clock, which steady_clock reads
        // too): reading back and handing over a picture took tens of ms here, up to a few
        // hundred on a busy machine, which the sound would otherwise lead by. A missing or odd
        // stamp counts as now.
        const qint64 now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
        qint64 taken = now;
        if (header && header->pts > 0 && now - header->pts >= 0 &&
            now - header->pts < kPlausibleDelayNs)
            taken = header->pts;
        owner->m_pictures.publish(std::move(picture), taken);
        owner->m_delayNs += now - taken;
        ++owner->m_received;
        if (first)
            Q_EMIT owner->firstPicture(QSize(outWidth, outHeight));
    }
    pw_stream_queue_buffer(stream, newest);
}

void PipeWireStream::Impl::onStateChanged(pw_stream_state state, const char* error)
{
    qCDebug(lcPipeWire) << "screen stream" << pw_stream_state_as_string(state);
    if (state == PW_STREAM_STATE_ERROR)
        end(QStringLiteral("The shared screen's stream failed: %1.")
                .arg(QString::fromUtf8(error ? error : "no reason given")));
    else if (state == PW_STREAM_STATE_UNCONNECTED && !stopping)
        end(QStringLiteral("The shared screen's stream ended."));
}

void PipeWireStream::Impl::end(const QString& reason)
{
    if (endSaid || stopping)
        return;
    endSaid = true;
    qCWarning(lcPipeWire).noquote() << reason;
    Q_EMIT owner->ended(reason);
}

PipeWireStream::PipeWireStream(QObject* parent) : QObject(parent) {}

double PipeWireStream::meanDelayMs() const
{
    const quint64 count = m_received;
    return count ? double(m_delayNs) / double(count) / 1e6 : 0;
}

PipeWireStream::~PipeWireStream()
{
    stop();
}

bool PipeWireStream::start(int fd, quint32 node, QString* error)
{
    stop();
    static const bool initialised = [] {
        pw_init(nullptr, nullptr);
        return true;
    }();
    Q_UNUSED(initialised)

    m_pictures.clear();
    m_received = 0;
    m_delayNs = 0;
    m_impl = std::make_unique<Impl>(this);
    Impl& impl = *m_impl;
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (own < 0) {
        *error = QStringLiteral("The PipeWire connection of the screen share is not usable.");
        m_impl.reset();
        return false;
    }
    impl.loop = pw_thread_loop_new("vistrel-screen", nullptr);
    impl.context =
        impl.loop ? pw_context_new(pw_thread_loop_get_loop(impl.loop), nullptr, 0) : nullptr;
    if (!impl.context || pw_thread_loop_start(impl.loop) < 0) {
        ::close(own);
        *error = QStringLiteral("PipeWire could not be set up.");
        stop();
        return false;
    }

    pw_thread_loop_lock(impl.loop);
    // The connection takes the descriptor over, closed or not.
    impl.core = pw_context_connect_fd(impl.context, own, nullptr, 0);
    if (!impl.core) {
        pw_thread_loop_unlock(impl.loop);
        *error = QStringLiteral("Vistrel could not connect to the shared screen through PipeWire "
                                "(%1).")
                     .arg(QString::fromLocal8Bit(strerror(errno)));
        stop();
        return false;
    }
    impl.listen();
    const int result = impl.connect(node);
    pw_thread_loop_unlock(impl.loop);
    if (result < 0) {
        *error = QStringLiteral("Vistrel could not receive the shared screen from PipeWire (%1).")
                     .arg(QString::fromLocal8Bit(strerror(-result)));
        stop();
        return false;
    }
    return true;
}

void PipeWireStream::stop()
{
    if (!m_impl)
        return;
    Impl& impl = *m_impl;
    if (impl.loop) {
        pw_thread_loop_lock(impl.loop);
        impl.stopping = true;
        if (impl.stream) {
            pw_stream_disconnect(impl.stream);
            pw_stream_destroy(impl.stream);
            impl.stream = nullptr;
        }
        pw_thread_loop_unlock(impl.loop);
        pw_thread_loop_stop(impl.loop);
    }
    if (impl.core)
        pw_core_disconnect(impl.core);
    if (impl.context)
        pw_context_destroy(impl.context);
    if (impl.loop)
        pw_thread_loop_destroy(impl.loop);
    m_impl.reset();
}
