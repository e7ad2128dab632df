// The program's own frameless information and question boxes.
#include "dialogs/MessageBox.h"

#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

CMessageBox::CMessageBox(QDialog*, Qt::WindowFlags) : QDialog(nullptr)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(QStringLiteral("Vistrel"));
    setFixedSize(400, 150);
}

void CMessageBox::InitInfoDialog(const QString& text)
{
    m_pMessageLabel = new QLabel(text, this);
}

void CMessageBox::InitQuestionDialog(const QString& text)
{
    m_pMessageLabel = new QLabel(text, this);
}

void CMessageBox::Close()
{
    m_nRet = 0;
    close();
}

void CMessageBox::PlaceOver(const QWidget* owner)
{
    setGeometry(owner->x() + owner->width() / 8, owner->y() + owner->height() / 8, 400, 150);
}

void CMessageBox::btnSlotOK()
{
    m_nRet = 1;
    close();
}

void CMessageBox::btnSlotNO()
{
    m_nRet = 0;
    close();
}

void CMessageBox::mousePressEvent(QMouseEvent* event)
{
    QDialog::mousePressEvent(event);
}

void CMessageBox::mouseMoveEvent(QMouseEvent* event)
{
    QDialog::mouseMoveEvent(event);
}

void CMessageBox::paintEvent(QPaintEvent*) {}
