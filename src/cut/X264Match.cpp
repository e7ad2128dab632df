// The x264 settings under which re-encoded pictures carry a source's parameter sets unchanged.
#include "cut/X264Match.h"

#include <QMap>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace
{

// The quantiser of the re-encoded pictures stays this far below the rate factor: the picture
// parameter set stores int(rate factor), so a lower factor would change it, and at the source's
// own factor the pictures came out visibly softer (43 dB); 3 below gave 51-55 dB.
constexpr int kQualityMargin = 3;

// x264 lowers the chroma offset it writes by the strength of its psychovisual optimisations;
// given the written value it raises it again by as much, so x264 arrives at the same value.
int chromaOffsetBeforePsy(int written, bool psy, int subme, int trellis, double psyRd,
                          double psyTrellis)
{
    if (!psy)
        return written;
    if (subme >= 6 && psyRd > 0)
        written += psyRd < 0.25 ? 1 : 2;
    if (trellis > 0 && psyTrellis > 0)
        written += psyTrellis < 0.25 ? 1 : 2;
    return written;
}

// x264's partition names for the inter analysis flags it prints in hexadecimal.
QString partitionNames(uint flags)
{
    QStringList names;
    const std::pair<uint, const char*> known[] = {
        {0x1, "i4x4"}, {0x2, "i8x8"}, {0x10, "p8x8"}, {0x20, "p4x4"}, {0x100, "b8x8"}};
    for (const auto& [bit, name] : known) {
        if (flags & bit)
            names << QLatin1String(name);
    }
    return names.isEmpty() ? QStringLiteral("none") : names.join(QLatin1Char(','));
}

// Rate control settings: the source's rate factor (or constant quantiser), with the quantiser
// capped for quality. Rate targets (bitrate) write 26 into the picture parameter set, as a rate
// factor of 26 does.
QStringList rateOptions(const QString& mode, double crf, int qp, int sourceQpMax)
{
    if (mode == QLatin1String("cqp"))
        return {QStringLiteral("qp=%1").arg(qp)};
    const double factor = mode == QLatin1String("crf") ? crf : 26.0;
    const int qpMax = std::min(sourceQpMax, int(std::floor(factor)) - kQualityMargin);
    return {QStringLiteral("crf=%1").arg(factor, 0, 'f', 1), QStringLiteral("qpmax=%1").arg(qpMax)};
}

} // namespace

