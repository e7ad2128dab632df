// The plan of a frame-exact cut and the checks of its re-encoded pieces.
#include "cut/SmartCutPlan.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{

// Beyond this the pictures re-encoded (before the first keyframe and after the last clean end)
// take too long to make and too much of the result is no longer the source's own.
constexpr qint64 kMostReencodedUs = 5'000'000;

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

qint64 ceilDiv(qint64 a, qint64 b)
{
    return -floorDiv(-a, b);
}

// Microseconds of `ticks` of table `t`, rounded up or to the nearest.
qint64 usCeil(const PacketTable& t, qint64 ticks)
{
    return ceilDiv(ticks * t.tbNum * 1'000'000, t.tbDen);
}
qint64 usRound(const PacketTable& t, qint64 ticks)
{
    return floorDiv(2 * ticks * t.tbNum * 1'000'000 + t.tbDen, 2 * t.tbDen);
}

// The pictures of a table in presentation order.
struct Frames {
    const PacketTable& table;
    QVector<int> order; // presentation index -> row

    explicit Frames(const PacketTable& t) : table(t)
    {
        order.resize(t.rows.size());
        for (int i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&t](int a, int b) { return t.rows.at(a).pts < t.rows.at(b).pts; });
    }
    int count() const { return int(order.size()); }
    const PacketRow& row(int i) const { return table.rows.at(order.at(i)); }
    qint64 pts(int i) const { return row(i).pts; }
    // Where picture i stops being shown: the next picture's time, or its own duration.
    qint64 end(int i) const
    {
        if (i + 1 < count())
            return pts(i + 1);
        const qint64 step = i > 0 ? pts(i) - pts(i - 1) : 0;
        return pts(i) + (row(i).duration > 0 ? row(i).duration : step);
    }
};

// The span of the marks in the window: S, the picture shown at the start mark, and E, the first
// picture at or after the end mark.
struct Span {
    int s = 0;
    int e = 0;
    qint64 fileStartUs = 0;
};

QString locate(const CutSource& source, const Frames& f, double startMark, double endMark,
               Span* span)
{
    if (!source.video.isValid() || f.count() == 0)
        return QStringLiteral("The file holds no video that can be cut.");
    const PacketTable& t = source.video;
    span->fileStartUs = std::llround(source.startTime * 1e6);
    const qint64 startUs = span->fileStartUs + std::llround(startMark * 1e6);
    const qint64 endUs = span->fileStartUs + std::llround(endMark * 1e6);
    // Compared exactly: ticks * num / den against microseconds.
    const auto atOrBefore = [&t](qint64 ticks, qint64 us) {
        return ticks * t.tbNum * 1'000'000 <= us * t.tbDen;
    };
    // Pictures before the file's start are hidden pre-roll, never shown.
    int firstShown = 0;
    while (firstShown < f.count() &&
           f.pts(firstShown) * t.tbNum * 1'000'000 < span->fileStartUs * t.tbDen)
        ++firstShown;
    int s = firstShown;
    for (int i = firstShown; i < f.count() && atOrBefore(f.pts(i), startUs); ++i)
        s = i;
    int e = s;
    while (e < f.count() && f.pts(e) * t.tbNum * 1'000'000 < endUs * t.tbDen)
        ++e;
    // A start past the last picture's end finds that picture, which is not shown there.
    if (s >= f.count() || e <= s || atOrBefore(f.end(f.count() - 1), startUs))
        return QStringLiteral("The span between the marks holds no picture of the file.");
    span->s = s;
    span->e = e;
    return {};
}

// A point where the packets copied from a keyframe on end cleanly.
struct CleanEnd {
    int end = 0;     // the pictures [k, end) are copied
    int packets = 0; // the packets read for them in decode order, leading pictures included
};

