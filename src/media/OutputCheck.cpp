// Whether a file the media tool wrote holds any media, judged from its container structure.
#include "media/OutputCheck.h"

#include <QFile>

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
