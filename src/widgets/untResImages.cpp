#include "untResImages.h"

#include "untImage.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>

Q_LOGGING_CATEGORY(lcPictures, "quillet.pictures")

TCtrlListImgs CtrlListImgs;

namespace {
const QString ResourceRoot = QStringLiteral(":/pictures");

// lower-case name -> resource path; built once, the resources never change while running.
const QHash<QString, QString>& Index() {
    static const QHash<QString, QString> index = [] {
        QHash<QString, QString> h;
        QDirIterator it(ResourceRoot, QDir::Files);
        while (it.hasNext()) {
            const QString path = it.next();
            h.insert(QFileInfo(path).completeBaseName().toLower(), path);
        }
        return h;
    }();
    return index;
}

QString PathOf(const QString& name) {
    return Index().value(name.toLower());
}

// "Device_img2" before "Device_img10": runs of digits compare by value, the rest without case.
bool NaturalLess(const QString& a, const QString& b) {
    int i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            int ei = i, ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            const qulonglong va = a.mid(i, ei - i).toULongLong(), vb = b.mid(j, ej - j).toULongLong();
            if (va != vb)
                return va < vb;
            i = ei;
            j = ej;
            continue;
        }
        const int c = QString::compare(a.mid(i, 1), b.mid(j, 1), Qt::CaseInsensitive);
        if (c != 0)
            return c < 0;
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}
} // namespace

TBitmap ResBitmap(const QString& name) {
    const QString path = PathOf(name);
    if (path.isEmpty()) {
        qCDebug(lcPictures) << "no picture named" << name;
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    TBitmap bitmap = TBitmap::FromData(file.readAll(), QFileInfo(path).completeBaseName());
    if (bitmap.isNull())
        qCDebug(lcPictures) << "picture" << name << "cannot be decoded";
    return bitmap;
}

void LoadResImage(TImage* image, const QString& name) {
    if (image)
        image->SetBitmap(ResBitmap(name));
}

void LoadResFill(TRectangle* rectangle, const QString& name) {
    if (rectangle)
        rectangle->SetFillBitmap(ResBitmap(name));
}

bool ResPictureExists(const QString& name) {
    return !PathOf(name).isEmpty();
}

QStringList ResPictureNames() {
    QStringList names;
    for (const QString& path : Index())
        names << QFileInfo(path).completeBaseName();
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}

void LoadCtrlListImgs() {
    CtrlListImgs.clear();
    for (int i = 0; i < CtrlListImgCount; ++i)
        CtrlListImgs << ResBitmap(QStringLiteral("Device_img%1").arg(i));
}

void FreeCtrlListImgs() {
    CtrlListImgs.clear();
}

TBitmap CtrlListImg(int pictureNumber) {
    if (CtrlListImgs.isEmpty())
        return {};
    if (pictureNumber < 0 || pictureNumber >= CtrlListImgs.size())
        pictureNumber = 0;
    return CtrlListImgs.at(pictureNumber);
}