// The clean ends after picture k: where copying the packets from picture k on, in decode order
// and without those shown before k (leading pictures of an open group), yields exactly the
// pictures [k, end). At most `most` pictures are considered.
QVector<CleanEnd> cleanEnds(const Frames& f, int k, int most)
{
    QVector<CleanEnd> ends;
    const qint64 from = f.pts(k);
    qint64 highest = std::numeric_limits<qint64>::min();
    int kept = 0;
    for (int r = f.order.at(k); r < f.table.rows.size() && kept < most; ++r) {
        const qint64 pts = f.table.rows.at(r).pts;
        if (pts < from)
            continue;
        ++kept;
        highest = std::max(highest, pts);
        if (k + kept - 1 < f.count() && highest == f.pts(k + kept - 1))
            ends.append({k + kept, r - f.order.at(k) + 1});
    }
    return ends;
}

// The sound packets from the one nearest `fromUs` to the one whose end is nearest `toUs`
// (microseconds in the file's own times): the sound stays within half a packet of the picture.
// Sound that starts later than `fromUs` in the source starts as much later in the cut.
void planAudio(const CutSource& source, qint64 fromUs, qint64 toUs, CutPlan* plan)
{
    const PacketTable& a = source.audio;
    if (!a.isValid() || a.rows.isEmpty())
        return;
    const qint64 fileStartUs = std::llround(source.startTime * 1e6);
    int first = -1;
    qint64 best = std::numeric_limits<qint64>::max();
    for (int i = 0; i < a.rows.size(); ++i) {
        const qint64 at = usRound(a, a.rows.at(i).pts);
        if (at < fileStartUs)
            continue; // before the file's start: dropped by any seek
        if (std::abs(at - fromUs) < best) {
            best = std::abs(at - fromUs);
            first = i;
        }
    }
    // A span that ends before the sound starts has none.
    if (first < 0 || usRound(a, a.rows.at(first).pts) >= toUs)
        return;
    int last = first;
    best = std::numeric_limits<qint64>::max();
    for (int j = first; j < a.rows.size(); ++j) {
        const PacketRow& r = a.rows.at(j);
        const qint64 distance = std::abs(usRound(a, r.pts + r.duration) - toUs);
        if (distance < best) {
            best = distance;
            last = j;
        }
    }
    plan->audio = true;
    const PacketRow& start = a.rows.at(first);
    const qint64 late = usRound(a, start.pts) - fromUs;
    plan->audioDelayUs = late > usRound(a, start.duration) / 2 ? late : 0;
    plan->audioSeekUs = usCeil(a, start.pts) - fileStartUs;
    plan->audioPackets = last - first + 1;
}

// The distance from picture i to the next one, or from the one before when i is the last.
qint64 stepAt(const Frames& f, int i)
{
    if (i + 1 < f.count())
        return f.pts(i + 1) - f.pts(i);
    return i > 0 ? f.pts(i) - f.pts(i - 1) : 0;
}

// Whether the pictures [from, to) follow each other at `step`. The last one's own duration
// does not count: the next piece starts where the source's next picture does.
bool evenlySpaced(const Frames& f, int from, int to, qint64 step)
{
    for (int i = from; i + 1 < to; ++i) {
        if (f.pts(i + 1) - f.pts(i) != step)
            return false;
    }
    return true;
}

// Why the pictures of `source` cannot be re-encoded to match the copied ones, if they cannot;
// fills in the x264 settings and the time scale when they can.
struct Unfit {
    CutFallback why = CutFallback::None;
    QString detail;
};

