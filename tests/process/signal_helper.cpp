// A stand-in for the program that a test ends with a signal: merges the two files given into
// the folder given, with a join that stays silent until "q". When the join begins it says
// "JOINING" and, with "ask", asks to cancel (as a user pressing Cancel), leaves the question open
// and says "ASKING". It ends on SIGTERM as the program does, and says "BOXES n" for the boxes it
// showed.
#include "ModalAnswerer.h"
#include "WindowFixture.h"
#include "app/EndOnSignals.h"
#include "dialogs/ScanUI.h"
#include "media/ToolRun.h"

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "signal_helper FILE_A FILE_B OUT_DIR FAKE_TOOL ask|run\n");
        return 2;
    }
    const bool ask = qstrcmp(argv[5], "ask") == 0;
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_RUNTIME_DIR", home.path().toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QString a = QString::fromLocal8Bit(argv[1]);
    const QString b = QString::fromLocal8Bit(argv[2]);
    auto window = testui::makeWindow(home.path(), QFileInfo(a).absolutePath());
    EndOnSignals(&app, [&window] { return window.get(); }, {});
    window->m_pChangeTSProcess->setProgram(QString::fromLocal8Bit(argv[4]));
    window->m_pMergeProcess->setProgram(QString::fromLocal8Bit(argv[4]));
    window->m_pMergeDirEdit->setText(QFileInfo(a).absolutePath());
    window->m_vecMergeFiles = {QFileInfo(a).fileName(), QFileInfo(b).fileName()};
    window->m_strMergeOutDir = QString::fromLocal8Bit(argv[3]);

    testui::ModalAnswerer boxes;
    boxes.hook = [](CMessageBox*, const testui::SeenModal& seen) {
        if (!seen.question)
            return false;
        std::printf("ASKING\n");
        std::fflush(stdout);
        return true; // the user reads the question and answers nothing
    };
    int exitCode = 0;
    QTimer::singleShot(0, window.get(), [&] {
        DRUI::m_bisFinished = false;
        SCANUI dlg;
        dlg.InitSlot(window.get());
        dlg.show();
        QObject::connect(window->m_pMergeProcess, &ToolRun::readyRead, &dlg, [&dlg, ask] {
            std::printf("JOINING\n");
            std::fflush(stdout);
            if (ask)
                QTimer::singleShot(0, &dlg, [&dlg] { dlg.close(); });
        });
        window->StartQProcessMerge();
    });
    exitCode = app.exec();
    std::printf("BOXES %lld\n", qlonglong(boxes.seen.size()));
    std::fflush(stdout);
    return exitCode;
}
