// The named pictures the program carries, found by name without regard to case, and the
// loaders that put them into controls. A picture that is missing or cannot be decoded leaves the
// target empty; nothing is raised and the caller goes on.
#pragma once

#include "untBitmap.h"

#include <QList>
#include <QLoggingCategory>
#include <QStringList>

class TImage;
class TRectangle;

Q_DECLARE_LOGGING_CATEGORY(lcPictures)

// A new picture (shared, immutable) for the resource name; empty when there is none.
TBitmap ResBitmap(const QString& name);
// The image shows the named picture, or nothing.
void LoadResImage(TImage* image, const QString& name);
// The rectangle's fill is the named picture, stretched, or no fill.
void LoadResFill(TRectangle* rectangle, const QString& name);

bool ResPictureExists(const QString& name);
// Every picture the program carries, by its own spelling, sorted without regard to case and
// with numbers in order (Device_img2 before Device_img10).
QStringList ResPictureNames();

// The channel pictures "Device_img0" to "Device_img11", indexed by a channel's picture number.
using TCtrlListImgs = QList<TBitmap>;
inline constexpr int CtrlListImgCount = 12;
extern TCtrlListImgs CtrlListImgs;
void LoadCtrlListImgs();
void FreeCtrlListImgs();
// The channel picture for a picture number; numbers past the last give the first picture.
TBitmap CtrlListImg(int pictureNumber);
