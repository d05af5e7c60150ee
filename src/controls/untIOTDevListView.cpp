#include "untIOTDevListView.h"

#include "untFonts.h"
#include "untIni.h"
#include "untLang.h"
#include "untPictureCache.h"

#include <QEvent>
#include <QImageReader>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QVariantAnimation>

namespace {

const QColor ColorTitle(11, 67, 104);
const QColor ColorPanel(0xEE, 0xF3, 0xF7);
const QColor ColorState(250, 104, 6);
const QColor ColorName(0x1B, 0x2B, 0x38);
const QColor ColorMAC(0x5C, 0x6B, 0x77);

constexpr int IconSize = 40;
constexpr int AddFromRight = 124;
constexpr int DelFromRight = 63;

// Row geometry, relative to the background picture of a row.
constexpr int BgTop = 5;
constexpr int BgHeight = 100;
constexpr int BgMaxWidth = 760;
constexpr qreal BgXCovered = 15;
constexpr qreal BgXUncovered = 70;
constexpr QSize RemoveIconSize(44, 44);
constexpr int RemoveIconX = 14;
constexpr int PictureSide = 80;
constexpr qreal PictureX = 40, PictureXTurned = 130;
constexpr qreal LabelX = 160, LabelXTurned = 250;
constexpr int NetSide = 40;
constexpr QSize UrlButtonSize(104, 36);
constexpr int UrlButtonX = 14;
constexpr int BoyMargin = 10;
constexpr QSize BoySize(120, 150);

int BgWidth(int viewportWidth) {
    return std::clamp(viewportWidth - 30, 200, BgMaxWidth);
}

QFont AppFont(int pixelSize, bool bold) {
    QFont f(AppFontFamily);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

} // namespace

// A title icon: its normal picture, the pressed one while the button is held on it; a release
// on it is a click.
class TDevListIcon : public QWidget {
public:
    TDevListIcon(const QString& base, const QString& name, QWidget* parent, std::function<void()> onClick)
        : QWidget(parent), FBase(base), FOnClick(std::move(onClick)) {
        setObjectName(name);
        setFixedSize(IconSize, IconSize);
        setCursor(Qt::PointingHandCursor);
    }
    bool Pressed() const { return FPressed; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QString pic = FBase + (FPressed ? QStringLiteral("_HL") : QStringLiteral("_N"));
        p.drawPixmap(0, 0, CachedPicture(pic, size(), devicePixelRatioF()));
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton)
            SetPressed(true);
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (FPressed && !rect().contains(e->position().toPoint()))
            SetPressed(false);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        const bool click =
            FPressed && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
        SetPressed(false);
        if (click && FOnClick)
            FOnClick();
    }
    void leaveEvent(QEvent*) override { SetPressed(false); }

private:
    void SetPressed(bool on) {
        if (FPressed != on) {
            FPressed = on;
            update();
        }
    }
    QString FBase;
    std::function<void()> FOnClick;
    bool FPressed = false;
};

// The title bar: the theme's title colour; a click on it is a click on the panel.
class TDevListTitle : public QWidget {
public:
    TDevListTitle(QWidget* parent, std::function<void()> onClick)
        : QWidget(parent), FOnClick(std::move(onClick)) {
        setObjectName(QStringLiteral("rctngl_DevList_Title"));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), ColorTitle);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && FOnClick)
            FOnClick();
    }

private:
    std::function<void()> FOnClick;
};

