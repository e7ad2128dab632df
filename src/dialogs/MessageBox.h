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

    // Builds the information form (one OK) around `text`. Call once, before exec().
    void InitInfoDialog(const QString& text);
    // Builds the question form (NO, OK) around `text`. Call once, before exec().
    void InitQuestionDialog(const QString& text);
    // 1 when OK was pressed, 0 for every other way of closing.
    int GetMessageBoxRet() const { return m_nRet; }
    // Closes with answer 0.
    void Close();

    // Places a box by the callers' rule: 1/8 of the owner's size in from its top-left, 400x150.
    void PlaceOver(const QWidget* owner);

public Q_SLOTS:
    void btnSlotOK();
    void btnSlotNO();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

public:
    QPoint m_dragPosition;
    QLabel* m_pMessageLabel = nullptr;
    int m_nRet = 0;
};
