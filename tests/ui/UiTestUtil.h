// Shared by the window tests: a private HOME, the offscreen platform, and an answerer for the
// program's modal message boxes.
#pragma once

#include "dialogs/MessageBox.h"

#include <QApplication>
#include <QLabel>
#include <QList>
#include <QObject>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

namespace uitest
{

// One message box as the user saw it.
struct SeenBox {
    QString text;
    bool question = false;
};

// Answers every CMessageBox that shows up (each showing once): records it, then runs `hook`
// if set and it returns true, else presses the button named `answer` ("OK" or "NO"; an
// information box has only "OK").
class BoxAnswerer final : public QObject
{
public:
    BoxAnswerer()
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, &BoxAnswerer::poll);
        m_timer.start();
    }

    QString answer = QStringLiteral("OK");
    std::function<bool(CMessageBox*, const SeenBox&)> hook;
    QList<SeenBox> seen;

private:
    static QPushButton* button(CMessageBox* box, const QString& text)
    {
        for (QPushButton* b : box->findChildren<QPushButton*>()) {
            if (b->text() == text)
                return b;
        }
        return nullptr;
    }

    void poll()
    {
        const QWidgetList tops = QApplication::topLevelWidgets();
        QSet<QWidget*> visible;
        for (QWidget* w : tops) {
            auto* box = qobject_cast<CMessageBox*>(w);
            if (!box || !box->isVisible())
                continue;
            visible.insert(box);
            if (m_active.contains(box))
                continue;
            m_active.insert(box);
            SeenBox s;
            s.text = box->m_pMessageLabel ? box->m_pMessageLabel->text() : QString();
            s.question = button(box, QStringLiteral("NO")) != nullptr;
            seen.append(s);
            if (hook && hook(box, s))
                continue;
            QPushButton* b = button(box, answer);
            if (!b)
                b = button(box, QStringLiteral("OK"));
            if (b)
                b->click();
        }
        m_active.intersect(visible);
    }

    QTimer m_timer;
    QSet<QWidget*> m_active;
};

} // namespace uitest

// A main for widget tests: a private HOME and runtime folder, no reachable sound server and the
// offscreen platform before the application exists, so a window never touches the user's files
// or devices; the images registered for tests that never build the window.
#define VISTREL_UI_TEST_MAIN(TestClass)                                                            \
    int main(int argc, char* argv[])                                                               \
    {                                                                                              \
        QTemporaryDir home;                                                                        \
        qputenv("HOME", home.path().toUtf8());                                                     \
        qputenv("XDG_RUNTIME_DIR", home.path().toUtf8());                                          \
        qputenv("QT_QPA_PLATFORM", "offscreen");                                                   \
        qputenv("PULSE_SERVER", "unix:" + home.path().toUtf8() + "/no-server");                    \
        QApplication app(argc, argv);                                                              \
        QApplication::setQuitOnLastWindowClosed(false);                                            \
        Q_INIT_RESOURCE(drui);                                                                     \
        TestClass test;                                                                            \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
