#include "untFonts.h"

#include <QFont>
#include <QGuiApplication>

QStringList AppFontFallbacks() {
    return {QStringLiteral("Microsoft YaHei"),    QStringLiteral("WenQuanYi Micro Hei"),
            QStringLiteral("WenQuanYi Zen Hei"),  QStringLiteral("Noto Sans CJK SC"),
            QStringLiteral("Source Han Sans SC"), QStringLiteral("Droid Sans Fallback"),
            QStringLiteral("PingFang SC"),        QStringLiteral("SimHei")};
}

void SetupAppFonts() {
    QFont::insertSubstitutions(AppFontFamily, AppFontFallbacks());
    QFont::insertSubstitutions(QStringLiteral("Microsoft YaHei"), AppFontFallbacks().mid(1));
    QFont font = QGuiApplication::font();
    font.setFamilies({AppFontFamily});
    QGuiApplication::setFont(font);
}
