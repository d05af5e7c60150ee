// The window's basic picture controls: TImage (a picture that reports the pointer), TRectangle
// (a filled shape, optionally filled with a picture) and TCalloutRectangle (a body with a pointer
// toward an anchor). Everything else in the window is composed from these.
#pragma once

#include "untBitmap.h"

#include <QColor>
#include <QPainterPath>
#include <QWidget>

// A picture stretched over the control. Reports the pointer as signals: `pressed` on a left
// button press, `released` when that button is let go (wherever the pointer is), `clicked` when
// it is let go over the control, `entered`/`left` when the pointer comes in or goes out. A pointer
// that leaves while the button is held is reported as `left` at once, not only after the release.
class TImage : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Tag READ Tag WRITE SetTag)

public:
    explicit TImage(QWidget* parent = nullptr);

    const TBitmap& Bitmap() const { return FBitmap; }
    void SetBitmap(const TBitmap& bitmap);

    // Number of the part this control stands for in a composite widget's click reports.
    int Tag() const { return FTag; }
    void SetTag(int tag) { FTag = tag; }

    bool isDown() const { return FDown; }
    bool isPointerInside() const { return FInside; }

signals:
    void pressed();
    void released();
    void clicked();
    void entered();
    void left();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

    // False makes the control swallow presses without reporting them (nor the release or click).
    virtual bool AcceptsPointer() const { return true; }
    // Hooks for subclasses, called before the matching signal is emitted.
    virtual void PointerPressed() {}
    virtual void PointerReleased() {}
    virtual void PointerClicked() {}
    virtual void PointerEntered() {}
    virtual void PointerLeft() {}

private:
    void Enter();
    void Leave();

    TBitmap FBitmap;
    int FTag = 0;
    bool FDown = false;
    bool FInside = false;
};

// A rectangle with rounded corners, filled with a colour or a picture (stretched, or tiled from
// the picture's natural size), an optional outline, and a rotation about its centre.
class TRectangle : public QWidget {
    Q_OBJECT
    Q_PROPERTY(qreal RotationAngle READ RotationAngle WRITE SetRotationAngle)
    Q_PROPERTY(int Tag READ Tag WRITE SetTag)

public:
    enum class TFillKind { None, Solid, Bitmap };
    enum class TWrapMode { Stretch, Tile };

    explicit TRectangle(QWidget* parent = nullptr);

    TFillKind FillKind() const { return FFillKind; }
    QColor FillColor() const { return FFillColor; }
    void SetFillColor(const QColor& color);
    const TBitmap& FillBitmap() const { return FFillBitmap; }
    // An empty bitmap empties the fill.
    void SetFillBitmap(const TBitmap& bitmap, TWrapMode wrap = TWrapMode::Stretch);
    void SetNoFill();

    void SetStroke(const QColor& color, qreal width = 1.0);
    void SetCornerRadius(qreal radius);
    qreal CornerRadius() const { return FRadius; }

    qreal RotationAngle() const { return FAngle; }
    void SetRotationAngle(qreal degrees);

    int Tag() const { return FTag; }
    void SetTag(int tag) { FTag = tag; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TFillKind FFillKind = TFillKind::Solid;
    QColor FFillColor = Qt::white;
    TBitmap FFillBitmap;
    TWrapMode FWrap = TWrapMode::Stretch;
    QColor FStroke;
    qreal FStrokeWidth = 0;
    qreal FRadius = 0;
    qreal FAngle = 0;
    int FTag = 0;
    bool FDown = false;
};

// The body of a popup: a rounded rectangle whose pointer sticks out of one side toward the
// control the popup belongs to. The pointer takes CalloutLength of the widget's extent on that
// side; CalloutOffset places it along the side (0 centres it, a positive value is the distance of
// the pointer's base from the left or top end, a negative one from the right or bottom end).
class TCalloutRectangle : public QWidget {
    Q_OBJECT

public:
    enum class TCalloutPosition { Top, Bottom, Left, Right };

    explicit TCalloutRectangle(QWidget* parent = nullptr);

    TCalloutPosition CalloutPosition() const { return FPosition; }
    void SetCalloutPosition(TCalloutPosition position);
    qreal CalloutOffset() const { return FOffset; }
    void SetCalloutOffset(qreal offset);
    qreal CalloutLength() const { return FLength; }
    void SetCalloutLength(qreal length);
    qreal CalloutWidth() const { return FWidth; }
    void SetCalloutWidth(qreal width);

    QColor FillColor() const { return FFill; }
    void SetFillColor(const QColor& color);
    // A transparent colour (the default) draws no outline.
    void SetStrokeColor(const QColor& color);
    void SetCornerRadius(qreal radius);

    // Tip of the pointer, in this widget's coordinates.
    QPointF PointerTip() const;
    // The rectangle without the pointer.
    QRectF BodyRect() const;
    QPainterPath Shape() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TCalloutPosition FPosition = TCalloutPosition::Top;
    qreal FOffset = 0;
    qreal FLength = 11;
    qreal FWidth = 22;
    qreal FRadius = 8;
    QColor FFill = Qt::white;
    QColor FStrokeColor = Qt::transparent;
};
