// Records which child object's signal is being handled, so that an owner destroyed from inside
// one of its own events can hand that child to the event loop instead of freeing it mid-emission.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class TEmitScope {
public:
    TEmitScope(QList<QObject*>& stack, QObject* owner, QObject* sender)
        : FStack(stack), FOwner(owner), FSender(sender) {
        FStack.append(sender);
    }
    ~TEmitScope() {
        if (FOwner)
            FStack.removeOne(FSender);
    }
    TEmitScope(const TEmitScope&) = delete;
    TEmitScope& operator=(const TEmitScope&) = delete;

    // For the owner's destructor: children still inside their own signal are freed later.
    static void ReleaseEmitting(const QList<QObject*>& stack, QObject* owner) {
        for (QObject* o : stack) {
            if (o->parent() == owner) {
                o->setParent(nullptr);
                o->deleteLater();
            }
        }
    }

private:
    QList<QObject*>& FStack;
    QPointer<QObject> FOwner;
    QObject* FSender;
};
