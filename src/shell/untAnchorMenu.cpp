#include "untAnchorMenu.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

TAnchorMenu::TAnchorMenu(QWidget* parent) : TRectangle(parent) {
    hide();
}

TAnchorMenu::~TAnchorMenu() {
    if (FFiltering)
        qApp->removeEventFilter(this);
}

void TAnchorMenu::OpenAt(QWidget* anchor, TSide side) {
    QWidget* host = parentWidget();
    if (!anchor || !host)
        return;
    const QRect a(anchor->mapTo(host, QPoint(0, 0)), anchor->size());
    QPoint at = side == TSide::Left ? QPoint(a.left() - width() - 8, a.center().y() - height() / 2)
                                    : QPoint(a.center().x() - width() / 2, a.bottom() + 8);
    at.setX(std::clamp(at.x(), 4, std::max(4, host->width() - width() - 4)));
    at.setY(std::clamp(at.y(), 4, std::max(4, host->height() - height() - 4)));
    move(at);
    show();
    raise();
    if (!FFiltering) {
        qApp->installEventFilter(this);
        FFiltering = true;
    }
}

void TAnchorMenu::Close() {
    hide();
}

void TAnchorMenu::hideEvent(QHideEvent* event) {
    TRectangle::hideEvent(event);
    if (FFiltering) {
        qApp->removeEventFilter(this);
        FFiltering = false;
    }
}

bool TAnchorMenu::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        auto* w = qobject_cast<QWidget*>(watched);
        // A press outside closes the menu and is not passed on, so it only closes it.
        if (w && w != this && !isAncestorOf(w) && w->window() == window()) {
            Close();
            return true;
        }
    } else if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        Close();
    }
    return TRectangle::eventFilter(watched, event);
}
