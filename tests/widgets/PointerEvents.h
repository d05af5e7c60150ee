// Pointer events delivered straight to a widget, as the toolkit would deliver them, so that
// widget tests need no visible window and no real cursor.
#pragma once

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QWidget>

namespace pointer {

inline void Send(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(at), w->mapTo(w->window(), QPointF(at)), w->mapToGlobal(QPointF(at)), button,
                  held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

inline QPoint Centre(QWidget* w) {
    return w->rect().center();
}
inline QPoint Outside(QWidget* w) {
    return QPoint(w->width() + 20, w->height() + 20);
}

inline void Press(QWidget* w, QPoint at) {
    Send(w, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
}
inline void Press(QWidget* w) {
    Press(w, Centre(w));
}
inline void Release(QWidget* w, QPoint at) {
    Send(w, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}
inline void Release(QWidget* w) {
    Release(w, Centre(w));
}
inline void Click(QWidget* w) {
    Press(w);
    Release(w);
}
// A move with the left button held (the only moves a picture control is sent).
inline void Drag(QWidget* w, QPoint to) {
    Send(w, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
}
inline void Enter(QWidget* w) {
    QEnterEvent e(QPointF(Centre(w)), w->mapTo(w->window(), QPointF(Centre(w))),
                  w->mapToGlobal(QPointF(Centre(w))));
    QApplication::sendEvent(w, &e);
}
inline void Leave(QWidget* w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
}

// Runs a space-separated script of pointer actions on `w`:
// press, release, click, enter, leave, dragout (move outside while held), dragin, releaseout.
inline void Run(QWidget* w, const QString& script) {
    for (const QString& step : script.split(' ', Qt::SkipEmptyParts)) {
        if (step == "press")
            Press(w);
        else if (step == "release")
            Release(w);
        else if (step == "click")
            Click(w);
        else if (step == "enter")
            Enter(w);
        else if (step == "leave")
            Leave(w);
        else if (step == "dragout")
            Drag(w, Outside(w));
        else if (step == "dragin")
            Drag(w, Centre(w));
        else if (step == "releaseout")
            Release(w, Outside(w));
        else
            qFatal("unknown pointer step %s", qPrintable(step));
    }
}

} // namespace pointer
