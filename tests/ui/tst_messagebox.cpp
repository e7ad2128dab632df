// The message box: the answer for every way of closing it.
#include "ModalAnswerer.h"
#include "WindowFixture.h"
#include "dialogs/MessageBox.h"

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
};

VISTREL_UI_TEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