// The scrolling rows. Paints only the rows in view; the decoration stays in the corner.
class TIOTDevRows : public QAbstractScrollArea {
public:
    explicit TIOTDevRows(TIOTDevListView* view) : QAbstractScrollArea(view), FView(view) {
        setObjectName(QStringLiteral("lstbx_DevList"));
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        viewport()->setAutoFillBackground(false);
        viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
        viewport()->setMouseTracking(false);
        verticalScrollBar()->setSingleStep(24);
        FNameFont = AppFont(17, true);
        FNameMetrics = QFontMetrics(FNameFont);
        FMACFont = AppFont(12, false);
        FStateFont = AppFont(13, true);
        FButtonFont = AppFont(13, true);
    }
    int Offset() const { return verticalScrollBar()->value(); }
    // Drops the painted copy of a row (or of every row), which is painted again when shown.
    void Forget(const TIOTDevItem* item) { FRowCache.remove(item); }
    void ForgetAll() { FRowCache.clear(); }

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override {
        QAbstractScrollArea::resizeEvent(e);
        FView->UpdateScrollRange();
    }
    void scrollContentsBy(int, int) override { viewport()->update(); }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton)
            return;
        const auto [row, tag] = FView->HitTest(e->position().toPoint());
        FPressItem = FView->FList ? FView->FList->Item(row) : nullptr;
        FPressRow = row;
        FPressTag = tag;
        if (tag == DevListTag::Remove)
            viewport()->update();
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        // The remove button shows its pressed picture until the pointer leaves it.
        if (FPressTag == DevListTag::Remove &&
            FView->HitTest(e->position().toPoint()).second != DevListTag::Remove) {
            FPressTag = -1;
            viewport()->update();
        }
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton)
            return;
        const auto [row, tag] = FView->HitTest(e->position().toPoint());
        const QPointer<TIOTDevItem> pressed = FPressItem;
        const int pressedRow = FPressRow, pressedTag = FPressTag;
        FPressItem = nullptr;
        FPressRow = FPressTag = -1;
        viewport()->update();
        TNEV_IOTDevList* list = FView->FList;
        if (!list || tag != pressedTag || row != pressedRow)
            return;
        if (row < 0) {
            list->DoListClick(-1, DevListTag::Panel);
            return;
        }
        if (pressed && list->Item(row) == pressed)
            list->ItemClick(pressed, tag);
    }

private:
    friend class TIOTDevListView;
    TIOTDevListView* FView;
    QPointer<TIOTDevItem> FPressItem;
    int FPressRow = -1;
    int FPressTag = -1;
    void PaintContent(QPainter& p, const TIOTDevItem* item, int bgW, qreal turn, qreal dpr);
    QPixmap RowPixmap(const TIOTDevItem* item, int bgW, qreal dpr);

    struct TCachedRow {
        QPixmap Pixmap;
        bool Logged = false;
    };
    QFont FNameFont, FMACFont, FStateFont, FButtonFont;
    QFontMetrics FNameMetrics{QFont()};
    QHash<const TIOTDevItem*, TCachedRow> FRowCache;
};

void TIOTDevRows::PaintContent(QPainter& p, const TIOTDevItem* item, int bgW, qreal turn, qreal dpr) {
    const TNEV_IOTDevConn* c = item->Conn();
    const QString bg = item->ClickState() ? QStringLiteral("DeviceCell_S") : QStringLiteral("DeviceCell_N");
    p.drawPixmap(QPointF(0, 0), CachedPicture(bg, QSize(bgW, BgHeight), dpr));
    // The picture, turned aside while the address button shows.
    {
        const qreal px = PictureX + (PictureXTurned - PictureX) * turn;
        p.save();
        p.translate(px + PictureSide / 2.0, BgHeight / 2.0);
        if (turn > 0)
            p.rotate(90 * turn);
        p.drawPixmap(QPointF(-PictureSide / 2.0, -PictureSide / 2.0), FView->DevPicture(item, dpr));
        p.restore();
    }
    if (item->ImgAnimated()) {
        const QRectF btn(UrlButtonX, (BgHeight - UrlButtonSize.height()) / 2.0, UrlButtonSize.width(),
                         UrlButtonSize.height());
        p.drawPixmap(btn.topLeft(), CachedPicture(QStringLiteral("LoginBtn_N"), UrlButtonSize, dpr));
        p.setFont(FButtonFont);
        p.setPen(Qt::white);
        p.drawText(btn, Qt::AlignCenter, LangText(QStringLiteral("Open URL")));
    }
    const qreal lx = LabelX + (LabelXTurned - LabelX) * turn;
    const qreal textWidth = std::max<qreal>(40, bgW - 300 - lx);
    p.setFont(FNameFont);
    p.setPen(ColorName);
    p.drawText(QRectF(lx, 16, textWidth, 30), Qt::AlignLeft | Qt::AlignVCenter,
               FNameMetrics.elidedText(c->DevNameStr(), Qt::ElideRight, int(textWidth)));
    p.setFont(FMACFont);
    p.setPen(ColorMAC);
    p.drawText(QRectF(lx, 54, textWidth, 24), Qt::AlignLeft | Qt::AlignVCenter, c->DevMACStr());
    const QString state = StateLabelText(c->NetStyle(), c->NetState(), CloudSession.Logged);
    if (!state.isEmpty()) {
        p.setFont(FStateFont);
        p.setPen(ColorState);
        p.drawText(QRectF(bgW - 290, 0, 220, BgHeight), Qt::AlignCenter, LangText(state));
    }
    p.drawPixmap(QPointF(bgW - 60, (BgHeight - NetSide) / 2.0),
                 CachedPicture(c->NetImage(), QSize(NetSide, NetSide), dpr));
}

