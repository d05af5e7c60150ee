// The visible device list: a panel with its title bar (refresh, add and remove-mode icons, the
// title "Device") over a scrolling list that paints one row per device of a TNEV_IOTDevList. Rows
// are painted, not built from widgets, so that thousands of boards cost no more than the few
// rows on screen; every named picture comes from the shared picture cache. The view reports where
// the pointer went; the list decides what a click does.
//
// Object names: "IOTDevList" (the panel), "rctngl_DevList_Title", "img_DevList_Refresh",
// "img_DevList_Add", "img_DevList_Del", "lbl_DevList_Name", "lstbx_DevList" (the rows).
#pragma once

#include "untIOTDevList.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <functional>

class QLabel;
class QVariantAnimation;
class TDevListIcon;
class TIOTDevRows;

// Animation lengths in milliseconds; 0 jumps to the end at once (tests).
struct TDevListDurations {
    int Slide = 180;   // remove button uncovered or covered
    int Fade = 220;    // a removed row fading out
    int Picture = 200; // picture turned aside for the "Open URL" button
    int Title = 300;   // title icons moving aside for the control panel
};

class TIOTDevListView : public QWidget {
    Q_OBJECT

public:
    static constexpr int TitleHeight = 48;
    static constexpr int RowHeight = 110;

    // The list outlives the view or is destroyed with it; the view takes its fade-out hook.
    explicit TIOTDevListView(TNEV_IOTDevList* AList, QWidget* parent = nullptr);
    ~TIOTDevListView() override;

    TNEV_IOTDevList* List() const { return FList; }
    void setDurations(const TDevListDurations& ADurations) { FDurations = ADurations; }
    const TDevListDurations& Durations() const { return FDurations; }

    // How far the title icons move aside while the control panel is shown (its width).
    float AnimatedLang() const { return FAnimatedLang; }
    void setAnimatedLang(float AValue);
    // Re-centres the title in the visible width; the window calls it when it is resized.
    void DevListResize();

    QAbstractScrollArea* Rows() const;
    // Where a title icon is now (tags 1 to 3), in the panel's coordinates.
    QRect IconRect(int Tag) const;
    // Where a part of a device's row is now (DevListTag 0 state label, 4 to 7), in the rows'
    // viewport coordinates; empty when that part is not shown.
    QRect ItemPartRect(int Index, int Tag) const;
    // The part under a point of the rows' viewport: the row (-1 for empty area) and its tag.
    std::pair<int, int> HitTest(const QPoint& APos) const;
    // Scrolls so that a device's row is visible.
    void ScrollToItem(int Index);

protected:
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    friend class TIOTDevRows;
    enum class TAnimKind { Slide, Fade, Picture };
    struct TRowAnim {
        QVariantAnimation* Slide = nullptr;
        QVariantAnimation* Fade = nullptr;
        QVariantAnimation* Picture = nullptr;
    };

    void Relabel();
    void LayoutTitle();
    void AnimateTitle(bool AOn);
    void ItemRemoveStateChanged(TIOTDevItem* AItem);
    void ItemImgAnimatedChanged(TIOTDevItem* AItem);
    void FadeOut(TIOTDevItem* AItem);
    void Animate(TIOTDevItem* AItem, TAnimKind AKind, qreal AFrom, qreal ATo, int AMs,
                 std::function<void()> ADone = {});
    void StopAnims(const TIOTDevItem* AItem);
    bool RowVisible(const TIOTDevItem* AItem) const;
    void UpdateScrollRange();

    qreal BgX(const TIOTDevItem* AItem) const;
    qreal Opacity(const TIOTDevItem* AItem) const;
    qreal PictureTurn(const TIOTDevItem* AItem) const;
    QPixmap DevPicture(const TIOTDevItem* AItem, qreal ADpr);

    QPointer<TNEV_IOTDevList> FList;
    TDevListDurations FDurations;
    float FAnimatedLang = 0;
    qreal FTitleShift = 0;
    QVariantAnimation* FTitleAnim = nullptr;
    QWidget* FTitle;
    TDevListIcon* FRefresh;
    TDevListIcon* FAdd;
    TDevListIcon* FDel;
    QLabel* FName;
    TIOTDevRows* FRows;
    QHash<const TIOTDevItem*, TRowAnim> FAnims;
    // The users' own pictures, decoded at the size shown, by MAC; null when unreadable.
    QHash<QString, QPixmap> FCustomPictures;
};
