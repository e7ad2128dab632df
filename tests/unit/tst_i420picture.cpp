// The screen's pixels as the tool reads them: every byte order a compositor may send keeps its
// colours, a screen whose size changed mid-recording is fitted into the recorded size, each
// recorded picture is the one the compositor took at its time, also while the tool reads none,
// and a stop keeps the pictures up to it.
#include "record/wayland/I420Picture.h"
#include "record/wayland/PicturePipe.h"

#include <QDateTime>
#include <QTest>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace
{

struct Yuv {
    int y, u, v;
};

// A picture of one colour, `width` x `height`, rows padded to `stride`, bytes in `order`.
std::vector<std::uint8_t> filled(PixelOrder order, int width, int height, int stride, int r, int g,
                                 int b)
{
    std::vector<std::uint8_t> pixels(std::size_t(stride) * std::size_t(height), 0);
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            std::uint8_t* p = pixels.data() + std::size_t(row) * stride + std::size_t(col) * 4;
            // Where red, green, blue and the unused byte sit in each order.
            static const int places[4][4] = {
                {2, 1, 0, 3}, {0, 1, 2, 3}, {1, 2, 3, 0}, {3, 2, 1, 0}};
            const int* at = places[int(order)];
            p[at[0]] = std::uint8_t(r), p[at[1]] = std::uint8_t(g), p[at[2]] = std::uint8_t(b);
            p[at[3]] = 255;
        }
    }
    return pixels;
}

Yuv at(const std::vector<std::uint8_t>& picture, int width, int height, int x, int y)
{
    const std::size_t luma = std::size_t(width) * std::size_t(height);
    const std::size_t chroma = std::size_t(y / 2) * std::size_t(width / 2) + std::size_t(x / 2);
    return {picture[std::size_t(y) * std::size_t(width) + std::size_t(x)], picture[luma + chroma],
            picture[luma + luma / 4 + chroma]};
}

} // namespace

Q_DECLARE_METATYPE(PixelOrder)

class TestI420Picture final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keepsColours_data();
    void keepsColours();
    void fitsAnotherSize();
    void pipeWaitsForTheTool();
};

void TestI420Picture::keepsColours_data()
{
    QTest::addColumn<PixelOrder>("order");
    QTest::addColumn<int>("r");
    QTest::addColumn<int>("g");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("u");
    QTest::addColumn<int>("v");
    // BT.601, limited range, as the tool's own conversion of x11grab's pixels gives them.
    QTest::newRow("BGRx red") << PixelOrder::BGRx << 255 << 0 << 0 << 82 << 90 << 240;
    QTest::newRow("BGRx blue") << PixelOrder::BGRx << 0 << 0 << 255 << 41 << 240 << 110;
    QTest::newRow("RGBx red") << PixelOrder::RGBx << 255 << 0 << 0 << 82 << 90 << 240;
    QTest::newRow("xRGB green") << PixelOrder::xRGB << 0 << 255 << 0 << 145 << 54 << 34;
    QTest::newRow("xBGR red") << PixelOrder::xBGR << 255 << 0 << 0 << 82 << 90 << 240;
}

void TestI420Picture::keepsColours()
{
    QFETCH(PixelOrder, order);
    QFETCH(int, r);
    QFETCH(int, g);
    QFETCH(int, b);
    QFETCH(int, y);
    QFETCH(int, u);
    QFETCH(int, v);

    // Odd sizes and padded rows, as a compositor may send them: cut to even.
    const auto src = filled(order, 65, 49, 65 * 4 + 12, r, g, b);
    std::vector<std::uint8_t> out(i420Bytes(64, 48));
    std::vector<std::uint8_t> scratch;
    convertToI420(order, src.data(), 65 * 4 + 12, 65, 49, out.data(), 64, 48, scratch);
    const Yuv got = at(out, 64, 48, 31, 23);
    QVERIFY2(qAbs(got.y - y) <= 2 && qAbs(got.u - u) <= 2 && qAbs(got.v - v) <= 2,
             qPrintable(QStringLiteral("%1 %2 %3").arg(got.y).arg(got.u).arg(got.v)));
}