Unfit checkEncodable(const CutSource& source, CutPlan* plan)
{
    if (source.facts.videoCodec != QLatin1String("h264") ||
        !(source.container.contains(QLatin1String("mp4")) ||
          source.container.contains(QLatin1String("mov"))) ||
        source.videoStream != 0)
        return {CutFallback::NotH264,
                source.facts.videoCodec + QLatin1Char(' ') + source.container};
    const HeaderTrace& trace = source.trace;
    if (!trace.hasExtradata())
        return {CutFallback::Settings, QStringLiteral("no parameter sets in the header")};
    if (trace.sps.value(QStringLiteral("chroma_format_idc"), 1) != 1 ||
        trace.sps.value(QStringLiteral("bit_depth_luma_minus8")) != 0 ||
        trace.sps.value(QStringLiteral("frame_mbs_only_flag"), 1) != 1 ||
        !(source.facts.pixelFormat == QLatin1String("yuv420p") ||
          source.facts.pixelFormat == QLatin1String("yuvj420p")))
        return {CutFallback::NotPlain, source.facts.pixelFormat};
    for (const TracedPacket& packet : trace.packets) {
        if (packet.psDiffers)
            return {CutFallback::Settings, QStringLiteral("parameter sets change within the file")};
    }
    plan->settings = source.x264Info.isEmpty()
                         ? x264SettingsFromFields(trace.sps, trace.pps)
                         : x264SettingsFromInfo(source.x264Info,
                                                int(trace.sps.value(QStringLiteral("level_idc"))));
    if (!plan->settings.problem.isEmpty())
        return {CutFallback::Settings, plan->settings.problem};
    if (source.video.tbNum != 1)
        return {
            CutFallback::Irregular,
            QStringLiteral("a time base of %1/%2").arg(source.video.tbNum).arg(source.video.tbDen)};
    plan->timescale = source.video.tbDen;
    return {};
}

// K: the first IDR picture at or after S, or E when there is none. A head of one picture is
// itself an IDR picture with idr_pic_id 0; two such in a row are forbidden, so then the next
// IDR picture is taken.
int firstCopiedPicture(const Frames& f, const QHash<qint64, TracedPacket>& idrs, const Span& span)
{
    for (int i = span.s; i < span.e; ++i) {
        const auto found = idrs.constFind(f.pts(i));
        if (found == idrs.constEnd() || (i == span.s + 1 && found->idrPicId == 0))
            continue;
        return i;
    }
    return span.e;
}

// C: the last clean end at or before E after K (K when there is none); the pictures after it
// are re-encoded as the tail.
int copyEnd(const Frames& f, const PacketTable& video, const QHash<qint64, TracedPacket>& idrs,
            int k, int e)
{
    if (k >= e)
        return k;
    const QVector<CleanEnd> ends = cleanEnds(f, k, e - k);
    for (qsizetype n = ends.size() - 1; n >= 0; --n) {
        const int candidate = ends.at(n).end;
        // A tail begins with an IDR picture of idr_pic_id 0: the copy must not end on one.
        const int lastRow = f.order.at(k) + (candidate - k) - 1;
        const auto found = idrs.constFind(video.rows.at(lastRow).pts);
        if (candidate < e && found != idrs.constEnd() && found->idrPicId == 0)
            continue;
        return candidate;
    }
    return k;
}

// The pictures re-encoded must follow each other evenly at the rate the encoder counts in,
// which x264 writes into the sequence parameter set: the source's own rate from there (the
// tool's guess from the file can be another, as for a recording with a compressed lead-in).
Unfit setEncodeRate(const Frames& f, const HeaderTrace& trace, int s, CutPlan* plan)
{
    if (plan->head.count + plan->tail.count == 0)
        return {};
    const qint64 step = stepAt(f, s);
    const auto uneven = [&](const EncodePiece& piece) {
        return piece.count > 0 && (stepAt(f, piece.first) != step ||
                                   !evenlySpaced(f, piece.first, piece.first + piece.count, step));
    };
    if (step <= 0 || uneven(plan->head) || uneven(plan->tail))
        return {CutFallback::Irregular, QString()};
    const qint64 units = trace.sps.value(QStringLiteral("num_units_in_tick"));
    const qint64 scale = trace.sps.value(QStringLiteral("time_scale"));
    plan->rateNum = units > 0 && scale > 0 ? scale : plan->timescale;
    plan->rateDen = units > 0 && scale > 0 ? 2 * units : step;
    if (step * plan->rateNum != plan->timescale * plan->rateDen)
        return {CutFallback::Irregular, QStringLiteral("%1 ticks a picture at %2/%3 fps")
                                            .arg(step)
                                            .arg(plan->rateNum)
                                            .arg(plan->rateDen)};
    return {};
}

