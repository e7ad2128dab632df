// What the container structure of a media file says.
#include "media/OutputCheck.h"

#include <QFile>

#include <algorithm>

namespace
{

constexpr qint64 kTsPacket = 188;
// Enough packets to pass the tables at the head of any stream the tool writes.
constexpr int kTsPacketsScanned = 8192;

constexpr quint32 fourcc(const char (&s)[5])
{
    return quint32(uchar(s[0])) << 24 | quint32(uchar(s[1])) << 16 | quint32(uchar(s[2])) << 8 |
           quint32(uchar(s[3]));
}

quint64 bigEndian(const QByteArray& bytes, int at, int count)
{
    quint64 value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | uchar(bytes.at(at + i));
    return value;
}

struct Box {
    quint32 type = 0;
    qint64 payload = 0; // where the box's content begins
    qint64 end = 0;
};

// The box at `pos`, which must lie wholly before `limit`.
bool readBox(QFile& file, qint64 pos, qint64 limit, Box* box)
{
    if (limit - pos < 8 || !file.seek(pos))
        return false;
    QByteArray head = file.read(8);
    if (head.size() < 8)
        return false;
    quint64 size = bigEndian(head, 0, 4);
    qint64 header = 8;
    if (size == 1) {
        const QByteArray large = file.read(8);
        if (large.size() < 8)
            return false;
        size = bigEndian(large, 0, 8);
        header = 16;
    } else if (size == 0) {
        size = quint64(limit - pos); // the box runs to the end of its parent
    }
    if (size < quint64(header) || size > quint64(limit - pos))
        return false;
    box->type = quint32(bigEndian(head, 4, 4));
    box->payload = pos + header;
    box->end = pos + qint64(size);
    return true;
}

bool looksLikeIsoMedia(const QByteArray& head)
{
    if (head.size() < 8)
        return false;
    const quint32 type = quint32(bigEndian(head, 4, 4));
    for (quint32 known : {fourcc("ftyp"), fourcc("styp"), fourcc("moov"), fourcc("mdat"),
                          fourcc("free"), fourcc("skip"), fourcc("wide"), fourcc("moof")}) {
        if (type == known)
            return true;
    }
    return false;
}

// The mov muxer leaves a track out of the movie box when it got no samples, and a fragmented
// file keeps its samples in mdat boxes after each moof; a stopped-too-early run therefore has
// either no trak or no mdat with content.
bool isoHasStreams(QFile& file)
{
    const qint64 size = file.size();
    bool track = false;
    bool media = false;
    Box box;
    // A box that runs past the end (a run cut short) ends the walk; what came before counts.
    for (qint64 pos = 0; readBox(file, pos, size, &box); pos = box.end) {
        if (box.type == fourcc("moov")) {
            Box child;
            for (qint64 at = box.payload; readBox(file, at, box.end, &child); at = child.end) {
                if (child.type == fourcc("trak"))
                    track = true;
            }
        } else if (box.type == fourcc("mdat") && box.end > box.payload) {
            media = true;
        }
    }
    return track && media;
}

bool looksLikeTransportStream(const QByteArray& head, qint64 size)
{
    if (size < kTsPacket || head.isEmpty() || uchar(head.at(0)) != 0x47)
        return false;
    return size < 2 * kTsPacket || (head.size() > kTsPacket && uchar(head.at(kTsPacket)) == 0x47);
}

// The tables (PAT, PMT, SDT) come first whatever the content; a stream with data has a packet
// that starts a PES, whose payload begins with the start code 00 00 01.
bool tsHasStreams(QFile& file)
{
    if (!file.seek(0))
        return false;
    for (int i = 0; i < kTsPacketsScanned; ++i) {
        const QByteArray packet = file.read(kTsPacket);
        if (packet.size() < kTsPacket || uchar(packet.at(0)) != 0x47)
            return false;
        const bool unitStart = uchar(packet.at(1)) & 0x40;
        const int control = (uchar(packet.at(3)) >> 4) & 3;
        int at = 4;
        if (control & 2)
            at += 1 + uchar(packet.at(4));
        if (!unitStart || !(control & 1) || at + 3 > kTsPacket)
            continue;
        if (packet.at(at) == 0 && packet.at(at + 1) == 0 && packet.at(at + 2) == 1)
            return true;
    }
    return false;
}

// The payload of `box`, at most `most` bytes.
QByteArray payloadOf(QFile& file, const Box& box, qint64 most)
{
    if (!file.seek(box.payload))
        return {};
    return file.read(std::min(most, box.end - box.payload));
}

// The first entry of the sample table box `type` ("stts", "ctts") in `stbl`: its second field
// (stts: the first samples' duration; ctts: the first sample's composition offset, signed from
// version 1 on). 0 when there is none.
qint64 firstTableValue(QFile& file, const Box& stbl, quint32 type)
{
    Box table;
    for (qint64 at = stbl.payload; readBox(file, at, stbl.end, &table); at = table.end) {
        if (table.type != type)
            continue;
        const QByteArray p = payloadOf(file, table, 16);
        if (p.size() < 16 || bigEndian(p, 4, 4) == 0)
            return 0;
        const quint32 value = quint32(bigEndian(p, 12, 4));
        return p.at(0) == 1 ? qint64(qint32(value)) : qint64(value);
    }
    return 0;
}

struct TrackTimes {
    quint32 handler = 0; // "vide", "soun", ...
    double start = 0;    // s; see IsoTrackEnds
    double end = -1;     // s; -1 when unknown
};

// Where track `trak` starts and ends on the movie's timeline.
TrackTimes trackTimes(QFile& file, const Box& trak, quint64 movieScale)
{
    TrackTimes times;
    quint64 mediaScale = 0;
    quint64 mediaDuration = 0;
    quint64 edited = 0;    // the edit list's segments, in the movie's time scale
    quint64 emptyLead = 0; // its empty edits before the first one that shows media
    qint64 mediaStart = 0; // where in the media that one begins, in the media's time scale
    bool hasEdits = false;
    bool shown = false;
    qint64 firstDuration = 0;
    qint64 firstOffset = 0;
    Box child;
    for (qint64 at = trak.payload; readBox(file, at, trak.end, &child); at = child.end) {
        if (child.type == fourcc("edts")) {
            Box list;
            for (qint64 e = child.payload; readBox(file, e, child.end, &list); e = list.end) {
                if (list.type != fourcc("elst"))
                    continue;
                const QByteArray p = payloadOf(file, list, 8 + 20 * 64);
                if (p.size() < 8)
                    continue;
                const bool wide = p.at(0) == 1;
                const int size = wide ? 8 : 4;
                const int entry = 2 * size + 4;
                const quint64 count = bigEndian(p, 4, 4);
                for (quint64 i = 0; i < count && 8 + int(i + 1) * entry <= p.size(); ++i) {
                    const int at = 8 + int(i) * entry;
                    const quint64 duration = bigEndian(p, at, size);
                    // An empty edit's media time is -1: all its bits set.
                    const quint64 time = bigEndian(p, at + size, size);
                    const bool empty = time == (wide ? ~quint64(0) : quint64(0xffffffffu));
                    if (!shown && empty) {
                        emptyLead += duration;
                    } else if (!shown) {
                        shown = true;
                        mediaStart = wide ? qint64(time) : qint64(qint32(quint32(time)));
                    }
                    edited += duration;
                    hasEdits = true;
                }
            }
        } else if (child.type == fourcc("mdia")) {
            Box part;
            for (qint64 m = child.payload; readBox(file, m, child.end, &part); m = part.end) {
                const QByteArray p = payloadOf(file, part, 40);
                if (part.type == fourcc("hdlr") && p.size() >= 12)
                    times.handler = quint32(bigEndian(p, 8, 4));
                // Version 0: times of 32 bits, the scale at 12; version 1: 64 bits, at 20.
                const bool wide = !p.isEmpty() && p.at(0) == 1;
                if (part.type == fourcc("mdhd") && p.size() >= (wide ? 32 : 20)) {
                    mediaScale = bigEndian(p, wide ? 20 : 12, 4);
                    mediaDuration = bigEndian(p, wide ? 24 : 16, wide ? 8 : 4);
                }
                Box stbl;
                if (part.type != fourcc("minf"))
                    continue;
                for (qint64 s = part.payload; readBox(file, s, part.end, &stbl); s = stbl.end) {
                    if (stbl.type == fourcc("stbl")) {
                        firstDuration = firstTableValue(file, stbl, fourcc("stts"));
                        firstOffset = firstTableValue(file, stbl, fourcc("ctts"));
                    }
                }
            }
        }
    }
    if (hasEdits && movieScale > 0 && edited > 0)
        times.end = double(edited) / double(movieScale);
    else if (mediaScale > 0 && mediaDuration > 0)
        times.end = double(mediaDuration) / double(mediaScale);
    if (movieScale == 0 || mediaScale == 0)
        return times;
    // A copy keeps the pictures before the edit (the first is a keyframe the rest need), and
    // drops the sound before it (an encoder's priming).
    qint64 first = firstOffset - mediaStart;
    if (times.handler == fourcc("soun") && first < 0 && firstDuration > 0)
        first += (-first + firstDuration - 1) / firstDuration * firstDuration;
    times.start = double(emptyLead) / double(movieScale) + double(first) / double(mediaScale);
    return times;
}

} // namespace

