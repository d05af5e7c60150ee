// TBitmap: one picture of the window, shared by value. Vector pictures (the program's named
// pictures are SVG) are rendered at the size and pixel ratio they are drawn at, so they stay sharp
// on high-density screens; raster pictures (a user's own device photo) are scaled smoothly.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>

#include <memory>

class QPainter;

class TBitmap {
public:
    TBitmap() = default;

    // Each returns an empty bitmap when the data cannot be decoded; none of them throws.
    static TBitmap FromSvg(const QByteArray& svg, const QString& name = {});
    static TBitmap FromImage(const QImage& image, const QString& name = {});
    // SVG or any raster format Qt decodes (PNG, JPEG, BMP, GIF, ...).
    static TBitmap FromData(const QByteArray& data, const QString& name = {});
    static TBitmap FromFile(const QString& path);

    bool isNull() const { return !d; }
    bool isVector() const;
    // Natural size in device-independent pixels; empty for an empty bitmap.
    QSize size() const;
    // The resource name it was loaded under, for diagnostics and tests.
    QString name() const;

    // The picture rendered to `size` (device-independent) at `dpr` physical pixels per unit; the
    // result carries that pixel ratio. Null image for an empty bitmap or an empty size.
    QImage toImage(const QSize& size, qreal dpr = 1.0) const;
    QImage toImage() const { return toImage(size()); }

    // Draws the picture stretched into `target`, rendered for the painter's pixel density and
    // scale so that it is not blurred by an up-scale.
    void draw(QPainter& painter, const QRectF& target) const;

    // Same picture (shared data), not equal pixels.
    friend bool operator==(const TBitmap& a, const TBitmap& b) { return a.d == b.d; }

private:
    struct Data;
    std::shared_ptr<Data> d;
};
