// The one way quillet-ctl waits: the event loop runs until a handler quits it or the time is up.
#pragma once

#include <QEventLoop>
#include <QTimer>

// Runs `loop` until something calls loop.quit() or `timeoutMs` have passed.
inline void ExecFor(QEventLoop& loop, int timeoutMs) {
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    loop.exec();
}
