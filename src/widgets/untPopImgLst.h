// The picture picker: a popup next to a control that offers pictures in a row (or a column) and
// reports the one chosen. It closes after a choice, on a click elsewhere and on Esc, and forgets
// its pictures when it closes, so every opening starts from the pictures added for it.
#pragma once

#include "untImage.h"

#include <QList>
#include <QPointer>

#include <functional>

class QGraphicsDropShadowEffect;
class QScrollArea;

using TImgClickEvent = std::function<void(QObject* Sender, quint16 AIndex)>;

// Where a popup opens relative to its anchor control.
enum class TPlacement {
    Bottom, // below, the pointer 30 from the left end
    Top,    // above, the pointer 30 from the left end
    Left,
    Right,
    Center,
    BottomCenter, // below, centred on the anchor
    TopCenter,    // above, centred on the anchor
    LeftCenter,   // left of it, centred
    RightCenter,  // right of it, centred
    Absolute,
    Mouse,
    MouseCenter,
};

// One picture of the picker: an image filling the item, whose click reports the item's index in
// its list.
class TImageItem : public QWidget {
    Q_OBJECT

public:
    TImageItem(QWidget* AOwner, const TBitmap& ABit);

    TImage* Img() const { return FImg; }
    // Position in the picker's list, from 0.
    quint16 Index() const { return FIndex; }
    void SetIndex(quint16 index) { FIndex = index; }

    TImgClickEvent OnImgClick;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    TImage* FImg;
    quint16 FIndex = 0;
    bool FHot = false;
};

class TPopImageList : public QWidget {
    Q_OBJECT

public:
    static constexpr qreal PointerEdgeOffset = 30;

    explicit TPopImageList(QWidget* AOwner);
    ~TPopImageList() override;

    // Adds a picture as the last item, ClientSquare x ClientSquare.
    void AddImg(const TBitmap& AImg);
    int Count() const { return FItems.size(); }
    TImageItem* Item(int index) const { return FItems.value(index); }

    float ClientSquare() const { return FClientSquare; }
    // Sizes the popup and its list for the placement, then resizes every item.
    void SetClientSquare(float value);

    TPlacement Placement() const { return FPlacement; }
    void SetPlacement(TPlacement placement);
    QWidget* PlacementTarget() const { return FTarget; }
    void SetPlacementTarget(QWidget* target);

    // Opens next to the placement target (on the target's window), pointer toward it.
    void Popup();
    // Closes and empties the list; nothing when closed.
    void ClosePopup();
    bool IsOpen() const { return FOpen; }

    TCalloutRectangle* Callout() const { return FCltrctngl; }
    QScrollArea* ListBox() const { return FLstbx; }
    QGraphicsDropShadowEffect* Shadow() const { return FShadowE; }

    TImgClickEvent OnImgClick;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Horizontal() const;
    void LayOut();
    void LayOutItems();
    void Place();
    void ImgClick(quint16 index);
    void Clear();

    QGraphicsDropShadowEffect* FShadowE;
    TCalloutRectangle* FCltrctngl;
    QScrollArea* FLstbx;
    QWidget* FListContent;
    QList<TImageItem*> FItems;
    float FClientSquare = 0;
    TPlacement FPlacement = TPlacement::Bottom;
    QPointer<QWidget> FTarget;
    bool FOpen = false;
    quint64 FOpenings = 0; // tells a choice's handler that reopened us from one that did not
    bool FFilterInstalled = false;
};
