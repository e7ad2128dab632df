// A stand-in for the program that a test can kill: records into argv[1] (settings in argv[2],
// HOME in argv[3]) and prints "LIVE <tool pid>" once the first frame is in. A recording that
// ends before that prints "ENDED", then the message it gave and the record page's warning, one
// a line, and the program exits.
#include "RecordingTest.h"
#include "record/RecordingSession.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QString why;
    if (argc < 4 || !rectest::prepareEnvironment(&why, QString::fromLocal8Bit(argv[3]))) {
        std::fprintf(stderr, "record_helper SAVE_DIR INI_DIR HOME_DIR: %s\n", qPrintable(why));
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    testui::ModalAnswerer boxes;
    auto window =
        testui::makeWindow(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[1]), true);
    window->btnSlotRecord();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        if (testui::sessionOf(*window).state() == RecordingSession::State::Live) {
            std::printf("LIVE %lld\n", window->m_pRecordProcess->processId());
            std::fflush(stdout);
            poll.stop();
        } else if (!DRUI::m_bIsStart && !boxes.texts().isEmpty()) {
            const auto* warning = window->findChild<QLabel*>(QStringLiteral("waylandWarning"));
            std::printf("ENDED\n%s\n%s\n", qPrintable(boxes.texts().join(QLatin1Char(' '))),
                        warning && !warning->isHidden() ? qPrintable(warning->text()) : "");
            std::fflush(stdout);
            QCoreApplication::quit();
        }
    });
    poll.start(50);
    return app.exec();
}
