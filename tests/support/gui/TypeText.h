#pragma once
#include <QApplication>
#include <QKeyEvent>
#include <QString>
#include <QWidget>

namespace vantelis::test {

// Types text as key presses carrying the characters (QTest's key clicks take ASCII only).
inline void TypeText(QWidget *widget, const QString &text)
{
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

} // namespace vantelis::test
