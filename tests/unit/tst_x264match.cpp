// The x264 settings that reproduce a source's parameter sets, for the settings the real-tool
// tests do not meet: rate targets, constant quantisers, psychovisual trellis, refusals.
#include "cut/X264Match.h"

#include <QtTest>

class TestX264Match : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fromInfo_data();
    void fromInfo();
    void fromFields();
};

void TestX264Match::fromInfo_data()
{
    QTest::addColumn<QString>("options"); // what x264 wrote after " - options: "
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("refused");
    const QString camera = QStringLiteral(
        "cabac=1 ref=3 deblock=1:0:0 analyse=0x3:0x113 me=hex subme=7 psy=1 psy_rd=1.00:0.00 "
        "trellis=1 8x8dct=1 cqm=0 deadzone=21,11 chroma_qp_offset=-2 interlaced=0 bframes=3 "
        "b_pyramid=2 direct=1 weightb=1 weightp=2 keyint=250 rc=crf crf=23.0 qpmax=69 aq=1:1.00");
    QTest::newRow("recording")
        << QStringLiteral("cabac=0 ref=1 deblock=0:0:0 analyse=0:0 me=dia subme=0 psy=1 "
                          "psy_rd=1.00:0.00 chroma_qp_offset=0 bframes=0 rc=crf crf=23.0 "
                          "qpmax=69 aq=0")
        << QStringList{QStringLiteral("cabac=0"),
                       QStringLiteral("no-deblock=1"),
                       QStringLiteral("chroma-qp-offset=0"),
                       QStringLiteral("crf=23.0"),
                       QStringLiteral("qpmax=20"),
                       QStringLiteral("partitions=none")}
        << false;
    // x264 lowers the offset it writes by 2 for psychovisual rate-distortion at subme >= 6.
    QTest::newRow("camera") << camera
                            << QStringList{QStringLiteral("deblock=0,0"),
                                           QStringLiteral("psy-rd=1.00,0.00"),
                                           QStringLiteral("chroma-qp-offset=0"),
                                           QStringLiteral("direct=spatial"),
                                           QStringLiteral("partitions=i4x4,i8x8,p8x8,b8x8"),
                                           QStringLiteral("aq-mode=1:aq-strength=1.00")}
                            << false;
    // ... and by 1 more for a weak psychovisual trellis.
    QTest::newRow("psychovisual trellis")
        << QString(camera)
               .replace(QLatin1String("psy_rd=1.00:0.00"), QLatin1String("psy_rd=1.00:0.15"))
               .replace(QLatin1String("chroma_qp_offset=-2"), QLatin1String("chroma_qp_offset=-3"))
        << QStringList{QStringLiteral("chroma-qp-offset=0")} << false;
    // A bitrate target writes 26 into the picture parameter set, as a rate factor of 26 does.
    QTest::newRow("bitrate target")
        << QString(camera).replace(QLatin1String("rc=crf crf=23.0"),
                                   QLatin1String("rc=abr bitrate=8000 vbv_maxrate=8000 "
                                                 "vbv_bufsize=16000"))
        << QStringList{QStringLiteral("crf=26.0"), QStringLiteral("qpmax=23"),
                       QStringLiteral("vbv-maxrate=8000"), QStringLiteral("vbv-bufsize=16000")}
        << false;
    QTest::newRow("constant quantiser")
        << QString(camera).replace(QLatin1String("rc=crf crf=23.0"), QLatin1String("rc=cqp qp=30"))
        << QStringList{QStringLiteral("qp=30")} << false;
    QTest::newRow("interlaced") << QString(camera).replace(QLatin1String("interlaced=0"),
                                                           QLatin1String("interlaced=tff"))
                                << QStringList() << true;
    QTest::newRow("custom matrices")
        << QString(camera).replace(QLatin1String("cqm=0"), QLatin1String("cqm=2")) << QStringList()
        << true;
}

void TestX264Match::fromInfo()
{
    QFETCH(QString, options);
    QFETCH(QStringList, expected);
    QFETCH(bool, refused);
    const X264Settings settings = x264SettingsFromInfo(
        QStringLiteral("x264 - core 164 r3095 baee400 - H.264/MPEG-4 AVC codec - options: ") +
            options,
        31);
    QCOMPARE(!settings.problem.isEmpty(), refused);
    if (refused)
        return;
    const QStringList params = settings.params.split(QLatin1Char(':'));
    for (const QString& want : expected) {
        for (const QString& part : want.split(QLatin1Char(':')))
            QVERIFY2(params.contains(part),
                     qPrintable(part + QStringLiteral(" in ") + settings.params));
    }
    QVERIFY(params.contains(QStringLiteral("level=31")));
}

void TestX264Match::fromFields()
{
    // A B-frame camera file's sets: the picture order count of 2^6 fits 2 B-frames in a pyramid.
    const QHash<QString, qint64> sps{{QStringLiteral("max_num_reorder_frames"), 2},
                                     {QStringLiteral("log2_max_pic_order_cnt_lsb_minus4"), 2},
                                     {QStringLiteral("level_idc"), 13}};
    const QHash<QString, qint64> pps{{QStringLiteral("entropy_coding_mode_flag"), 1},
                                     {QStringLiteral("num_ref_idx_l0_default_active_minus1"), 2},
                                     {QStringLiteral("chroma_qp_index_offset"), -2},
                                     {QStringLiteral("pic_init_qp_minus26"), -3}};
    const X264Settings settings = x264SettingsFromFields(sps, pps);
    QVERIFY(settings.problem.isEmpty());
    QCOMPARE(settings.preset, QStringLiteral("medium"));
    QCOMPARE(settings.params, QStringLiteral("cabac=1:ref=3:8x8dct=0:weightp=0:weightb=0:"
                                             "constrained-intra=0:bframes=2:b-pyramid=2:"
                                             "chroma-qp-offset=0:crf=23.0:qpmax=20:level=13"));
}

QTEST_GUILESS_MAIN(TestX264Match)

#include "tst_x264match.moc"
