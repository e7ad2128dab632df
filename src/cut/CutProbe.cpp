// What the media tool says about a file's packets and headers, read for planning a frame-exact
// cut.
#include "cut/CutProbe.h"

#include <QRegularExpression>

namespace
{

const QString kTraceTag = QStringLiteral("[trace_headers @ ");

// The text after "[trace_headers @ 0x...] " in `line`, or a null string.
QString traceText(const QString& line)
{
    const qsizetype tag = line.indexOf(kTraceTag);
    if (tag < 0)
        return {};
    const qsizetype end = line.indexOf(QLatin1String("] "), tag);
    return end < 0 ? QString() : line.mid(end + 2).trimmed();
}

bool isParameterSet(const QString& section)
{
    return section.endsWith(QLatin1String("Parameter Set"));
}

} // namespace

PacketTables parseFrameCrc(const QString& text)
{
    static const QRegularExpression tbRe(QStringLiteral("^#tb (\\d+): (\\d+)/(\\d+)"));
    PacketTables tables;
    const auto tableOf = [&tables](int stream) -> PacketTable* {
        return stream == 0 ? &tables.first : stream == 1 ? &tables.second : nullptr;
    };
    for (const QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('#'))) {
            const QRegularExpressionMatch m = tbRe.match(line);
            if (PacketTable* table = m.hasMatch() ? tableOf(m.captured(1).toInt()) : nullptr) {
                table->tbNum = m.captured(2).toLongLong();
                table->tbDen = m.captured(3).toLongLong();
            }
            continue;
        }
        // "stream, dts, pts, duration, size, crc[, F=0x0][, S=...]"
        const QList<QStringView> fields = line.split(QLatin1Char(','));
        if (fields.size() < 6)
            continue;
        PacketTable* table = tableOf(fields.at(0).trimmed().toInt());
        if (!table)
            continue;
        PacketRow row;
        row.dts = fields.at(1).trimmed().toLongLong();
        row.pts = fields.at(2).trimmed().toLongLong();
        row.duration = fields.at(3).trimmed().toLongLong();
        // The flags are written only when they are not "key frame" alone.
        row.key = true;
        for (qsizetype i = 6; i < fields.size(); ++i) {
            const QStringView field = fields.at(i).trimmed();
            if (field.startsWith(QLatin1String("F=0x")))
                row.key = field.mid(4).toInt(nullptr, 16) & 1;
        }
        table->rows.append(row);
    }
    return tables;
}

namespace
{

// Reads the trace a line at a time: section headings, then the fields of each section.
struct TraceReader {
    HeaderTrace trace;
    bool inExtradata = false;
    QString section;
    QStringList inBand; // parameter-set fields of the current packet
    QHash<QString, qint64>* values = nullptr;

    void closePacket()
    {
        if (!trace.packets.isEmpty() && !inBand.isEmpty())
            trace.packets.last().psDiffers = inBand != trace.parameterSets;
        inBand.clear();
    }

    void heading(const QString& text)
    {
        static const QRegularExpression packetRe(
            QStringLiteral("^Packet: \\d+ bytes, (key frame, )?pts (-?\\d+), dts (-?\\d+)"));
        section = text;
        values = nullptr;
        if (text == QLatin1String("Extradata")) {
            inExtradata = true;
        } else if (const QRegularExpressionMatch p = packetRe.match(text); p.hasMatch()) {
            closePacket();
            inExtradata = false;
            TracedPacket packet;
            packet.key = !p.captured(1).isEmpty();
            packet.pts = p.captured(2).toLongLong();
            packet.dts = p.captured(3).toLongLong();
            trace.packets.append(packet);
        } else if (inExtradata && text == QLatin1String("Sequence Parameter Set") &&
                   trace.sps.isEmpty()) {
            values = &trace.sps;
        } else if (inExtradata && text == QLatin1String("Picture Parameter Set") &&
                   trace.pps.isEmpty()) {
            values = &trace.pps;
        }
    }