QPixmap TIOTDevRows::RowPixmap(const TIOTDevItem* item, int bgW, qreal dpr) {
    const bool logged = CloudSession.Logged;
    auto it = FRowCache.find(item);
    if (it != FRowCache.end() && it->Logged == logged && it->Pixmap.devicePixelRatio() == dpr &&
        it->Pixmap.deviceIndependentSize().width() == bgW)
        return it->Pixmap;
    QPixmap pm(QSize(bgW, BgHeight) * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::TextAntialiasing);
    PaintContent(p, item, bgW, item->ImgAnimated() ? 1.0 : 0.0, dpr);
    p.end();
    FRowCache.insert(item, {pm, logged});
    return pm;
}

void TIOTDevRows::paintEvent(QPaintEvent* e) {
    QPainter p(viewport());
    const QRect clip = e->rect();
    p.fillRect(clip, ColorPanel);
    const qreal dpr = viewport()->devicePixelRatioF();
    const QRect vr = viewport()->rect();

    // The decoration, fixed in the corner under the rows.
    const QRect boy(vr.right() - BoyMargin - BoySize.width() + 1,
                    vr.bottom() - BoyMargin - BoySize.height() + 1, BoySize.width(), BoySize.height());
    if (boy.intersects(clip)) {
        p.setOpacity(0.8);
        p.drawPixmap(boy.topLeft(), CachedPicture(QStringLiteral("Main_Boy"), BoySize, dpr));
        p.setOpacity(1);
    }

    TNEV_IOTDevList* list = FView->FList;
    if (!list)
        return;
    const int count = list->DevCount();
    const int first = std::max(0, (Offset() + clip.top()) / TIOTDevListView::RowHeight);
    const int last = std::min(count - 1, (Offset() + clip.bottom()) / TIOTDevListView::RowHeight);
    const int bgW = BgWidth(vr.width());
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int row = first; row <= last; ++row) {
        const TIOTDevItem* item = list->Item(row);
        const int top = row * TIOTDevListView::RowHeight - Offset();
        const qreal opacity = FView->Opacity(item);
        if (opacity <= 0)
            continue;
        p.setOpacity(opacity);
        const qreal bx = FView->BgX(item);
        const qreal by = top + BgTop;
        if (bx > BgXCovered) {
            const bool held = FPressItem == item && FPressTag == DevListTag::Remove;
            const QString pic = held ? QStringLiteral("CellRemove_HL") : QStringLiteral("CellRemove_N");
            p.drawPixmap(QPointF(RemoveIconX, by + (BgHeight - RemoveIconSize.height()) / 2.0),
                         CachedPicture(pic, RemoveIconSize, dpr));
        }
        const qreal turn = FView->PictureTurn(item);
        if (turn == 0 || turn == 1) {
            // A row at rest is painted once and then only copied while the list scrolls.
            p.drawPixmap(QPointF(bx, by), RowPixmap(item, bgW, dpr));
        } else {
            p.save();
            p.translate(bx, by);
            PaintContent(p, item, bgW, turn, dpr);
            p.restore();
        }
    }
    p.setOpacity(1);
    // Keep the rows of a few screens; the rest is painted again when it comes back into view.
    const int keep = 4 * (vr.height() / TIOTDevListView::RowHeight + 2);
    if (FRowCache.size() > keep) {
        for (auto it = FRowCache.begin(); it != FRowCache.end();) {
            const int row = list->IndexOf(it.key());
            if (row < first - keep / 4 || row > last + keep / 4)
                it = FRowCache.erase(it);
            else
                ++it;
        }
    }
}

