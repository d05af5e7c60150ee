// How the main window's own picture buttons change picture under the pointer. The window names
// its buttons by role (img_PopAdd_Yes is a popup push button, img_Pop_Task_Close a close button,
// ...); AttachPressPicturesByName finds them by name and wires the pictures of their kind, so
// that the window only handles the clicks.
#pragma once

#include "untBitmap.h"

#include <QHash>
#include <QStringList>

#include <optional>

class QWidget;
class TImage;

enum class TPressStyle {
    PushButton,    // Button_HL pressed, Button_N released and left
    ListButton,    // ListButton_HL / ListButton_N
    CloseButton,   // Close_HL pressed, Close_E released and entered, Close_N left
    LoginButton,   // LoginBtn_HL / LoginBtn_N
    RefreshButton, // Refresh_HL pressed, Refresh_N left; a release changes nothing
};

// Picture names per pointer event; an empty name means the event changes nothing.
struct TPressPictureNames {
    QString Pressed;
    QString Released;
    QString Left;
    QString Entered;
    QString Rest; // shown when the rules are attached
};
TPressPictureNames PressPictureNames(TPressStyle style);

// Object-name patterns (wildcards) of the window's buttons of each kind.
QStringList PressStylePatterns(TPressStyle style);
// The kind of the button with this object name, if it is one of the window's picture buttons.
std::optional<TPressStyle> PressStyleOf(const QString& objectName);

// Loads the pictures of every kind once; the attached buttons share them.
class TPressPictures {
public:
    TPressPictures();
    TBitmap Bitmap(const QString& name) const { return FBitmaps.value(name.toLower()); }

    // Makes `image` follow the rules of `style` and shows its rest picture; a button already
    // attached keeps its first rules.
    void Attach(TImage* image, TPressStyle style) const;
    // Every TImage under `root` (root included) whose object name matches `pattern` (wildcards).
    int AttachMatching(QWidget* root, const QString& pattern, TPressStyle style) const;
    // Every TImage under `root` named like one of the window's picture buttons; returns how many.
    int AttachByName(QWidget* root) const;

private:
    QHash<QString, TBitmap> FBitmaps;
};