namespace
{

// Options whose name x264 prints with '_' and reads with '-', or under another name.
const std::pair<const char*, const char*> kRenamed[] = {
    {"cabac", "cabac"},
    {"ref", "ref"},
    {"me", "me"},
    {"subme", "subme"},
    {"psy", "psy"},
    {"mixed_ref", "mixed-refs"},
    {"me_range", "merange"},
    {"chroma_me", "chroma-me"},
    {"trellis", "trellis"},
    {"8x8dct", "8x8dct"},
    {"fast_pskip", "fast-pskip"},
    {"nr", "nr"},
    {"decimate", "dct-decimate"},
    {"bluray_compat", "bluray-compat"},
    {"constrained_intra", "constrained-intra"},
    {"bframes", "bframes"},
    {"b_pyramid", "b-pyramid"},
    {"b_adapt", "b-adapt"},
    {"b_bias", "b-bias"},
    {"weightb", "weightb"},
    {"open_gop", "open-gop"},
    {"weightp", "weightp"},
    {"keyint", "keyint"},
    {"keyint_min", "min-keyint"},
    {"scenecut", "scenecut"},
    {"intra_refresh", "intra-refresh"},
    {"rc_lookahead", "rc-lookahead"},
    {"mbtree", "mbtree"},
    {"qcomp", "qcomp"},
    {"qpmin", "qpmin"},
    {"qpstep", "qpstep"},
    {"ip_ratio", "ipratio"},
    {"pb_ratio", "pbratio"},
    {"vbv_maxrate", "vbv-maxrate"},
    {"vbv_bufsize", "vbv-bufsize"},
    {"nal_hrd", "nal-hrd"},
    {"stitchable", "stitchable"},
};

// The options of x264's info string, by name ("name=value" words after " - options: ").
QMap<QString, QString> infoOptions(const QString& info)
{
    QMap<QString, QString> o;
    const qsizetype at = info.indexOf(QLatin1String(" - options: "));
    if (at < 0)
        return o;
    for (const QString& word : info.mid(at + 12).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype eq = word.indexOf(QLatin1Char('='));
        if (eq > 0)
            o.insert(word.left(eq), word.mid(eq + 1));
    }
    return o;
}

// The options that take their value as the info string writes it.
QStringList renamedOptions(const QMap<QString, QString>& o)
{
    QStringList p;
    for (const auto& [from, to] : kRenamed) {
        const QString value = o.value(QLatin1String(from));
        if (!value.isEmpty())
            p << QLatin1String(to) + QLatin1Char('=') + value;
    }
    return p;
}

// The options whose value the info string writes in another form.
QStringList rewrittenOptions(const QMap<QString, QString>& o)
{
    QStringList p;
    // Values that hold a ':' are written with ',' inside "-x264-params".
    const QStringList deblock = o.value(QStringLiteral("deblock")).split(QLatin1Char(':'));
    if (deblock.size() == 3 && deblock.at(0) == QLatin1String("1"))
        p << QStringLiteral("deblock=%1,%2").arg(deblock.at(1), deblock.at(2));
    else
        p << QStringLiteral("no-deblock=1");
    const QStringList analyse = o.value(QStringLiteral("analyse")).split(QLatin1Char(':'));
    if (analyse.size() == 2)
        p << QStringLiteral("partitions=") + partitionNames(analyse.at(1).toUInt(nullptr, 0));
    const QStringList psyRd = o.value(QStringLiteral("psy_rd"), QStringLiteral("0:0")).split(':');
    p << QStringLiteral("psy-rd=%1,%2").arg(psyRd.value(0), psyRd.value(1, QStringLiteral("0")));
    const QStringList deadzone = o.value(QStringLiteral("deadzone")).split(QLatin1Char(','));
    if (deadzone.size() == 2)
        p << QStringLiteral("deadzone-inter=") + deadzone.at(0)
          << QStringLiteral("deadzone-intra=") + deadzone.at(1);
    const QStringList directNames{QStringLiteral("none"), QStringLiteral("spatial"),
                                  QStringLiteral("temporal"), QStringLiteral("auto")};
    if (o.contains(QStringLiteral("direct")))
        p << QStringLiteral("direct=") +
                 directNames.value(o.value(QStringLiteral("direct")).toInt());
    p << QStringLiteral("cqm=") + (o.value(QStringLiteral("cqm")) == QLatin1String("1")
                                       ? QStringLiteral("jvt")
                                       : QStringLiteral("flat"));
    const QStringList aq = o.value(QStringLiteral("aq"), QStringLiteral("0")).split(':');
    p << QStringLiteral("aq-mode=") + aq.at(0);
    if (aq.size() > 1)
        p << QStringLiteral("aq-strength=") + aq.at(1);
    // The info string holds the offset after x264's adjustment; x264 makes it again.
    const int chroma = chromaOffsetBeforePsy(o.value(QStringLiteral("chroma_qp_offset")).toInt(),
                                             o.value(QStringLiteral("psy")) == QLatin1String("1"),
                                             o.value(QStringLiteral("subme")).toInt(),
                                             o.value(QStringLiteral("trellis")).toInt(),
                                             psyRd.value(0).toDouble(), psyRd.value(1).toDouble());
    p << QStringLiteral("chroma-qp-offset=%1").arg(chroma);
    return p;
}

} // namespace

