// The program's own frameless information and question boxes.
#pragma once

#include <QDialog>
#include <QPoint>

class QLabel;

class CMessageBox : public QDialog
{
    Q_OBJECT
public:
    // Parent and flags are not used: the box is parentless, so exec() is application-modal.
    explicit CMessageBox(QDialog* parent = nullptr, Qt::WindowFlags f = {});

    // Builds the information form (one OK, a close button) around `text`. Call before exec();
    // on a box already built it only replaces the message. The box grows in height (within the
    // screen) until every line of the message shows; a path too long for a line breaks after
    // its '/'s, and a part still too long is elided in its middle (the whole text is then the
    // message's tooltip).
    void InitInfoDialog(const QString& text);
    // Builds the question form (NO, OK) around `text`. Call before exec(); on a box already
    // built it only replaces the message. The box grows for each line of the message.
    void InitQuestionDialog(const QString& text);
    // The message as given to the Init call (the label may show it wrapped or elided).
    QString GetMessageText() const { return m_strMessage; }
    // 1 when OK was pressed, 0 for every other way of closing (NO, close button, right click,
    // Escape).
    int GetMessageBoxRet() const { return m_nRet; }
    // Closes with answer 0.
    void Close();

    // Places a box by the callers' rule: 1/8 of the owner's size in from its top-left, moved up
    // if its bottom would leave the screen. The size is the box's own (400x150, or taller).
    void PlaceOver(const QWidget* owner);
    // An information box with `text` placed over `owner`, waited for (exec()).
    static void Inform(const QWidget* owner, const QString& text);

public Q_SLOTS:
    // Answer 1 and close.
    void btnSlotOK();
    // Answer 0 and close.
    void btnSlotNO();

protected:
    // Left button: starts a drag; right button: closes (answer 0).
    void mousePressEvent(QMouseEvent* event) override;
    // Moves the box while exactly the left button is held.
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

public:
    QPoint m_dragPosition;
    QLabel* m_pMessageLabel = nullptr;
    int m_nRet = 0;

private:
    void buildForm(const QString& text, bool question);
    // The title strip (with a close button on an information box) and the button bar.
    QLabel* titleStrip(bool question);
    QLabel* buttonBar(bool question);
    // Shows `text` in the message label and fits the box's height to it.
    void showMessage(const QString& text);
    // The free area of the screen the box is on.
    QRect screenArea() const;
    void keepOnScreen();

    QString m_strMessage;
};