TIOTDevListView::TIOTDevListView(TNEV_IOTDevList* AList, QWidget* parent) : QWidget(parent), FList(AList) {
    setObjectName(QStringLiteral("IOTDevList"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    FTitle = new TDevListTitle(this, [this] {
        if (FList)
            FList->DoListClick(-1, DevListTag::Panel);
    });
    auto iconClick = [this](int tag) {
        return [this, tag] {
            if (FList)
                FList->DoListClick(-1, tag);
        };
    };
    FRefresh = new TDevListIcon(QStringLiteral("Refresh"), QStringLiteral("img_DevList_Refresh"), this,
                                iconClick(DevListTag::Refresh));
    FAdd = new TDevListIcon(QStringLiteral("Add"), QStringLiteral("img_DevList_Add"), this,
                            iconClick(DevListTag::Add));
    FDel = new TDevListIcon(QStringLiteral("Remove"), QStringLiteral("img_DevList_Del"), this,
                            iconClick(DevListTag::Del));
    FName = new QLabel(this);
    FName->setObjectName(QStringLiteral("lbl_DevList_Name"));
    FName->setFont(AppFont(18, true));
    FName->setAlignment(Qt::AlignCenter);
    FName->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette pal = FName->palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    FName->setPalette(pal);
    FRows = new TIOTDevRows(this);
    Relabel();

    if (!FList)
        return;
    FList->OnItemFadeOut = [this](TIOTDevItem* item) { FadeOut(item); };
    connect(FList, &TNEV_IOTDevList::itemsInserted, this, [this] { UpdateScrollRange(); });
    connect(FList, &TNEV_IOTDevList::itemRemoved, this, [this] { UpdateScrollRange(); });
    connect(FList, &TNEV_IOTDevList::itemChanged, this, [this](TIOTDevItem* item) {
        FRows->Forget(item);
        FRows->viewport()->update();
    });
    connect(FList, &TNEV_IOTDevList::itemRemoved, this, [this] { FRows->ForgetAll(); });
    connect(FList, &TNEV_IOTDevList::selectionChanged, FRows->viewport(), qOverload<>(&QWidget::update));
    connect(FList, &TNEV_IOTDevList::itemRemoveStateChanged, this, &TIOTDevListView::ItemRemoveStateChanged);
    connect(FList, &TNEV_IOTDevList::itemImgAnimatedChanged, this, &TIOTDevListView::ItemImgAnimatedChanged);
    connect(FList, &TNEV_IOTDevList::animatedChanged, this, &TIOTDevListView::AnimateTitle);
    connect(FList, &TNEV_IOTDevList::customImageChanged, this, [this](const QString& mac) {
        FCustomPictures.remove(mac);
        FRows->ForgetAll();
        FRows->viewport()->update();
    });
    connect(FList, &QObject::destroyed, this, [this] { FAnims.clear(); });
    FTitleShift = FList->Animated() ? FAnimatedLang : 0;
    UpdateScrollRange();
}

TIOTDevListView::~TIOTDevListView() {
    if (!FList)
        return;
    FList->OnItemFadeOut = nullptr;
    // Rows still fading go once this view is gone, as their fade would have ended.
    for (auto it = FAnims.cbegin(); it != FAnims.cend(); ++it) {
        if (!it->Fade)
            continue;
        QPointer<TIOTDevItem> item(const_cast<TIOTDevItem*>(it.key()));
        QPointer<TNEV_IOTDevList> list(FList);
        QMetaObject::invokeMethod(
            FList.data(),
            [item, list] {
                if (item && list)
                    list->FinishRemove(item);
            },
            Qt::QueuedConnection);
    }
}

QAbstractScrollArea* TIOTDevListView::Rows() const {
    return FRows;
}

void TIOTDevListView::setAnimatedLang(float AValue) {
    FAnimatedLang = AValue;
    if (FList && FList->Animated() && !FTitleAnim) {
        FTitleShift = AValue;
        LayoutTitle();
    }
}

void TIOTDevListView::DevListResize() {
    LayoutTitle();
    UpdateScrollRange();
}

void TIOTDevListView::Relabel() {
    FName->setText(LangText(QStringLiteral("Device")));
}

void TIOTDevListView::LayoutTitle() {
    const int w = width();
    FTitle->setGeometry(0, 0, w, TitleHeight);
    const int shift = qRound(FTitleShift);
    const int iconTop = (TitleHeight - IconSize) / 2;
    FRefresh->move(4, iconTop);
    FAdd->move(w - AddFromRight - shift, iconTop);
    FDel->move(w - DelFromRight - shift, iconTop);
    const int visible = std::max(0, w - shift);
    FName->setGeometry(0, 0, visible, TitleHeight);
    FRows->setGeometry(0, TitleHeight, w, std::max(0, height() - TitleHeight));
}

QRect TIOTDevListView::IconRect(int Tag) const {
    switch (Tag) {
    case DevListTag::Refresh:
        return FRefresh->geometry();
    case DevListTag::Add:
        return FAdd->geometry();
    case DevListTag::Del:
        return FDel->geometry();
    default:
        return {};
    }
}

void TIOTDevListView::AnimateTitle(bool AOn) {
    const qreal target = AOn ? FAnimatedLang : 0;
    delete FTitleAnim;
    FTitleAnim = nullptr;
    if (FDurations.Title <= 0 || !isVisible()) {
        FTitleShift = target;
        LayoutTitle();
        return;
    }
    FTitleAnim = new QVariantAnimation(this);
    FTitleAnim->setStartValue(FTitleShift);
    FTitleAnim->setEndValue(target);
    FTitleAnim->setDuration(FDurations.Title);
    FTitleAnim->setEasingCurve(QEasingCurve::OutCubic);
    connect(FTitleAnim, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        FTitleShift = v.toReal();
        LayoutTitle();
    });
    connect(FTitleAnim, &QVariantAnimation::finished, this, [this, target] {
        FTitleShift = target;
        LayoutTitle();
        FTitleAnim->deleteLater();
        FTitleAnim = nullptr;
    });
    FTitleAnim->start();
}

bool TIOTDevListView::RowVisible(const TIOTDevItem* AItem) const {
    if (!FList || !isVisible())
        return false;
    const int row = FList->IndexOf(AItem);
    if (row < 0)
        return false;
    const int top = row * RowHeight - FRows->Offset();
    return top + RowHeight > 0 && top < FRows->viewport()->height();
}

void TIOTDevListView::Animate(TIOTDevItem* AItem, TAnimKind AKind, qreal AFrom, qreal ATo, int AMs,
                              std::function<void()> ADone) {
    if (!FAnims.contains(AItem))
        connect(AItem, &QObject::destroyed, this,
                [this, key = static_cast<const TIOTDevItem*>(AItem)] { StopAnims(key); });
    TRowAnim& slot = FAnims[AItem];
    QVariantAnimation*& anim = AKind == TAnimKind::Slide  ? slot.Slide
                               : AKind == TAnimKind::Fade ? slot.Fade
                                                          : slot.Picture;
    delete anim;
    anim = nullptr;
    // Rows out of view jump to the end: nobody would see the frames.
    if (AMs <= 0 || !RowVisible(AItem)) {
        if (!slot.Slide && !slot.Fade && !slot.Picture)
            FAnims.remove(AItem);
        FRows->viewport()->update();
        if (ADone)
            ADone();
        return;
    }
    anim = new QVariantAnimation(this);
    anim->setStartValue(AFrom);
    anim->setEndValue(ATo);
    anim->setDuration(AMs);
    connect(anim, &QVariantAnimation::valueChanged, FRows->viewport(), qOverload<>(&QWidget::update));
    QPointer<TIOTDevItem> item(AItem);
    QVariantAnimation* self = anim;
    connect(anim, &QVariantAnimation::finished, this,
            [this, item, key = static_cast<const TIOTDevItem*>(AItem), self, AKind, done = std::move(ADone)] {
                auto it = FAnims.find(key);
                if (it != FAnims.end()) {
                    QVariantAnimation*& a = AKind == TAnimKind::Slide  ? it->Slide
                                            : AKind == TAnimKind::Fade ? it->Fade
                                                                       : it->Picture;
                    if (a == self)
                        a = nullptr;
                    if (!it->Slide && !it->Fade && !it->Picture)
                        FAnims.erase(it);
                }
                self->deleteLater();
                FRows->viewport()->update();
                if (item && done)
                    done();
            });
    anim->start();
}

void TIOTDevListView::StopAnims(const TIOTDevItem* AItem) {
    const auto it = FAnims.find(AItem);
    if (it == FAnims.end())
        return;
    const TRowAnim slot = *it;
    FAnims.erase(it);
    // Deleting a running animation raises nothing.
    delete slot.Slide;
    delete slot.Fade;
    delete slot.Picture;
}

void TIOTDevListView::ItemRemoveStateChanged(TIOTDevItem* AItem) {
    const TREMOVESTATE state = AItem->RemoveState();
    if (state == TREMOVESTATE::REMOVE_GO)
        return; // the fade is started by the list through FadeOut
    const qreal from = BgX(AItem);
    // Back from a fade the window refused: whole again.
    if (FAnims.contains(AItem) && FAnims[AItem].Fade) {
        delete FAnims[AItem].Fade;
        FAnims[AItem].Fade = nullptr;
    }
    const qreal to = state == TREMOVESTATE::REMOVE_READY ? BgXUncovered : BgXCovered;
    Animate(AItem, TAnimKind::Slide, from, to, FDurations.Slide);
}

void TIOTDevListView::ItemImgAnimatedChanged(TIOTDevItem* AItem) {
    FRows->Forget(AItem);
    const qreal from = PictureTurn(AItem);
    Animate(AItem, TAnimKind::Picture, from, AItem->ImgAnimated() ? 1.0 : 0.0, FDurations.Picture);
}

void TIOTDevListView::FadeOut(TIOTDevItem* AItem) {
    QPointer<TIOTDevItem> item(AItem);
    QPointer<TNEV_IOTDevList> list(FList);
    Animate(AItem, TAnimKind::Fade, 1.0, 0.0, FDurations.Fade, [item, list] {
        if (item && list)
            list->FinishRemove(item);
    });
}

qreal TIOTDevListView::BgX(const TIOTDevItem* AItem) const {
    const auto it = FAnims.constFind(AItem);
    if (it != FAnims.cend() && it->Slide)
        return it->Slide->currentValue().toReal();
    switch (AItem->RemoveState()) {
    case TREMOVESTATE::REMOVE_DEFAULT:
        return BgXCovered;
    case TREMOVESTATE::REMOVE_READY:
        return BgXUncovered;
    case TREMOVESTATE::REMOVE_GO:
        break;
    }
    return FList && FList->RemoveState() ? BgXUncovered : BgXCovered;
}

qreal TIOTDevListView::Opacity(const TIOTDevItem* AItem) const {
    const auto it = FAnims.constFind(AItem);
    if (it != FAnims.cend() && it->Fade)
        return it->Fade->currentValue().toReal();
    return AItem->RemoveState() == TREMOVESTATE::REMOVE_GO ? 0.0 : 1.0;
}

qreal TIOTDevListView::PictureTurn(const TIOTDevItem* AItem) const {
    const auto it = FAnims.constFind(AItem);
    if (it != FAnims.cend() && it->Picture)
        return it->Picture->currentValue().toReal();
    return AItem->ImgAnimated() ? 1.0 : 0.0;
}

QPixmap TIOTDevListView::DevPicture(const TIOTDevItem* AItem, qreal ADpr) {
    const QSize side(PictureSide, PictureSide);
    if (AItem->isCustomImg()) {
        const QString mac = AItem->Conn()->DevMACStr();
        auto it = FCustomPictures.find(mac);
        if (it == FCustomPictures.end() || it->devicePixelRatio() != ADpr) {
            // Decoded straight to the size shown, once, with rounded corners.
            QPixmap rounded;
            QImageReader reader(ExistingDevImgFile(mac));
            const QSize px = side * ADpr;
            reader.setScaledSize(px);
            const QImage img = reader.read();
            if (!img.isNull()) {
                QImage out(px, QImage::Format_ARGB32_Premultiplied);
                out.fill(Qt::transparent);
                QPainter p(&out);
                p.setRenderHint(QPainter::Antialiasing);
                QPainterPath path;
                path.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(px)), 10 * ADpr, 10 * ADpr);
                p.setClipPath(path);
                p.drawImage(QPointF(0, 0), img);
                p.end();
                rounded = QPixmap::fromImage(out);
                rounded.setDevicePixelRatio(ADpr);
            }
            it = FCustomPictures.insert(mac, rounded);
        }
        if (!it->isNull())
            return *it;
    }
    QPixmap model = CachedPicture(QStringLiteral("Device_Type%1").arg(AItem->Conn()->DevType()), side, ADpr);
    if (model.isNull())
        model = CachedPicture(QStringLiteral("Device_Type0"), side, ADpr);
    return model;
}

