#include "untTextStyle.h"

#include "untFonts.h"

#include <QPalette>
#include <QWidget>

QFont PixelFont(int pixelSize, bool bold) {
    QFont f;
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QFont AppFont(int pixelSize, bool bold) {
    QFont f = PixelFont(pixelSize, bold);
    f.setFamily(AppFontFamily);
    return f;
}

void SetTextColor(QWidget* w, const QColor& c) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::Text, c);
    w->setPalette(p);
}
