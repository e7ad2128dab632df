// The program's own frameless information and question boxes.
#include "dialogs/MessageBox.h"

#include "dialogs/Style.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{

const QString backGroud_style = QStringLiteral("background-color: rgb(69, 78, 93);");

QPushButton* createBarButton(const QString& text, int x, QWidget* bar)
{
    QPushButton* button = CreateGreyButton(text, 12, false, bar);
    button->setGeometry(x, 5, 80, 25);
    return button;
}

} // namespace

CMessageBox::CMessageBox(QDialog*, Qt::WindowFlags) : QDialog(nullptr)
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("Dialog"));
    resize(426, 300);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(QStringLiteral("Vistrel"));
    setWindowIcon(QIcon(QStringLiteral(":/image/logo.ico")));
    setFixedSize(400, 150);
    resize(400, 150);
    m_nRet = 0;
}

void CMessageBox::InitInfoDialog(const QString& text)
{
    buildForm(text, false);
}

void CMessageBox::InitQuestionDialog(const QString& text)
{
    buildForm(text, true);
}

void CMessageBox::buildForm(const QString& text, bool question)
{
    if (m_pMessageLabel) {
        m_pMessageLabel->setText(text);
        return;
    }
    const int w = width();
    const QFont font = CalibriFont(12);

    auto* strip = new QLabel;
    strip->setMinimumSize(w, 30);
    strip->setStyleSheet(backGroud_style);
    if (!question) {
        auto* closeButton = new QPushButton(strip);
        closeButton->setIcon(QIcon(QPixmap(QStringLiteral(":/image/close.png"))));
        closeButton->setGeometry(5, 0, 30, 30);
        closeButton->setCursor(Qt::PointingHandCursor);
        connect(closeButton, &QPushButton::clicked, this, &CMessageBox::Close);
    }
    auto* title =
        new QLabel(question ? QStringLiteral("  Question") : QStringLiteral("Info"), strip);
    // Beside the close button, not over it: over it the text hid the button's icon.
    title->setGeometry(question ? QRect(0, 5, 400, 40) : QRect(40, 5, 360, 40));
    title->setAlignment(Qt::AlignLeft);
    title->setFont(font);
    SetTextColor(title, Qt::white);
    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(strip);
    titleRow->setSpacing(0);
    titleRow->setContentsMargins(0, 0, 0, 0);

    auto* icon = new QLabel;
    icon->setAlignment(Qt::AlignCenter);
    icon->setPixmap(QPixmap(question ? QStringLiteral(":/image/question.png")
                                     : QStringLiteral(":/image/information.png")));
    m_pMessageLabel = new QLabel;
    m_pMessageLabel->setMinimumSize(w - 60, 80);
    SetTextColor(m_pMessageLabel, QColor(0, 0, 0, 255));
    m_pMessageLabel->setFont(font);
    m_pMessageLabel->setText(text);
    m_pMessageLabel->setWordWrap(!question);
    auto* body = new QHBoxLayout;
    body->addWidget(icon);
    body->addWidget(m_pMessageLabel);
    body->setContentsMargins(5, 0, 0, 0);

    auto* bar = new QLabel;
    bar->setMinimumSize(w, 40);
    bar->setStyleSheet(QStringLiteral("background-color: rgb(220, 220, 220);"));
    if (question) {
        connect(createBarButton(QStringLiteral("NO"), w / 4, bar), &QPushButton::clicked, this,
                &CMessageBox::btnSlotNO);
        connect(createBarButton(QStringLiteral("OK"), w / 4 + 100, bar), &QPushButton::clicked,
                this, &CMessageBox::btnSlotOK);
    } else {
        connect(createBarButton(QStringLiteral("OK"), w / 3, bar), &QPushButton::clicked, this,
                &CMessageBox::btnSlotOK);
    }

    auto* lower = new QVBoxLayout;
    lower->addLayout(body);
    lower->addStretch(2);
    lower->addWidget(bar);
    lower->setContentsMargins(0, 0, 0, 0);

    auto* whole = new QVBoxLayout;
    whole->addLayout(titleRow);
    whole->addStretch(2);
    whole->addLayout(lower);
    whole->setContentsMargins(0, 0, 0, 0);
    setLayout(whole);
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
    if (event->button() == Qt::LeftButton) {
        m_dragPosition = event->globalPosition().toPoint() - frameGeometry().topLeft();
        event->accept();
    } else if (event->button() == Qt::RightButton) {
        close();
    }
}

void CMessageBox::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() == Qt::LeftButton) {
        move(event->globalPosition().toPoint() - m_dragPosition);
        event->accept();
    }
}

void CMessageBox::paintEvent(QPaintEvent*) {}
