// The arguments of a frame-exact cut's steps.
#include "cut/SmartCutSteps.h"

#include <QRegularExpression>

namespace
{

QString quotedForConcat(const QString& path)
{
    QString quoted = path;
    quoted.replace(QLatin1String("'"), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// The MP4 options: no edit list hides anything, but the sound of a source whose sound starts
// later than its picture starts later by an empty edit.
QStringList movOptions(const CutPlan& plan)
{
    // Without an edit list the first picture of a B-frame track would be shown one decode delay
    // late; negative composition offsets let it start at 0.
    return {QStringLiteral("-movflags"),
            plan.reorders ? QStringLiteral("+faststart+negative_cts_offsets")
                          : QStringLiteral("+faststart"),
            QStringLiteral("-use_editlist"),
            plan.audioDelayUs > 0 ? QStringLiteral("1") : QStringLiteral("0")};
}

// The source read a second time, from the first sound packet kept on.
QStringList soundInput(const CutPlan& plan, const QString& source)
{
    if (!plan.audio)
        return {};
    QStringList args;
    if (plan.audioDelayUs > 0)
        args << QStringLiteral("-itsoffset") << microsText(plan.audioDelayUs);
    return args << QStringLiteral("-ss") << microsText(plan.audioSeekUs) << QStringLiteral("-i")
                << source;
}

// The options that end the result's streams after `plan.frames` pictures and
// `plan.audioPackets` sound packets, `videoFilter` (may be empty) applied to the pictures first.
// "-frames" would not do: in this tool the first stream to reach its count ends them all,
// losing the other's last packets. The packets are counted off by a filter instead, and a time
// limit a second past the end stops the reading.
QStringList streamLimits(const CutPlan& plan, const QString& videoFilter)
{
    // A keyframe cut also drops the leading pictures of an open group (shown before the
    // keyframe, undecodable without what came before it), which -copypriorss keeps after the
    // first packet.
    QString video = plan.copyPackets > 0
                        ? QStringLiteral("noise=drop='lt(pts,0)+gte(n,%1)'").arg(plan.copyPackets)
                        : QStringLiteral("noise=drop='gte(n,%1)'").arg(plan.frames);
    if (!videoFilter.isEmpty())
        video = videoFilter + QLatin1Char(',') + video;
    QStringList args{QStringLiteral("-t"), microsText(plan.durationUs + 1'000'000),
                     QStringLiteral("-bsf:v"), video};
    if (plan.audio)
        args << QStringLiteral("-bsf:a")
             << QStringLiteral("noise=drop='gte(n,%1)'").arg(plan.audioPackets);
    return args;
}

} // namespace

QStringList encodePieceArguments(const QString& source, const CutPlan& plan,
                                 const EncodePiece& piece, const QString& output)
{
    // Frame times pass through unchanged; the encoder's time base is 1/rate, the source's, as
    // another one changes the timing fields of the sequence parameter set. No keyframe inside
    // the piece: an IDR picture at its end would stand next to the body's first one.
    return {QStringLiteral("-hide_banner"),
            QStringLiteral("-y"),
            QStringLiteral("-ss"),
            microsText(piece.seekUs),
            QStringLiteral("-i"),
            source,
            QStringLiteral("-map"),
            QStringLiteral("0:v:0"),
            QStringLiteral("-frames:v"),
            QString::number(piece.count),
            QStringLiteral("-fps_mode"),
            QStringLiteral("passthrough"),
            QStringLiteral("-r"),
            QStringLiteral("%1/%2").arg(plan.rateNum).arg(plan.rateDen),
            QStringLiteral("-c:v"),
            QStringLiteral("libx264"),
            QStringLiteral("-preset"),
            plan.settings.preset,
            QStringLiteral("-x264-params"),
            plan.settings.params + QStringLiteral(":keyint=infinite:scenecut=0"),
            QStringLiteral("-bsf:v"),
            QStringLiteral("trace_headers"),
            QStringLiteral("-video_track_timescale"),
            QString::number(plan.timescale),
            QStringLiteral("-f"),
            QStringLiteral("mp4"),
            output};
}

QStringList bodyCopyArguments(const CutPlan& plan, const QString& source, const QString& output)
{
    // At a clean end the first packets in decode order are exactly the body's pictures.
    return {QStringLiteral("-hide_banner"),
            QStringLiteral("-y"),
            QStringLiteral("-ss"),
            microsText(plan.copySeekUs),
            QStringLiteral("-i"),
            source,
            QStringLiteral("-map"),
            QStringLiteral("0:v:0"),
            QStringLiteral("-frames:v"),
            QString::number(plan.bodyFrames),
            QStringLiteral("-copypriorss"),
            QStringLiteral("0"),
            QStringLiteral("-c"),
            QStringLiteral("copy"),
            QStringLiteral("-f"),
            QStringLiteral("mp4"),
            output};
}

QString cutConcatList(const CutPlan& plan, const QString& source, const QString& headName,
                      const QString& bodyName, const QString& tailName)
{
    // Each piece with its exact length, so that the next one starts where it ends.
    QString list = QStringLiteral("ffconcat version 1.0\n");
    if (plan.head.count > 0)
        list += QStringLiteral("file %1\nduration %2\n")
                    .arg(quotedForConcat(headName), microsText(plan.head.durationUs));
    if (plan.bodyCopied)
        list += QStringLiteral("file %1\nduration %2\n")
                    .arg(quotedForConcat(bodyName), microsText(plan.bodyDurationUs));
    else if (plan.bodyFrames > 0)
        list += QStringLiteral("file %1\ninpoint %2\nduration %3\n")
                    .arg(quotedForConcat(source), microsText(plan.bodyInUs),
                         microsText(plan.bodyDurationUs));
    if (plan.tail.count > 0)
        list += QStringLiteral("file %1\nduration %2\n")
                    .arg(quotedForConcat(tailName), microsText(plan.tail.durationUs));
    return list;
}

QStringList cutJoinArguments(const CutPlan& plan, const QString& listPath, const QString& source,
                             qint64 headShift, const QString& output)
{
    QStringList args{QStringLiteral("-hide_banner"),
                     QStringLiteral("-y"),
                     QStringLiteral("-f"),
                     QStringLiteral("concat"),
                     QStringLiteral("-safe"),
                     QStringLiteral("0"),
                     QStringLiteral("-auto_convert"),
                     QStringLiteral("0"),
                     QStringLiteral("-i"),
                     listPath};
    args << soundInput(plan, source) << QStringLiteral("-map") << QStringLiteral("0:v:0");
    if (plan.audio)
        args << QStringLiteral("-map") << QStringLiteral("1:a:0") << QStringLiteral("-map_metadata")
             << QStringLiteral("1");
    // Without -copypriorss 0 the sound would keep about a second before the seek as hidden
    // pre-roll.
    args << QStringLiteral("-copypriorss") << QStringLiteral("0") << QStringLiteral("-c")
         << QStringLiteral("copy");
    // pts must be named: setts otherwise evaluates the display times with the decode times.
    args << streamLimits(plan, headShift > 0
                                   ? QStringLiteral("setts=pts=PTS:dts='if(lt(N,%1),DTS-%2,DTS)'")
                                         .arg(plan.head.count)
                                         .arg(headShift)
                                   : QString());
    args << movOptions(plan) << QStringLiteral("-f") << QStringLiteral("mp4") << output;
    return args;
}

QStringList keyframeCutArguments(const CutPlan& plan, const QString& source, const QString& output)
{
    QStringList args{QStringLiteral("-hide_banner"), QStringLiteral("-y"), QStringLiteral("-ss"),
                     microsText(plan.copySeekUs),    QStringLiteral("-i"), source};
    args << soundInput(plan, source) << QStringLiteral("-map") << QStringLiteral("0:v:0");
    if (plan.audio)
        args << QStringLiteral("-map") << QStringLiteral("1:a:0");
    // -copypriorss 0 drops what a seek keeps before the keyframe, and the leading pictures of
    // an open group, which would not decode.
    args << QStringLiteral("-copypriorss") << QStringLiteral("0") << QStringLiteral("-c")
         << QStringLiteral("copy") << streamLimits(plan, QString()) << movOptions(plan)
         << QStringLiteral("-f") << QStringLiteral("mp4") << output;
    return args;
}

int framesWritten(const QStringList& lines)
{
    static const QRegularExpression re(QStringLiteral("^frame=\\s*(\\d+)"));
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const QRegularExpressionMatch m = re.match(lines.at(i));
        if (m.hasMatch())
            return m.captured(1).toInt();
    }
    return -1;
}
