// The program's typeface. Every caption asks for "微软雅黑"; where that family is not installed
// a CJK family that is takes its place, so that Chinese text never shows as empty boxes.
#pragma once

#include <QString>
#include <QStringList>

inline const QString AppFontFamily = QStringLiteral("微软雅黑");

// Families tried in order when AppFontFamily is missing.
QStringList AppFontFallbacks();

// Registers the fallbacks and makes AppFontFamily the application's font. Call once after the
// QApplication exists, before any window is created.
void SetupAppFonts();