void TIOTDevListView::UpdateScrollRange() {
    const int count = FList ? FList->DevCount() : 0;
    QScrollBar* bar = FRows->verticalScrollBar();
    const int vh = FRows->viewport()->height();
    bar->setPageStep(std::max(1, vh));
    bar->setRange(0, std::max(0, count * RowHeight - vh));
    FRows->viewport()->update();
}

std::pair<int, int> TIOTDevListView::HitTest(const QPoint& APos) const {
    if (!FList || APos.y() < 0)
        return {-1, DevListTag::Panel};
    const int row = (APos.y() + FRows->Offset()) / RowHeight;
    if (!FList->Item(row))
        return {-1, DevListTag::Panel};
    for (const int tag : {DevListTag::OpenURL, DevListTag::Picture, DevListTag::Remove, DevListTag::Panel,
                          DevListTag::Device})
        if (ItemPartRect(row, tag).contains(APos))
            return {row, tag};
    return {-1, DevListTag::Panel};
}

QRect TIOTDevListView::ItemPartRect(int Index, int Tag) const {
    const TIOTDevItem* item = FList ? FList->Item(Index) : nullptr;
    if (!item)
        return {};
    const int bgW = BgWidth(FRows->viewport()->width());
    const qreal bx = BgX(item);
    const qreal by = Index * RowHeight - FRows->Offset() + BgTop;
    const qreal turn = PictureTurn(item);
    switch (Tag) {
    case DevListTag::Device:
        return QRectF(bx, by, bgW, BgHeight).toAlignedRect();
    case DevListTag::Panel: // the state label: no reaction of its own
        return QRectF(bx + bgW - 290, by + 30, 220, 40).toAlignedRect();
    case DevListTag::Picture: {
        const qreal px = bx + PictureX + (PictureXTurned - PictureX) * turn;
        return QRectF(px, by + (BgHeight - PictureSide) / 2.0, PictureSide, PictureSide).toAlignedRect();
    }
    case DevListTag::OpenURL:
        if (!item->ImgAnimated())
            return {};
        return QRectF(bx + UrlButtonX, by + (BgHeight - UrlButtonSize.height()) / 2.0, UrlButtonSize.width(),
                      UrlButtonSize.height())
            .toAlignedRect();
    case DevListTag::Remove: {
        if (item->RemoveState() != TREMOVESTATE::REMOVE_READY)
            return {};
        const QRectF icon(RemoveIconX, by + (BgHeight - RemoveIconSize.height()) / 2.0,
                          RemoveIconSize.width(), RemoveIconSize.height());
        // Only the part the background does not cover.
        return icon.intersected(QRectF(0, by, bx, BgHeight)).toAlignedRect();
    }
    default:
        return {};
    }
}

void TIOTDevListView::ScrollToItem(int Index) {
    if (!FList || !FList->Item(Index))
        return;
    const int top = Index * RowHeight;
    QScrollBar* bar = FRows->verticalScrollBar();
    if (top < bar->value())
        bar->setValue(top);
    else if (top + RowHeight > bar->value() + FRows->viewport()->height())
        bar->setValue(top + RowHeight - FRows->viewport()->height());
}

void TIOTDevListView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    DevListResize();
}

void TIOTDevListView::changeEvent(QEvent* e) {
    if (e->type() == QEvent::LanguageChange) {
        Relabel();
        FRows->ForgetAll();
        FRows->viewport()->update();
    }
    QWidget::changeEvent(e);
}

void TIOTDevListView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), ColorPanel);
}

void TIOTDevListView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && FList)
        FList->DoListClick(-1, DevListTag::Panel);
}
