#include "untImage.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

// --- TImage ----------------------------------------------------------------------------------

TImage::TImage(QWidget* parent) : QWidget(parent) {}

void TImage::SetBitmap(const TBitmap& bitmap) {
    if (bitmap == FBitmap)
        return;
    FBitmap = bitmap;
    update();
}

void TImage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    FBitmap.draw(p, QRectF(rect()));
}

void TImage::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    if (!AcceptsPointer())
        return;
    FDown = true;
    FInside = true; // the pointer is over us, whether or not an enter was reported
    PointerPressed();
    emit pressed();
}

void TImage::mouseMoveEvent(QMouseEvent* event) {
    if (!FDown) {
        event->ignore();
        return;
    }
    // While the button is held the toolkit holds back enter and leave; report them as they happen.
    const bool inside = rect().contains(event->position().toPoint());
    if (inside && !FInside)
        Enter();
    else if (!inside && FInside)
        Leave();
}

void TImage::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !FDown) {
        event->ignore();
        return;
    }
    FDown = false;
    const bool over = rect().contains(event->position().toPoint());
    // A handler may delete this control (a list emptied by the click it reports).
    QPointer<TImage> self(this);
    PointerReleased();
    if (!self)
        return;
    emit released();
    if (!self || !over)
        return;
    PointerClicked();
    if (!self)
        return;
    emit clicked();
}

void TImage::enterEvent(QEnterEvent*) {
    if (!FInside)
        Enter();
}

void TImage::leaveEvent(QEvent*) {
    if (FInside)
        Leave();
}

void TImage::Enter() {
    FInside = true;
    QPointer<TImage> self(this);
    PointerEntered();
    if (self)
        emit entered();
}

void TImage::Leave() {
    FInside = false;
    QPointer<TImage> self(this);
    PointerLeft();
    if (self)
        emit left();
}

// --- TRectangle ------------------------------------------------------------------------------

TRectangle::TRectangle(QWidget* parent) : QWidget(parent) {}

void TRectangle::SetFillColor(const QColor& color) {
    FFillKind = TFillKind::Solid;
    FFillColor = color;
    FFillBitmap = {};
    update();
}

void TRectangle::SetFillBitmap(const TBitmap& bitmap, TWrapMode wrap) {
    FFillKind = bitmap.isNull() ? TFillKind::None : TFillKind::Bitmap;
    FFillBitmap = bitmap;
    FWrap = wrap;
    update();
}

void TRectangle::SetNoFill() {
    FFillKind = TFillKind::None;
    FFillBitmap = {};
    update();
}

void TRectangle::SetStroke(const QColor& color, qreal width) {
    FStroke = color;
    FStrokeWidth = width;
    update();
}

void TRectangle::SetCornerRadius(qreal radius) {
    FRadius = std::max<qreal>(0, radius);
    update();
}

void TRectangle::SetRotationAngle(qreal degrees) {
    if (degrees == FAngle)
        return;
    FAngle = degrees;
    update();
}

void TRectangle::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect());
    if (FAngle != 0) {
        p.translate(r.center());
        p.rotate(FAngle);
        p.translate(-r.center());
    }
    const bool stroked = FStroke.isValid() && FStroke.alpha() > 0 && FStrokeWidth > 0;
    const qreal inset = stroked ? FStrokeWidth / 2 : 0;
    QPainterPath shape;
    shape.addRoundedRect(r.adjusted(inset, inset, -inset, -inset), FRadius, FRadius);
    switch (FFillKind) {
    case TFillKind::None:
        break;
    case TFillKind::Solid:
        p.fillPath(shape, FFillColor);
        break;
    case TFillKind::Bitmap: {
        p.save();
        p.setClipPath(shape);
        const QSize tile = FFillBitmap.size();
        if (FWrap == TWrapMode::Tile && !tile.isEmpty()) {
            for (int y = 0; y < r.height(); y += tile.height())
                for (int x = 0; x < r.width(); x += tile.width())
                    FFillBitmap.draw(p, QRectF(QPointF(x, y), QSizeF(tile)));
        } else {
            FFillBitmap.draw(p, r);
        }
        p.restore();
        break;
    }
    }
    if (stroked) {
        p.setPen(QPen(FStroke, FStrokeWidth));
        p.setBrush(Qt::NoBrush);
        p.drawPath(shape);
    }
}

