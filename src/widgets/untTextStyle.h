// Fonts and text colours of captions, shared by the lists, the popups and the pages.
#pragma once

#include <QColor>
#include <QFont>

class QWidget;

// The application's font at a size in pixels (the same on every screen density).
QFont PixelFont(int pixelSize, bool bold = false);
// The same with the program's typeface named explicitly, for widgets that may be shown before the
// application font is set up.
QFont AppFont(int pixelSize, bool bold = false);
// The colour of a widget's text, for labels and edit boxes alike.
void SetTextColor(QWidget* w, const QColor& c);