bool outputHasStreams(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return false;
    const QByteArray head = file.read(kTsPacket + 1);
    if (looksLikeIsoMedia(head))
        return isoHasStreams(file);
    if (looksLikeTransportStream(head, file.size()))
        return tsHasStreams(file);
    return true;
}

IsoTrackEnds isoTrackEnds(const QString& path)
{
    IsoTrackEnds ends;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !looksLikeIsoMedia(file.read(8)))
        return ends;
    const qint64 size = file.size();
    Box box;
    for (qint64 pos = 0; readBox(file, pos, size, &box); pos = box.end) {
        if (box.type != fourcc("moov"))
            continue;
        quint64 movieScale = 0;
        IsoTrackEnds found;
        Box child;
        for (qint64 at = box.payload; readBox(file, at, box.end, &child); at = child.end) {
            if (child.type == fourcc("mvex"))
                return ends; // fragmented: the movie box does not know the length
            if (child.type == fourcc("mvhd")) {
                const QByteArray p = payloadOf(file, child, 32);
                movieScale = p.size() >= 24 ? bigEndian(p, p.at(0) == 1 ? 20 : 12, 4) : 0;
            } else if (child.type == fourcc("trak")) {
                const TrackTimes times = trackTimes(file, child, movieScale);
                if (times.handler == fourcc("vide") && found.video < 0) {
                    found.video = times.end;
                    found.videoStart = times.start;
                } else if (times.handler == fourcc("soun") && found.audio < 0) {
                    found.audio = times.end;
                    found.audioStart = times.start;
                }
            }
        }
        return found;
    }
    return ends;
}

double isoVideoEndSeconds(const QString& path)
{
    return isoTrackEnds(path).video;
}
