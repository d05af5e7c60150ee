// One process-wide cache of the named pictures as rendered pixmaps, by name, size and pixel
// ratio, so that list items and channel cells share one rendering per picture instead of parsing
// and rendering an SVG each. Lookups ignore the case of the name. A missing or broken picture
// gives a null pixmap, cached as well so that repeated lookups stay cheap.
#pragma once

#include "untBitmap.h"

#include <QPixmap>
#include <QSize>
#include <QString>

// The named picture rendered to `size` (device-independent pixels) at `dpr`; the pixmap carries
// that pixel ratio. Null for an unknown or broken name, or an empty size.
QPixmap CachedPicture(const QString& name, const QSize& size, qreal dpr = 1.0);
// The parsed picture for a name, shared; parsed once per process.
TBitmap CachedBitmap(const QString& name);
// Forgets every rendering (e.g. after the screen's pixel ratio changed); parsed pictures stay.
void ClearPictureCache();
