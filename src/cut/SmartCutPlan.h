// The plan of a frame-exact cut, made from the probe's packet tables: re-encode the pictures from
// the start mark to the first keyframe (and, for B-frame sources, the last few before the end),
// copy the rest, join them into one track, and copy the sound from the packet nearest the start.
// Where that cannot be done without visible loss, the plan copies from the first keyframe after
// the mark instead. The checks of the re-encoded pieces.
#pragma once

#include "cut/CutProbe.h"
#include "cut/X264Match.h"
#include "library/MediaProbe.h"

#include <QString>
#include <QStringList>

// Why a cut copies from a keyframe after the start mark instead of starting at the mark.
enum class CutFallback {
    None,
    NotH264,   // the video is not H.264 in MP4 or MOV, or not the file's first stream
    NotPlain,  // not 8-bit 4:2:0 progressive pictures
    Settings,  // parameter sets that x264 cannot reproduce
    TooLong,   // more than about 5 s would have to be re-encoded
    Irregular, // pictures of unequal durations where pictures would be re-encoded
    Check,     // a re-encoded piece or the joined result failed its check
};

// The reason in a few words, for the log.
QString cutFallbackText(CutFallback reason);

// What the probe learnt about the source.
struct CutSource {
    MediaFacts facts;
    QString container;    // the input's format as the tool names it: "mov,mp4,m4a,3gp,3g2,mj2"
    int videoStream = 0;  // index of the first video stream among the file's streams
    double startTime = 0; // the file's start ("start:"), s: marks count from there
    PacketTable video;    // the probed window, video packets
    PacketTable audio;    // the probed window, packets of the first audio stream (may be invalid)
    HeaderTrace trace;    // the key packets and the extradata
    QString x264Info;     // x264's info string in the file's first picture, if any
};

// Pictures [first, first + count) in presentation order of the probed window, re-encoded.
struct EncodePiece {
    int first = 0;
    int count = 0;
    qint64 seekUs = 0;     // "-ss" of its first picture (from the file's start)
    qint64 durationUs = 0; // its length in the joined track
};

struct CutPlan {
    QString failure; // not empty: nothing can be cut; why, as a sentence for the user
    CutFallback fallback = CutFallback::None;
    QString fallbackDetail; // for the log
    bool exact = true;      // the result starts with the picture shown at the start mark
    qint64 startUs = 0;     // where the result starts in the source (from the file's start)
    int frames = 0;         // pictures the result holds
    qint64 durationUs = 0;  // and how long they last

    // A frame-exact cut: head, the copied body, tail (a piece with count 0 is left out). The
    // body is read from the source by the join itself, which stops after `frames` pictures;
    // before a tail it is copied into a file of its own first (bodyCopied).
    EncodePiece head;
    EncodePiece tail;
    int bodyFrames = 0;
    qint64 bodyInUs = 0; // the body's first picture, in the file's own times (concat inpoint)
    qint64 bodyDurationUs = 0;
    bool bodyCopied = false;
    X264Settings settings;
    qint64 timescale = 0; // the video's time base is 1/timescale
    qint64 rateNum = 0;   // the pictures' rate, rateNum/rateDen per second
    qint64 rateDen = 1;

    // -ss of the first copied picture: of a keyframe cut, or of a body copied on its own.
    qint64 copySeekUs = 0;
    int copyPackets = 0; // a keyframe cut: the packets read, leading pictures included

    bool reorders = false;  // the video has B-frames (decode order differs from display)
    qint64 decodeDelay = 0; // ticks from a keyframe's decode time to its display time
    bool audio = false;
    qint64 audioSeekUs = 0; // "-ss" of the first sound packet kept (from the file's start)
    int audioPackets = 0;
    // How much later than the first picture the sound starts, when the source's sound starts
    // more than half a packet after it; 0: together.
    qint64 audioDelayUs = 0;
};

// The window of the file to probe for a cut from `startMark` to `endMark` (s): from a second
// before the start to 3 s past the end.
double probeWindowStart(double startMark);
double probeWindowLength(double startMark, double endMark);

// A frame-exact plan when the source allows one, else a keyframe cut with its reason.
CutPlan planSmartCut(const CutSource& source, double startMark, double endMark);

// A cut that copies from the first keyframe at or after the start mark, with no hidden
// pre-roll, to the first point at or after the end mark where the copied packets end cleanly.
CutPlan planKeyframeCut(const CutSource& source, double startMark, double endMark,
                        CutFallback reason, const QString& detail);

// Why a re-encoded piece cannot stand in the track: parameter sets unlike the source's, a
// picture count other than `piece.count`, or irregular times; empty when it can. `pieceTrace`
// is the trace of its encoding run.
QString encodedPieceProblem(const CutSource& source, const EncodePiece& piece,
                            const HeaderTrace& pieceTrace);

// Ticks by which the head's decode times must move earlier so that they come before the
// copied body's: a short head has no decode delay where a B-frame body has one.
qint64 headDecodeShift(const CutPlan& plan, const HeaderTrace& headTrace);