void setPiece(const Frames& f, const PacketTable& video, const Span& span, EncodePiece* piece)
{
    if (piece->count == 0)
        return;
    const int last = piece->first + piece->count - 1;
    piece->seekUs = usCeil(video, f.pts(piece->first)) - span.fileStartUs;
    piece->durationUs = usRound(video, f.end(last) - f.pts(piece->first));
}

// The copied body: pictures K up to C.
void setBody(const Frames& f, const PacketTable& video, const Span& span, int k, int c,
             CutPlan* plan)
{
    const PacketRow& key = f.row(k);
    plan->decodeDelay = key.pts - key.dts;
    plan->bodyInUs = usCeil(video, key.pts);
    plan->copySeekUs = plan->bodyInUs - span.fileStartUs;
    // The join stops the track after the body when nothing follows it. Before a tail it must
    // stop by itself, and the concat demuxer's out point cannot do that: it ends the file at the
    // first packet of any stream past the point, and the source's sound is stored ahead of the
    // pictures of the same time.
    plan->bodyCopied = plan->tail.count > 0;
    plan->bodyDurationUs = usRound(video, f.end(c - 1) - key.pts);
}

} // namespace

QString cutFallbackText(CutFallback reason)
{
    switch (reason) {
    case CutFallback::None:
        return QStringLiteral("frame-exact");
    case CutFallback::NotH264:
        return QStringLiteral("the video is not H.264 in MP4 or MOV as the file's first stream");
    case CutFallback::NotPlain:
        return QStringLiteral("the pictures are not 8-bit 4:2:0 progressive");
    case CutFallback::Settings:
        return QStringLiteral("x264 cannot reproduce the parameter sets");
    case CutFallback::TooLong:
        return QStringLiteral("more than 5 s would have to be re-encoded");
    case CutFallback::Irregular:
        return QStringLiteral("the pictures to re-encode have unequal durations");
    case CutFallback::Check:
        return QStringLiteral("a re-encoded piece or the result failed its check");
    }
    return {};
}

double probeWindowStart(double startMark)
{
    return std::max(0.0, startMark - 1.0);
}

double probeWindowLength(double startMark, double endMark)
{
    return endMark - probeWindowStart(startMark) + 3.0;
}

CutPlan planSmartCut(const CutSource& source, double startMark, double endMark)
{
    const Frames f(source.video);
    Span span;
    CutPlan plan;
    plan.failure = locate(source, f, startMark, endMark, &span);
    if (!plan.failure.isEmpty())
        return plan;
    const auto fallBack = [&](const Unfit& unfit) {
        return planKeyframeCut(source, startMark, endMark, unfit.why, unfit.detail);
    };
    Unfit unfit = checkEncodable(source, &plan);
    if (unfit.why != CutFallback::None)
        return fallBack(unfit);

    QHash<qint64, TracedPacket> idrs;
    for (const TracedPacket& packet : source.trace.packets) {
        if (packet.idr)
            idrs.insert(packet.pts, packet);
    }
    const int s = span.s;
    const int e = span.e;
    int k = firstCopiedPicture(f, idrs, span);
    plan.reorders = std::any_of(source.video.rows.cbegin(), source.video.rows.cend(),
                                [](const PacketRow& r) { return r.pts != r.dts; });
    const int c = copyEnd(f, source.video, idrs, k, e);
    if (c == k) // nothing to copy: all of the span is re-encoded
        k = e;
    plan.head.first = s;
    plan.head.count = (c > k ? k : e) - s;
    plan.tail.first = c;
    plan.tail.count = c > k ? e - c : 0;
    plan.bodyFrames = c > k ? c - k : 0;

    unfit = setEncodeRate(f, source.trace, s, &plan);
    if (unfit.why != CutFallback::None)
        return fallBack(unfit);
    setPiece(f, source.video, span, &plan.head);
    setPiece(f, source.video, span, &plan.tail);
    if (plan.head.durationUs + plan.tail.durationUs > kMostReencodedUs)
        return fallBack({CutFallback::TooLong,
                         QStringLiteral("%1 pictures").arg(plan.head.count + plan.tail.count)});
    if (plan.bodyFrames > 0)
        setBody(f, source.video, span, k, c, &plan);
    plan.frames = e - s;
    plan.durationUs = usRound(source.video, f.end(e - 1) - f.pts(s));
    plan.startUs = usRound(source.video, f.pts(s)) - span.fileStartUs;
    planAudio(source, usRound(source.video, f.pts(s)), usRound(source.video, f.end(e - 1)), &plan);
    return plan;
}

