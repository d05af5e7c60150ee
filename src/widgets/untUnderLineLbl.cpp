#include "untUnderLineLbl.h"

#include <QMouseEvent>

TUnderLineLbl::TUnderLineLbl(QWidget* AOwner) : QLabel(AOwner) {
    setCursor(Qt::PointingHandCursor);
    ShowHot(false);
}

void TUnderLineLbl::ShowHot(bool hot) {
    FHot = hot;
    QFont f = font();
    f.setBold(true);
    f.setUnderline(hot);
    setFont(f);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, QColor::fromRgba(hot ? HoverColor : RestColor));
    setPalette(pal);
}

void TUnderLineLbl::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    ShowHot(true);
}

void TUnderLineLbl::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    ShowHot(false);
}

void TUnderLineLbl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    FDown = true;
}

void TUnderLineLbl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !FDown) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    FDown = false;
    if (rect().contains(event->position().toPoint()))
        emit clicked();
}
