// Answers the program's modal windows as a user would, and keeps what they said: the message
// boxes (the program's own and the toolkit's) and the folder chooser.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>

class CMessageBox;

namespace testui
{

// One modal window as the user saw it.
struct SeenModal {
    QString type;          // "CMessageBox", "QMessageBox" or "QFileDialog"
    QString text;          // the message
    QString title;         // the window title
    bool question = false; // a box with "NO"
};

class ModalAnswerer final : public QObject
{
public:
    ModalAnswerer();

    // The button a CMessageBox is answered with: "OK" or "NO" (an information box has only OK).
    QString answer = QStringLiteral("OK");
    // A folder chooser is answered with this folder, typed as a user would; empty: canceled.
    QString folder;
    // Runs first for every CMessageBox; returning true means it has answered the box itself.
    std::function<bool(CMessageBox*, const SeenModal&)> hook;
    QList<SeenModal> seen;

    // The texts of the message boxes seen, in order.
    QStringList texts() const;

private:
    void poll();
    QTimer m_timer;
    QSet<QObject*> m_answered;
};

} // namespace testui
