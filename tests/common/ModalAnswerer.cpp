// Answers the program's modal windows as a user would.
#include "ModalAnswerer.h"

#include "dialogs/MessageBox.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace testui
{

namespace
{

QPushButton* buttonOf(QWidget* box, const QString& text)
{
    for (QPushButton* b : box->findChildren<QPushButton*>()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

} // namespace

ModalAnswerer::ModalAnswerer()
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start();
}

QStringList ModalAnswerer::texts() const
{
    QStringList out;
    for (const SeenModal& s : seen) {
        if (s.type != QLatin1String("QFileDialog"))
            out.append(s.text);
    }
    return out;
}

void ModalAnswerer::poll()
{
    QSet<QObject*> visible;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible())
            continue;
        auto* own = qobject_cast<CMessageBox*>(w);
        auto* standard = qobject_cast<QMessageBox*>(w);
        auto* chooser = qobject_cast<QFileDialog*>(w);
        if (!own && !standard && !chooser)
            continue;
        visible.insert(w);
        if (m_answered.contains(w))
            continue;
        m_answered.insert(w);
        // A later window may be made at the same address once this one is gone.
        connect(w, &QObject::destroyed, this, [this, w] { m_answered.remove(w); });
        SeenModal s;
        s.type = QString::fromLatin1(w->metaObject()->className());
        s.title = w->windowTitle();
        if (own) {
            s.text = own->GetMessageText();
            s.question = buttonOf(own, QStringLiteral("NO")) != nullptr;
            seen.append(s);
            if (hook && hook(own, s))
                continue;
            QPushButton* b = buttonOf(own, answer);
            if (!b)
                b = buttonOf(own, QStringLiteral("OK"));
            if (b)
                b->click();
        } else if (standard) {
            s.text = standard->text();
            seen.append(s);
            standard->accept();
        } else {
            seen.append(s);
            if (folder.isEmpty()) {
                chooser->reject();
                continue;
            }
            // As a user types the path into the name field and presses Choose.
            if (auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->setText(folder);
            QMetaObject::invokeMethod(chooser, "accept");
        }
    }
    m_answered.intersect(visible);
}

} // namespace testui
