// What the media tool says about a file's packets and headers, read for planning a frame-exact
// cut: packet tables, traced headers, x264's info string, and the run that gathers them.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

// One packet as a stream-copy "framecrc" table lists it; times in the stream's time base.
struct PacketRow {
    qint64 dts = 0;
    qint64 pts = 0;
    qint64 duration = 0;
    bool key = false;
};

// The packets of one stream in file (decode) order, with the stream's time base.
struct PacketTable {
    qint64 tbNum = 0; // 0: the table named no time base
    qint64 tbDen = 1;
    QVector<PacketRow> rows;
    bool isValid() const { return tbNum > 0 && tbDen > 0; }
};

// The tables of streams 0 and 1 of a "-f framecrc" output (`text`); a stream the output did
// not hold comes back invalid.
struct PacketTables {
    PacketTable first;
    PacketTable second;
};
PacketTables parseFrameCrc(const QString& text);

// One packet that the trace_headers filter described: its times and, for H.264, its slice.
struct TracedPacket {
    qint64 pts = 0;
    qint64 dts = 0;
    bool key = false;
    bool idr = false;       // a slice with nal_unit_type 5 (an instantaneous decoder refresh)
    int idrPicId = -1;      // idr_pic_id of that slice
    bool psDiffers = false; // it carries parameter sets that differ from the extradata's
};

// What the trace_headers filter printed: the extradata's parameter sets field by field, their
// values by name, and every packet it saw.
struct HeaderTrace {
    QStringList parameterSets;  // "bit name bits = value" of every field, in order
    QHash<QString, qint64> sps; // first value of each field of the first sequence set
    QHash<QString, qint64> pps; // first value of each field of the first picture set
    QVector<TracedPacket> packets;
    bool hasExtradata() const { return !parameterSets.isEmpty(); }
};

// Reads the trace_headers lines among `lines` (the merged output of one run with one such
// filter); other lines are skipped, and a line may hold a progress record before the trace.
HeaderTrace parseHeaderTrace(const QStringList& lines);

// x264's info string ("x264 - core 164 ... - options: cabac=0 ...") in the bytes of a
// picture, or empty when the picture has none (another encoder, or a file cut before).
QString x264InfoIn(const QByteArray& picture);

// The "start: " time of the first input described in `lines`, seconds; 0 when absent.
double inputStartSeconds(const QStringList& lines);

// The file names the probe run writes in its working folder.
struct CutProbeFiles {
    QString table;        // framecrc of the window: the first video stream, then the first audio
    QString firstPicture; // the file's first video packet as stored
};

// Arguments of the one run that gathers what a cut is planned from: the packet tables of the
// window from `windowStart` (s, from the file's start) for `windowLength` s (with the file's
// own times), the key packets traced (`trace`: for codecs the filter knows; it fails the run
// for others), and the first picture of the file.
QStringList cutProbeArguments(const QString& source, double windowStart, double windowLength,
                              const CutProbeFiles& files, bool trace);

// "12.345678" for microseconds `us` (exactly, also below zero).
QString microsText(qint64 us);