void TRectangle::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    FDown = true;
}

void TRectangle::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !FDown) {
        event->ignore();
        return;
    }
    FDown = false;
    if (rect().contains(event->position().toPoint()))
        emit clicked();
}

// --- TCalloutRectangle -----------------------------------------------------------------------

TCalloutRectangle::TCalloutRectangle(QWidget* parent) : QWidget(parent) {}

void TCalloutRectangle::SetCalloutPosition(TCalloutPosition position) {
    FPosition = position;
    update();
}

void TCalloutRectangle::SetCalloutOffset(qreal offset) {
    FOffset = offset;
    update();
}

void TCalloutRectangle::SetCalloutLength(qreal length) {
    FLength = std::max<qreal>(0, length);
    update();
}

void TCalloutRectangle::SetCalloutWidth(qreal width) {
    FWidth = std::max<qreal>(0, width);
    update();
}

void TCalloutRectangle::SetFillColor(const QColor& color) {
    FFill = color;
    update();
}

void TCalloutRectangle::SetStrokeColor(const QColor& color) {
    FStrokeColor = color;
    update();
}

void TCalloutRectangle::SetCornerRadius(qreal radius) {
    FRadius = std::max<qreal>(0, radius);
    update();
}

QRectF TCalloutRectangle::BodyRect() const {
    QRectF r(rect());
    switch (FPosition) {
    case TCalloutPosition::Top:
        return r.adjusted(0, FLength, 0, 0);
    case TCalloutPosition::Bottom:
        return r.adjusted(0, 0, 0, -FLength);
    case TCalloutPosition::Left:
        return r.adjusted(FLength, 0, 0, 0);
    case TCalloutPosition::Right:
        return r.adjusted(0, 0, -FLength, 0);
    }
    return r;
}

QPointF TCalloutRectangle::PointerTip() const {
    const bool horizontal = FPosition == TCalloutPosition::Top || FPosition == TCalloutPosition::Bottom;
    const qreal side = horizontal ? width() : height();
    qreal centre = side / 2;
    if (FOffset > 0)
        centre = FOffset + FWidth / 2;
    else if (FOffset < 0)
        centre = side + FOffset - FWidth / 2;
    switch (FPosition) {
    case TCalloutPosition::Top:
        return {centre, 0};
    case TCalloutPosition::Bottom:
        return {centre, qreal(height())};
    case TCalloutPosition::Left:
        return {0, centre};
    case TCalloutPosition::Right:
        return {qreal(width()), centre};
    }
    return {};
}

QPainterPath TCalloutRectangle::Shape() const {
    const QRectF body = BodyRect();
    QPainterPath path;
    path.addRoundedRect(body, FRadius, FRadius);
    if (FLength <= 0 || FWidth <= 0)
        return path;
    const QPointF tip = PointerTip();
    const qreal half = FWidth / 2;
    QPolygonF pointer;
    switch (FPosition) {
    case TCalloutPosition::Top:
        pointer << QPointF(tip.x() - half, body.top() + 1) << tip << QPointF(tip.x() + half, body.top() + 1);
        break;
    case TCalloutPosition::Bottom:
        pointer << QPointF(tip.x() - half, body.bottom() - 1) << tip
                << QPointF(tip.x() + half, body.bottom() - 1);
        break;
    case TCalloutPosition::Left:
        pointer << QPointF(body.left() + 1, tip.y() - half) << tip
                << QPointF(body.left() + 1, tip.y() + half);
        break;
    case TCalloutPosition::Right:
        pointer << QPointF(body.right() - 1, tip.y() - half) << tip
                << QPointF(body.right() - 1, tip.y() + half);
        break;
    }
    QPainterPath tri;
    tri.addPolygon(pointer);
    tri.closeSubpath();
    return path.united(tri);
}

void TCalloutRectangle::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = Shape();
    p.fillPath(shape, FFill);
    if (FStrokeColor.alpha() > 0) {
        p.setPen(QPen(FStrokeColor, 1));
        p.drawPath(shape);
    }
}