    void field(const QRegularExpressionMatch& field)
    {
        const QString name = field.captured(2);
        const qint64 value = field.captured(4).toLongLong();
        if (isParameterSet(section)) {
            const QString normal = field.captured(1) + QLatin1Char(' ') + name + QLatin1Char(' ') +
                                   field.captured(3) + QStringLiteral(" = ") + field.captured(4);
            if (inExtradata)
                trace.parameterSets.append(normal);
            else
                inBand.append(normal);
            if (values && !values->contains(name))
                values->insert(name, value);
        } else if (section == QLatin1String("Slice Header") && !trace.packets.isEmpty()) {
            // Every slice of a picture repeats these.
            TracedPacket& packet = trace.packets.last();
            if (name == QLatin1String("nal_unit_type"))
                packet.idr = value == 5;
            else if (name == QLatin1String("idr_pic_id"))
                packet.idrPicId = int(value);
        }
    }
};

} // namespace

HeaderTrace parseHeaderTrace(const QStringList& lines)
{
    static const QRegularExpression fieldRe(
        QStringLiteral("^(\\d+)\\s+(\\S+)\\s+([01]+)\\s+=\\s+(-?\\d+)$"));
    TraceReader reader;
    for (const QString& line : lines) {
        const QString text = traceText(line);
        if (text.isEmpty())
            continue;
        const QRegularExpressionMatch field = fieldRe.match(text);
        if (field.hasMatch())
            reader.field(field);
        else
            reader.heading(text);
    }
    reader.closePacket();
    return reader.trace;
}

QString x264InfoIn(const QByteArray& picture)
{
    const qsizetype at = picture.indexOf("x264 - core ");
    if (at < 0)
        return {};
    qsizetype end = at;
    while (end < picture.size() && uchar(picture.at(end)) >= 0x20 && uchar(picture.at(end)) < 0x7f)
        ++end;
    return QString::fromLatin1(picture.mid(at, end - at));
}

double inputStartSeconds(const QStringList& lines)
{
    static const QRegularExpression re(QStringLiteral("Duration: .*, start: (-?\\d+(?:\\.\\d+)?)"));
    for (const QString& line : lines) {
        const QRegularExpressionMatch m = re.match(line);
        if (m.hasMatch())
            return m.captured(1).toDouble();
    }
    return 0;
}

QStringList cutProbeArguments(const QString& source, double windowStart, double windowLength,
                              const CutProbeFiles& files, bool trace)
{
    const auto us = [](double seconds) { return microsText(qint64(seconds * 1e6)); };
    // -copyts keeps the file's own times, so the window's rows and the whole file's agree.
    // A stream copy keeps the packets from the keyframe before the window's start.
    QStringList args{QStringLiteral("-hide_banner"),
                     QStringLiteral("-y"),
                     QStringLiteral("-ss"),
                     us(std::max(0.0, windowStart)),
                     QStringLiteral("-t"),
                     us(windowLength),
                     QStringLiteral("-copyts"),
                     QStringLiteral("-i"),
                     source,
                     QStringLiteral("-i"),
                     source,
                     QStringLiteral("-map"),
                     QStringLiteral("0:v:0"),
                     QStringLiteral("-map"),
                     QStringLiteral("0:a:0?"),
                     QStringLiteral("-c"),
                     QStringLiteral("copy"),
                     QStringLiteral("-f"),
                     QStringLiteral("framecrc"),
                     files.table};
    if (trace)
        // Only the key packets are traced: slice headers of every picture would be thousands
        // of lines a second.
        args << QStringLiteral("-map") << QStringLiteral("0:v:0") << QStringLiteral("-c")
             << QStringLiteral("copy") << QStringLiteral("-bsf:v")
             << QStringLiteral("noise=drop=not(key),trace_headers") << QStringLiteral("-f")
             << QStringLiteral("null") << QStringLiteral("-");
    args << QStringLiteral("-map") << QStringLiteral("1:v:0") << QStringLiteral("-frames:v")
         << QStringLiteral("1") << QStringLiteral("-c") << QStringLiteral("copy")
         << QStringLiteral("-f") << QStringLiteral("data") << files.firstPicture;
    return args;
}

QString microsText(qint64 us)
{
    const QString sign = us < 0 ? QStringLiteral("-") : QString();
    const qint64 magnitude = us < 0 ? -us : us;
    return sign + QString::number(magnitude / 1000000) + QLatin1Char('.') +
           QStringLiteral("%1").arg(magnitude % 1000000, 6, 10, QLatin1Char('0'));
}
