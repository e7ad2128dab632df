// The tray icon's blink: what a user sees over two cycles of 200 ms ticks.
#include "app/TrayBlink.h"

#include <QtTest>

class TestTrayBlink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void alternatesEvery16Ticks()
    {
        using Image = TrayBlinkStep::Image;
        int tick = 0;
        Image shown = Image::Rec1;
        QString seen;
        for (int i = 0; i < 64; ++i) {
            const TrayBlinkStep step = nextTrayBlink(tick);
            tick = step.tick;
            if (step.image != Image::Keep)
                shown = step.image;
            seen += shown == Image::Rec1 ? QLatin1Char('1') : QLatin1Char('2');
        }
        const QString cycle = QString(16, QLatin1Char('1')) + QString(16, QLatin1Char('2'));
        QCOMPARE(seen, cycle + cycle);
        QCOMPARE(tick, 0);
    }
};

QTEST_GUILESS_MAIN(TestTrayBlink)
#include "tst_trayblink.moc"
