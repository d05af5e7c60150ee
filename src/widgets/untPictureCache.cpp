#include "untPictureCache.h"

#include "untResImages.h"

#include <QHash>

namespace {
struct Key {
    QString name; // lower case
    QSize size;
    qreal dpr;
    friend bool operator==(const Key& a, const Key& b) {
        return a.name == b.name && a.size == b.size && qFuzzyCompare(a.dpr, b.dpr);
    }
};
size_t qHash(const Key& k, size_t seed = 0) {
    return qHashMulti(seed, k.name, k.size.width(), k.size.height(), qRound(k.dpr * 100));
}

// Only the user-interface thread draws, so plain statics are enough.
QHash<QString, TBitmap>& Bitmaps() {
    static QHash<QString, TBitmap> bitmaps;
    return bitmaps;
}
QHash<Key, QPixmap>& Pixmaps() {
    static QHash<Key, QPixmap> pixmaps;
    return pixmaps;
}
} // namespace

TBitmap CachedBitmap(const QString& name) {
    const QString key = name.toLower();
    auto& bitmaps = Bitmaps();
    auto it = bitmaps.constFind(key);
    if (it == bitmaps.constEnd())
        it = bitmaps.insert(key, ResBitmap(name));
    return *it;
}

QPixmap CachedPicture(const QString& name, const QSize& size, qreal dpr) {
    if (size.isEmpty() || dpr <= 0)
        return {};
    const Key key{name.toLower(), size, dpr};
    auto& pixmaps = Pixmaps();
    auto it = pixmaps.constFind(key);
    if (it == pixmaps.constEnd()) {
        const TBitmap bitmap = CachedBitmap(name);
        QPixmap pixmap;
        if (!bitmap.isNull())
            pixmap = QPixmap::fromImage(bitmap.toImage(size, dpr));
        it = pixmaps.insert(key, pixmap);
    }
    return *it;
}

void ClearPictureCache() {
    Pixmaps().clear();
}