CutPlan planKeyframeCut(const CutSource& source, double startMark, double endMark,
                        CutFallback reason, const QString& detail)
{
    const Frames f(source.video);
    Span span;
    CutPlan plan;
    plan.fallback = reason;
    plan.fallbackDetail = detail;
    plan.failure = locate(source, f, startMark, endMark, &span);
    if (!plan.failure.isEmpty())
        return plan;
    int k = span.s;
    while (k < span.e && !f.row(k).key)
        ++k;
    if (k >= span.e) {
        // Only a span short enough to be re-encoded whole can do without a keyframe.
        plan.failure =
            QStringLiteral("The video cannot be cut between these marks without re-encoding it: "
                           "there is no keyframe between them. Choose a span that holds one%1.")
                .arg(reason == CutFallback::TooLong ? QStringLiteral(", or one of 5 s at most")
                                                    : QString());
        return plan;
    }
    // The first clean end at or after E keeps every wanted picture (and at most a few more).
    const QVector<CleanEnd> ends = cleanEnds(f, k, f.count() - k);
    if (ends.isEmpty()) {
        plan.failure = QStringLiteral("The video of this file cannot be cut.");
        return plan;
    }
    CleanEnd clean = ends.last();
    for (const CleanEnd& end : ends) {
        if (end.end >= span.e) {
            clean = end;
            break;
        }
    }
    const int c = clean.end;
    plan.copyPackets = clean.packets;
    const PacketRow& key = f.row(k);
    plan.reorders = std::any_of(source.video.rows.cbegin(), source.video.rows.cend(),
                                [](const PacketRow& r) { return r.pts != r.dts; });
    plan.exact = k == span.s;
    plan.frames = c - k;
    plan.durationUs = usRound(source.video, f.end(c - 1) - key.pts);
    plan.copySeekUs = usCeil(source.video, key.pts) - span.fileStartUs;
    plan.startUs = usRound(source.video, key.pts) - span.fileStartUs;
    planAudio(source, usRound(source.video, key.pts), usRound(source.video, f.end(c - 1)), &plan);
    return plan;
}

QString encodedPieceProblem(const CutSource& source, const EncodePiece& piece,
                            const HeaderTrace& pieceTrace)
{
    if (pieceTrace.parameterSets != source.trace.parameterSets)
        return QStringLiteral("its parameter sets differ from the source's");
    if (pieceTrace.packets.size() != piece.count)
        return QStringLiteral("it holds %1 pictures instead of %2")
            .arg(pieceTrace.packets.size())
            .arg(piece.count);
    QVector<qint64> times;
    for (const TracedPacket& packet : pieceTrace.packets)
        times.append(packet.pts);
    std::sort(times.begin(), times.end());
    const Frames f(source.video);
    const qint64 step = stepAt(f, piece.first);
    for (qsizetype i = 0; i < times.size(); ++i) {
        if (times.at(i) != i * step)
            return QStringLiteral("its picture times are not the source's");
    }
    return {};
}

qint64 headDecodeShift(const CutPlan& plan, const HeaderTrace& headTrace)
{
    if (!plan.reorders || plan.head.count == 0 || plan.bodyFrames == 0 ||
        headTrace.packets.isEmpty())
        return 0;
    const TracedPacket& first = headTrace.packets.first();
    return std::max<qint64>(0, plan.decodeDelay - (first.pts - first.dts));
}
