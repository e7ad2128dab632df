// The message box: the answer for every way of closing it, and dragging it.
#include "UiTestUtil.h"
#include "dialogs/MessageBox.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QtTest>

class TestMessageBox : public QObject
{
    Q_OBJECT

private:
    static QPushButton* buttonOf(CMessageBox& box, const QString& text)
    {
        for (QPushButton* b : box.findChildren<QPushButton*>()) {
            if (b->text() == text)
                return b;
        }
        return nullptr;
    }

    static void sendMouse(QWidget* target, QEvent::Type type, QPoint local, Qt::MouseButton button,
                          Qt::MouseButtons held)
    {
        QMouseEvent event(type, QPointF(local), QPointF(target->mapToGlobal(local)), button, held,
                          Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }

private Q_SLOTS:
    void answerForEveryWayOfClosing_data()
    {
        QTest::addColumn<bool>("question");
        QTest::addColumn<QString>("way");
        QTest::addColumn<int>("answer");

        QTest::newRow("info: OK") << false << "OK" << 1;
        QTest::newRow("info: close button") << false << "close" << 0;
        QTest::newRow("info: right click") << false << "right" << 0;
        QTest::newRow("info: right click on OK") << false << "right on OK" << 0;
        QTest::newRow("info: Escape") << false << "Escape" << 0;
        QTest::newRow("question: OK") << true << "OK" << 1;
        QTest::newRow("question: NO") << true << "NO" << 0;
        QTest::newRow("question: right click") << true << "right" << 0;
        QTest::newRow("question: Escape") << true << "Escape" << 0;
    }

    void answerForEveryWayOfClosing()
    {
        QFETCH(bool, question);
        QFETCH(QString, way);
        QFETCH(int, answer);

        CMessageBox box;
        if (question)
            box.InitQuestionDialog(QStringLiteral("Are you sure?"));
        else
            box.InitInfoDialog(QStringLiteral("Done."));

        bool acted = false;
        QTimer::singleShot(0, &box, [&] {
            acted = true;
            if (way == QLatin1String("OK") || way == QLatin1String("NO")) {
                QPushButton* b = buttonOf(box, way);
                QVERIFY(b);
                QTest::mouseClick(b, Qt::LeftButton);
            } else if (way == QLatin1String("close")) {
                // The close button is the title strip's only button; click where it shows,
                // under the title text.
                QPushButton* b = buttonOf(box, QString());
                QVERIFY(b);
                const QPoint centre = b->mapTo(&box, b->rect().center());
                QWidget* hit = box.childAt(centre);
                QCOMPARE(hit, b);
                QTest::mouseClick(hit, Qt::LeftButton);
            } else if (way == QLatin1String("right")) {
                QTest::mouseClick(&box, Qt::RightButton, {}, QPoint(200, 60));
            } else if (way == QLatin1String("right on OK")) {
                QTest::mouseClick(buttonOf(box, QStringLiteral("OK")), Qt::RightButton);
            } else {
                QTest::keyClick(&box, Qt::Key_Escape);
            }
        });
        // Should the way fail to close the box, end the wait instead of hanging.
        bool stuck = false;
        QTimer::singleShot(5000, &box, [&] {
            stuck = true;
            box.Close();
        });
        box.exec();

        QVERIFY(acted);
        QVERIFY2(!stuck, "the box did not close");
        QVERIFY(!box.isVisible());
        QCOMPARE(box.GetMessageBoxRet(), answer);
    }

    void dragMovesOnlyWithLeftButton_data()
    {
        QTest::addColumn<Qt::MouseButtons>("held");
        QTest::addColumn<bool>("moves");
        QTest::addColumn<bool>("onTitle");

        QTest::newRow("left button, body") << Qt::MouseButtons(Qt::LeftButton) << true << false;
        QTest::newRow("left button, title strip")
            << Qt::MouseButtons(Qt::LeftButton) << true << true;
        QTest::newRow("left and right buttons")
            << Qt::MouseButtons(Qt::LeftButton | Qt::RightButton) << false << false;
        QTest::newRow("middle button") << Qt::MouseButtons(Qt::MiddleButton) << false << false;
    }

    void dragMovesOnlyWithLeftButton()
    {
        QFETCH(Qt::MouseButtons, held);
        QFETCH(bool, moves);
        QFETCH(bool, onTitle);

        CMessageBox box;
        box.InitQuestionDialog(QStringLiteral("Drag me"));
        box.setGeometry(300, 200, 400, 150);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QPoint start = box.pos();

        QPoint grab = onTitle ? QPoint(200, 12) : QPoint(200, 70);
        QWidget* target = box.childAt(grab) ? box.childAt(grab) : &box;
        grab = target->mapFrom(&box, grab);
        sendMouse(target, QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
        sendMouse(target, QEvent::MouseMove, grab + QPoint(40, 25), Qt::NoButton, held);
        QCOMPARE(box.pos(), moves ? start + QPoint(40, 25) : start);
        box.Close();
    }
};

VISTREL_UI_TEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
