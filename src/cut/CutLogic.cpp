// Pure rules of the cut editor: probed durations, marks, output names and the tool's arguments.
#include "cut/CutLogic.h"

#include "support/Helpers.h"

#include <QRegularExpression>

Q_LOGGING_CATEGORY(lcCut, "vistrel.cut")

qint64 ProbeTextToSeconds(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("^(\\d+):(\\d+):(\\d+)$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return -1;
    return m.captured(1).toLongLong() * 3600 + m.captured(2).toLongLong() * 60 +
           m.captured(3).toLongLong();
}

qint64 DecimalTextToSeconds(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("^\\s*([+-]?\\d+)"));
    const QRegularExpressionMatch m = re.match(text);
    return m.hasMatch() ? m.captured(1).toLongLong() : 0;
}

QString CutSpanProblem(qint64 startSeconds, qint64 endSeconds)
{
    if (endSeconds <= startSeconds)
        return QStringLiteral("The end must be after the start. Move the slider past the start "
                              "and press \"End\" again.");
    return {};
}

QString CutOutputPath(const QString& outDir, const QString& sourcePath)
{
    QString dir = outDir;
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir + QStringLiteral("Cut_") +
           sourcePath.mid(sourcePath.lastIndexOf(QLatin1Char('/')) + 1);
}

QStringList CutArguments(const QString& source, qint64 startSeconds, qint64 endSeconds,
                         const QString& output)
{
    // -ss before -i seeks the input: the copy starts at the keyframe before the mark and an
    // edit list hides the pre-roll, so players begin at the mark. After -i, a stream copy
    // would drop everything up to the next keyframe and start with sound over nothing.
    return {QStringLiteral("-hide_banner"),
            QStringLiteral("-y"),
            QStringLiteral("-ss"),
            QString::number(startSeconds),
            QStringLiteral("-i"),
            source,
            QStringLiteral("-t"),
            QString::number(endSeconds - startSeconds),
            QStringLiteral("-codec"),
            QStringLiteral("copy"),
            output};
}