X264Settings x264SettingsFromInfo(const QString& info, int levelIdc)
{
    X264Settings out;
    const QMap<QString, QString> o = infoOptions(info);
    if (o.isEmpty()) {
        out.problem = QStringLiteral("x264's info string lists no options");
        return out;
    }
    if (o.value(QStringLiteral("interlaced"), QStringLiteral("0")) != QLatin1String("0")) {
        out.problem = QStringLiteral("interlaced pictures");
        return out;
    }
    const QString cqm = o.value(QStringLiteral("cqm"), QStringLiteral("0"));
    if (cqm != QLatin1String("0") && cqm != QLatin1String("1")) {
        out.problem = QStringLiteral("custom quantisation matrices");
        return out;
    }
    QStringList p = renamedOptions(o) + rewrittenOptions(o);
    p << rateOptions(o.value(QStringLiteral("rc")), o.value(QStringLiteral("crf")).toDouble(),
                     o.value(QStringLiteral("qp")).toInt(),
                     o.value(QStringLiteral("qpmax"), QStringLiteral("69")).toInt());
    if (levelIdc > 0)
        p << QStringLiteral("level=%1").arg(levelIdc);

    // The preset decides what the info string does not tell: which partitions intra pictures
    // try (the first "analyse" value). Everything else is set above.
    const QString analyse = o.value(QStringLiteral("analyse")).section(QLatin1Char(':'), 0, 0);
    out.preset =
        analyse.toUInt(nullptr, 0) == 0 ? QStringLiteral("ultrafast") : QStringLiteral("medium");
    out.params = p.join(QLatin1Char(':'));
    return out;
}

X264Settings x264SettingsFromFields(const QHash<QString, qint64>& sps,
                                    const QHash<QString, qint64>& pps)
{
    X264Settings out;
    if (sps.isEmpty() || pps.isEmpty()) {
        out.problem = QStringLiteral("no parameter sets to match");
        return out;
    }
    if (sps.value(QStringLiteral("frame_mbs_only_flag"), 1) != 1) {
        out.problem = QStringLiteral("interlaced pictures");
        return out;
    }
    if (sps.value(QStringLiteral("seq_scaling_matrix_present_flag")) ||
        pps.value(QStringLiteral("pic_scaling_matrix_present_flag"))) {
        out.problem = QStringLiteral("quantisation matrices");
        return out;
    }
    const bool cabac = pps.value(QStringLiteral("entropy_coding_mode_flag"));
    const int reorder = int(sps.value(QStringLiteral("max_num_reorder_frames")));
    const bool medium = cabac || reorder > 0;
    QStringList p;
    p << QStringLiteral("cabac=%1").arg(int(cabac))
      << QStringLiteral("ref=%1").arg(
             pps.value(QStringLiteral("num_ref_idx_l0_default_active_minus1")) + 1)
      << QStringLiteral("8x8dct=%1").arg(pps.value(QStringLiteral("transform_8x8_mode_flag")))
      << QStringLiteral("weightp=%1").arg(pps.value(QStringLiteral("weighted_pred_flag")) ? 2 : 0)
      << QStringLiteral("weightb=%1").arg(pps.value(QStringLiteral("weighted_bipred_idc")) ? 1 : 0)
      << QStringLiteral("constrained-intra=%1")
             .arg(pps.value(QStringLiteral("constrained_intra_pred_flag")));
    if (reorder == 0) {
        p << QStringLiteral("bframes=0");
    } else {
        // x264 sizes the picture order count from the number of B-frames and the pyramid:
        // take the fewest B-frames that give the source's size.
        const int pyramid = reorder > 1 ? 2 : 0;
        const qint64 lsb = sps.value(QStringLiteral("log2_max_pic_order_cnt_lsb_minus4")) + 4;
        int bframes = 1;
        for (; bframes < 16; ++bframes) {
            const int maxDelta = (bframes + 2) * (pyramid ? 2 : 1) * 2;
            int log2 = 4;
            while ((1 << log2) <= maxDelta * 2)
                ++log2;
            if (log2 == lsb)
                break;
        }
        p << QStringLiteral("bframes=%1").arg(bframes)
          << QStringLiteral("b-pyramid=%1").arg(pyramid);
    }
    const int written = int(pps.value(QStringLiteral("chroma_qp_index_offset")));
    // The medium preset's psychovisual settings lower the offset by 2; ultrafast's do nothing.
    p << QStringLiteral("chroma-qp-offset=%1")
             .arg(medium ? chromaOffsetBeforePsy(written, true, 7, 1, 1.0, 0.0) : written);
    const int initQp = 26 + int(pps.value(QStringLiteral("pic_init_qp_minus26")));
    p << rateOptions(QStringLiteral("crf"), initQp, 0, 69);
    if (const qint64 level = sps.value(QStringLiteral("level_idc")))
        p << QStringLiteral("level=%1").arg(level);
    out.preset = medium ? QStringLiteral("medium") : QStringLiteral("ultrafast");
    out.params = p.join(QLatin1Char(':'));
    return out;
}