void TestI420Picture::fitsAnotherSize()
{
    // A 4:3 screen into a 16:9 recording: whole, centred, black bars left and right.
    const auto src = filled(PixelOrder::BGRx, 640, 480, 640 * 4, 255, 255, 255);
    std::vector<std::uint8_t> out(i420Bytes(320, 180));
    std::vector<std::uint8_t> scratch;
    convertToI420(PixelOrder::BGRx, src.data(), 640 * 4, 640, 480, out.data(), 320, 180, scratch);
    QCOMPARE(at(out, 320, 180, 2, 90).y, 16);
    QCOMPARE(at(out, 320, 180, 317, 90).y, 16);
    QVERIFY(at(out, 320, 180, 160, 1).y >= 233);
    QVERIFY(at(out, 320, 180, 160, 178).y >= 233);
    QVERIFY(at(out, 320, 180, 42, 90).y >= 233); // the picture is 240 wide: from 40 to 280
    QCOMPARE(at(out, 320, 180, 36, 90).y, 16);
}

void TestI420Picture::pipeWaitsForTheTool()
{
    using namespace std::chrono;
    // A screen that changes every 10 ms; each picture (larger than the pipe holds) carries its
    // number.
    const std::size_t bytes = i420Bytes(1280, 720);
    RecentPictures pictures;
    std::atomic<bool> screenOn{true};
    std::thread screen([&] {
        for (quint32 n = 1; screenOn; ++n) {
            auto picture = pictures.spare(bytes);
            std::memcpy(picture->data(), &n, sizeof n);
            pictures.publish(
                std::move(picture),
                duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
            std::this_thread::sleep_for(milliseconds(10));
        }
    });
    PicturePipe pipe;
    QString error;
    QVERIFY2(pipe.open(&error), qPrintable(error));
    const int tool = ::fcntl(0, F_DUPFD_CLOEXEC, 100); // a free number for the tool's end
    pipe.childSetup(tool)();
    pipe.closeReadEnd();
    const double start = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    pipe.start(&pictures, 1280, 720, start, 30, 1);
    std::vector<quint32> numbers;
    std::vector<std::uint8_t> picture(bytes);
    const auto readPicture = [&] {
        std::size_t done = 0;
        while (done < bytes) {
            const ssize_t n = ::read(tool, picture.data() + done, bytes - done);
            if (n <= 0)
                return false;
            done += std::size_t(n);
        }
        numbers.push_back(0);
        std::memcpy(&numbers.back(), picture.data(), sizeof(quint32));
        return true;
    };

    // The tool reads nothing for a second (it opens its other inputs), then everything due.
    std::this_thread::sleep_for(seconds(1));
    for (int i = 0; i < 30; ++i)
        QVERIFY(readPicture());
    // Stopped: the pictures up to now, then the end of the input.
    pipe.finish();
    const double stop = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    while (readPicture()) {
    }
    screenOn = false;
    screen.join();
    pipe.stop();
    ::close(tool);

    const double due = (stop - start) * 30;
    QVERIFY2(qAbs(double(numbers.size()) - due) <= 1.5,
             qPrintable(QStringLiteral("%1 pictures for %2").arg(numbers.size()).arg(due)));
    // Each picture of the first second is newer than the one before (about 3 are taken a
    // period), not one kept picture repeated until the tool read.
    int repeated = 0;
    for (std::size_t i = 1; i < 30; ++i)
        repeated += numbers[i] == numbers[i - 1] ? 1 : 0;
    QVERIFY2(repeated <= 3, qPrintable(QStringLiteral("%1 repeated").arg(repeated)));
}

QTEST_GUILESS_MAIN(TestI420Picture)
#include "tst_i420picture.moc"
