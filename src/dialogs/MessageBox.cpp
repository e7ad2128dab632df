// The program's own frameless information and question boxes.
#include "dialogs/MessageBox.h"

#include "dialogs/Style.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace
{

const QString backGroud_style = QStringLiteral("background-color: rgb(69, 78, 93);");

// The box's own height and the message's share of it; the title strip and the button bar take
// the rest.
constexpr int kBoxHeight = 150;
constexpr int kMessageHeight = 80;
// Room above and below a message that fills its share, so it does not touch the strip or bar.
constexpr int kMessagePadding = 12;

// A word (a path) wider than a line cannot wrap: it may break after each '/' instead (a
// zero-width space marks the place), and a part still wider than a line is elided in its middle,
// so its end, the file name, stays in view. `elided` is set when something had to go.
QString wrappableText(const QString& text, const QFontMetrics& metrics, int width, bool& elided)
{
    const QChar breakHere(0x200B);
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        QStringList words = line.split(QLatin1Char(' '));
        for (QString& word : words) {
            if (metrics.horizontalAdvance(word) <= width)
                continue;
            QStringList parts = word.split(QLatin1Char('/'));
            for (int i = 0; i < parts.size(); ++i) {
                QString& part = parts[i];
                if (i + 1 < parts.size())
                    part += QLatin1Char('/');
                const QString fitted = metrics.elidedText(part, Qt::ElideMiddle, width);
                elided = elided || fitted != part;
                part = fitted;
            }
            word = parts.join(breakHere);
        }
        line = words.join(QLatin1Char(' '));
    }
    return lines.join(QLatin1Char('\n'));
}

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

QLabel* CMessageBox::titleStrip(bool question)
{
    const int w = width();
    auto* strip = new QLabel;
    strip->setMinimumSize(w, 30);
    strip->setStyleSheet(backGroud_style);
    if (!question) {
        auto* closeButton = new QPushButton(strip);
        closeButton->setIcon(QIcon(QPixmap(QStringLiteral(":/image/close.png"))));
        closeButton->setGeometry(5, 0, 30, 30);
        closeButton->setCursor(Qt::PointingHandCursor);
        SetToolTip(closeButton, QStringLiteral("Close"));
        connect(closeButton, &QPushButton::clicked, this, &CMessageBox::Close);
    }
    auto* title =
        new QLabel(question ? QStringLiteral("  Question") : QStringLiteral("Info"), strip);
    // Beside the close button, not over it: over it the text hid the button's icon.
    title->setGeometry(question ? QRect(0, 5, 400, 40) : QRect(40, 5, 360, 40));
    title->setAlignment(Qt::AlignLeft);
    title->setFont(CalibriFont(12));
    SetTextColor(title, Qt::white);
    return strip;
}

QLabel* CMessageBox::buttonBar(bool question)
{
    const int w = width();
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
    return bar;
}

void CMessageBox::buildForm(const QString& text, bool question)
{
    if (m_pMessageLabel) {
        showMessage(text);
        return;
    }
    const int w = width();
    const QFont font = CalibriFont(12);

    QLabel* strip = titleStrip(question);
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
    m_pMessageLabel->setWordWrap(!question);
    auto* body = new QHBoxLayout;
    body->addWidget(icon);
    body->addWidget(m_pMessageLabel);
    body->setContentsMargins(5, 0, 0, 0);

    QLabel* bar = buttonBar(question);

    auto* lower = new QVBoxLayout;
    lower->addLayout(body);
    lower->addStretch(2);
    lower->addWidget(bar);
    // Title strip, message and button bar fill the 150 pixels exactly; spacings would take them
    // from the message.
    lower->setSpacing(0);
    lower->setContentsMargins(0, 0, 0, 0);

    auto* whole = new QVBoxLayout;
    whole->addLayout(titleRow);
    whole->addStretch(2);
    whole->addLayout(lower);
    whole->setSpacing(0);
    whole->setContentsMargins(0, 0, 0, 0);
    setLayout(whole);
    showMessage(text);
}

void CMessageBox::showMessage(const QString& text)
{
    m_strMessage = text;
    const int width = m_pMessageLabel->minimumWidth();
    bool elided = false;
    m_pMessageLabel->setText(
        m_pMessageLabel->wordWrap()
            ? wrappableText(text, m_pMessageLabel->fontMetrics(), width, elided)
            : text);
    m_pMessageLabel->setToolTip(elided ? text : QString());

    // The box grows downwards until every line of the message shows, within the screen.
    const int need =
        std::max(kMessageHeight, m_pMessageLabel->heightForWidth(width) + kMessagePadding);
    const int height = std::min(kBoxHeight + need - kMessageHeight, screenArea().height());
    m_pMessageLabel->setMinimumHeight(height - (kBoxHeight - kMessageHeight));
    setFixedSize(this->width(), height);
    keepOnScreen();
}

QRect CMessageBox::screenArea() const
{
    const QScreen* shown = QGuiApplication::screenAt(geometry().center());
    if (!shown)
        shown = screen();
    return shown ? shown->availableGeometry() : QRect(0, 0, width(), height());
}

void CMessageBox::keepOnScreen()
{
    const QRect area = screenArea();
    if (y() + height() > area.bottom() + 1)
        move(x(), std::max(area.top(), area.bottom() + 1 - height()));
}

void CMessageBox::Close()
{
    m_nRet = 0;
    close();
}

void CMessageBox::Inform(const QWidget* owner, const QString& text)
{
    CMessageBox box;
    box.PlaceOver(owner);
    box.InitInfoDialog(text);
    box.exec();
}

void CMessageBox::PlaceOver(const QWidget* owner)
{
    // The size stays: 400x150, or taller for a long message.
    move(owner->x() + owner->width() / 8, owner->y() + owner->height() / 8);
    keepOnScreen();
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
