#include "untBitmap.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <vector>

namespace {
// A picture is usually shown at one or two sizes; a few renderings cover resizes and animations.
constexpr std::size_t CacheSize = 6;
// Keeps a corrupt file from asking for an absurd rendering.
constexpr int MaxSide = 8192;

bool LooksLikeSvg(const QByteArray& data) {
    const QByteArray head = data.left(512).trimmed();
    return head.startsWith("<?xml") || head.startsWith("<svg") || head.contains("<svg");
}
} // namespace

struct TBitmap::Data {
    QString name;
    QSize natural;
    std::unique_ptr<QSvgRenderer> svg;
    QImage raster;
    struct Rendering {
        QSize pixels;
        QImage image;
    };
    std::vector<Rendering> cache;

    QImage render(const QSize& pixels) {
        for (const auto& r : cache)
            if (r.pixels == pixels)
                return r.image;
        QImage out;
        if (svg) {
            out = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
            out.fill(Qt::transparent);
            QPainter p(&out);
            p.setRenderHint(QPainter::Antialiasing);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            svg->render(&p, QRectF(QPointF(0, 0), QSizeF(pixels)));
        } else {
            out = raster.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
        if (cache.size() >= CacheSize)
            cache.erase(cache.begin());
        cache.push_back({pixels, out});
        return out;
    }
};

TBitmap TBitmap::FromSvg(const QByteArray& svg, const QString& name) {
    auto renderer = std::make_unique<QSvgRenderer>(svg);
    if (!renderer->isValid())
        return {};
    const QSize natural = renderer->defaultSize();
    if (natural.isEmpty() || natural.width() > MaxSide || natural.height() > MaxSide)
        return {};
    TBitmap b;
    b.d = std::make_shared<Data>();
    b.d->name = name;
    b.d->natural = natural;
    b.d->svg = std::move(renderer);
    return b;
}

TBitmap TBitmap::FromImage(const QImage& image, const QString& name) {
    if (image.isNull())
        return {};
    TBitmap b;
    b.d = std::make_shared<Data>();
    b.d->name = name;
    b.d->raster = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    b.d->raster.setDevicePixelRatio(1.0);
    b.d->natural = image.deviceIndependentSize().toSize();
    return b;
}

TBitmap TBitmap::FromData(const QByteArray& data, const QString& name) {
    if (data.isEmpty())
        return {};
    if (LooksLikeSvg(data))
        return FromSvg(data, name);
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > MaxSide || size.height() > MaxSide))
        return {};
    return FromImage(reader.read(), name);
}

TBitmap TBitmap::FromFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return FromData(file.readAll(), path);
}

bool TBitmap::isVector() const {
    return d && d->svg;
}

QSize TBitmap::size() const {
    return d ? d->natural : QSize();
}

QString TBitmap::name() const {
    return d ? d->name : QString();
}

QImage TBitmap::toImage(const QSize& size, qreal dpr) const {
    if (!d || size.isEmpty() || dpr <= 0)
        return {};
    const QSize pixels(std::min(MaxSide, int(std::ceil(size.width() * dpr))),
                       std::min(MaxSide, int(std::ceil(size.height() * dpr))));
    QImage img = d->render(pixels);
    img.setDevicePixelRatio(dpr);
    return img;
}

void TBitmap::draw(QPainter& painter, const QRectF& target) const {
    if (!d || target.isEmpty())
        return;
    // Physical pixels per logical unit along each axis of the target, whatever the painter's
    // scale or rotation and the device's pixel ratio.
    const QTransform t = painter.deviceTransform();
    qreal sx = std::hypot(t.m11(), t.m12());
    qreal sy = std::hypot(t.m21(), t.m22());
    if (painter.device()) {
        const qreal dpr = painter.device()->devicePixelRatioF();
        sx = std::max(sx, dpr);
        sy = std::max(sy, dpr);
    }
    const QSize pixels(std::clamp(int(std::ceil(target.width() * sx)), 1, MaxSide),
                       std::clamp(int(std::ceil(target.height() * sy)), 1, MaxSide));
    const QImage img = d->render(pixels);
    const bool smooth = painter.testRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, img);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
}
