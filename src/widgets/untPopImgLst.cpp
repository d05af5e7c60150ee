#include "untPopImgLst.h"

#include <QApplication>
#include <QGraphicsDropShadowEffect>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

#include <cmath>

namespace {
const QColor HotColor(0xE2, 0xF4, 0xFD);
constexpr int ItemMargin = 2; // between the list's edge and the first item
constexpr qreal CalloutRadius = 8;

// A list that scrolls along its one direction with the ordinary wheel.
class TPickerList : public QScrollArea {
public:
    using QScrollArea::QScrollArea;
    Qt::Orientation Orientation = Qt::Horizontal;

protected:
    void wheelEvent(QWheelEvent* event) override {
        if (Orientation == Qt::Vertical) {
            QScrollArea::wheelEvent(event);
            return;
        }
        const QPoint d = event->angleDelta();
        const int steps = std::abs(d.x()) > std::abs(d.y()) ? d.x() : d.y();
        QScrollBar* bar = horizontalScrollBar();
        bar->setValue(bar->value() - steps * bar->singleStep() / 40);
        event->accept();
    }
};

int Px(qreal v) {
    return int(std::lround(v));
}
} // namespace

// --- TImageItem --------------------------------------------------------------------------------

TImageItem::TImageItem(QWidget* AOwner, const TBitmap& ABit) : QWidget(AOwner), FImg(new TImage(this)) {
    FImg->SetBitmap(ABit);
    FImg->setGeometry(rect());
    setCursor(Qt::PointingHandCursor);
    connect(FImg, &TImage::clicked, this, [this] {
        // The handler may empty the list this item is in; call a copy.
        if (const TImgClickEvent handler = OnImgClick)
            handler(this, FIndex);
    });
}

void TImageItem::resizeEvent(QResizeEvent*) {
    FImg->setGeometry(rect());
}

void TImageItem::paintEvent(QPaintEvent*) {
    if (!FHot)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(HotColor);
    p.drawRoundedRect(QRectF(rect()), 8, 8);
}

void TImageItem::enterEvent(QEnterEvent*) {
    FHot = true;
    update();
}

void TImageItem::leaveEvent(QEvent*) {
    FHot = false;
    update();
}

// --- TPopImageList -----------------------------------------------------------------------------

TPopImageList::TPopImageList(QWidget* AOwner)
    : QWidget(AOwner), FShadowE(new QGraphicsDropShadowEffect(this)),
      FCltrctngl(new TCalloutRectangle(this)) {
    hide();
    setFocusPolicy(Qt::StrongFocus);

    FCltrctngl->setGeometry(rect());
    FCltrctngl->SetCalloutPosition(TCalloutRectangle::TCalloutPosition::Top);
    FCltrctngl->SetStrokeColor(Qt::transparent);
    FCltrctngl->SetCornerRadius(CalloutRadius);

    auto* list = new TPickerList(FCltrctngl);
    FLstbx = list;
    FLstbx->setFrameShape(QFrame::NoFrame);
    FLstbx->setFocusPolicy(Qt::NoFocus);
    FLstbx->setWidgetResizable(false);
    FLstbx->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    FLstbx->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FLstbx->setStyleSheet(QStringLiteral(
        "QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"
        "QScrollBar:horizontal { height: 8px; background: transparent; margin: 0 6px; }"
        "QScrollBar:vertical { width: 8px; background: transparent; margin: 6px 0; }"
        "QScrollBar::handle { background: #50BDF5; border-radius: 4px; min-width: 24px; min-height: 24px; }"
        "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; }"
        "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }"));
    FLstbx->viewport()->setAutoFillBackground(false);
    FListContent = new QWidget;
    FListContent->setAutoFillBackground(false);
    FLstbx->setWidget(FListContent);

    FShadowE->setBlurRadius(18);
    FShadowE->setOffset(0, 3);
    FShadowE->setColor(QColor(0, 0, 0, 90));
    setGraphicsEffect(FShadowE);
}

TPopImageList::~TPopImageList() {
    if (FFilterInstalled)
        qApp->removeEventFilter(this);
}

bool TPopImageList::Horizontal() const {
    return FPlacement != TPlacement::LeftCenter && FPlacement != TPlacement::RightCenter;
}

void TPopImageList::AddImg(const TBitmap& AImg) {
    auto* item = new TImageItem(FListContent, AImg);
    item->SetIndex(quint16(FItems.size()));
    item->OnImgClick = [this](QObject*, quint16 index) { ImgClick(index); };
    FItems << item;
    LayOutItems();
    item->show();
}

void TPopImageList::SetClientSquare(float value) {
    FClientSquare = value;
    const qreal l = FCltrctngl->CalloutLength();
    switch (FPlacement) {
    case TPlacement::Bottom:
    case TPlacement::Top:
    case TPlacement::BottomCenter:
    case TPlacement::TopCenter:
        resize(width(), Px(value + l + 20));
        break;
    case TPlacement::LeftCenter:
    case TPlacement::RightCenter:
        resize(Px(value + l + 20), height());
        break;
    default:
        break;
    }
    LayOut();
    LayOutItems();
}

void TPopImageList::SetPlacement(TPlacement placement) {
    FPlacement = placement;
    static_cast<TPickerList*>(FLstbx)->Orientation = Horizontal() ? Qt::Horizontal : Qt::Vertical;
    LayOut();
    LayOutItems();
}

void TPopImageList::SetPlacementTarget(QWidget* target) {
    FTarget = target;
}

// The callout fills the popup; its pointer side and the list's place follow the placement.
void TPopImageList::LayOut() {
    using P = TCalloutRectangle::TCalloutPosition;
    FCltrctngl->setGeometry(rect());
    const int l = Px(FCltrctngl->CalloutLength());
    const int w = width();
    const int h = height();
    QRect list;
    switch (FPlacement) {
    case TPlacement::Bottom:
    case TPlacement::BottomCenter:
        FCltrctngl->SetCalloutPosition(P::Top);
        list = QRect(1, l + 1, w - 2, h - l - 2);
        break;
    case TPlacement::Top:
    case TPlacement::TopCenter:
        FCltrctngl->SetCalloutPosition(P::Bottom);
        list = QRect(1, 1, w - 2, h - l - 2);
        break;
    case TPlacement::LeftCenter:
        FCltrctngl->SetCalloutPosition(P::Right);
        list = QRect(1, 1, w - l - 2, h - 2);
        break;
    case TPlacement::RightCenter:
        FCltrctngl->SetCalloutPosition(P::Left);
        list = QRect(l + 1, 1, w - l - 2, h - 2);
        break;
    default:
        return;
    }
    FCltrctngl->SetCalloutOffset(
        FPlacement == TPlacement::Bottom || FPlacement == TPlacement::Top ? PointerEdgeOffset : 0);
    FLstbx->setGeometry(list.normalized());
    if (Horizontal()) {
        FLstbx->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        FLstbx->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    } else {
        FLstbx->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        FLstbx->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    }
}

void TPopImageList::LayOutItems() {
    const int sq = std::max(0, Px(FClientSquare));
    const bool horizontal = Horizontal();
    for (int i = 0; i < FItems.size(); ++i) {
        const QPoint at =
            horizontal ? QPoint(ItemMargin + i * sq, ItemMargin) : QPoint(ItemMargin, ItemMargin + i * sq);
        FItems[i]->setGeometry(QRect(at, QSize(sq, sq)));
    }
    const int n = int(FItems.size());
    FListContent->resize(horizontal ? QSize(2 * ItemMargin + n * sq, 2 * ItemMargin + sq)
                                    : QSize(2 * ItemMargin + sq, 2 * ItemMargin + n * sq));
}

void TPopImageList::resizeEvent(QResizeEvent*) {
    LayOut();
    if (FOpen)
        Place();
}

void TPopImageList::Popup() {
    QWidget* host = FTarget ? FTarget->window() : parentWidget();
    if (host && parentWidget() != host)
        setParent(host);
    // Shown first: the first show delivers the pending resize, which lays the callout out again.
    show();
    Place();
    raise();
    setFocus(Qt::PopupFocusReason);
    FOpen = true;
    ++FOpenings;
    if (!FFilterInstalled) {
        qApp->installEventFilter(this);
        FFilterInstalled = true;
    }
}

void TPopImageList::ClosePopup() {
    if (!FOpen)
        return;
    FOpen = false;
    if (FFilterInstalled) {
        qApp->removeEventFilter(this);
        FFilterInstalled = false;
    }
    hide();
    Clear();
}

void TPopImageList::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Hidden with its window (closed, not minimised): that closes the picker too.
    if (!event->spontaneous())
        ClosePopup();
}

void TPopImageList::Clear() {
    // The item whose click closes us is still in its own event handler: delete later.
    for (TImageItem* item : std::as_const(FItems)) {
        item->OnImgClick = nullptr;
        item->hide();
        item->deleteLater();
    }
    FItems.clear();
    LayOutItems();
}

void TPopImageList::ImgClick(quint16 index) {
    QPointer<TPopImageList> self(this);
    const quint64 opening = FOpenings;
    if (OnImgClick)
        OnImgClick(this, index);
    // A handler that opened the picker again keeps it open.
    if (self && FOpenings == opening)
        ClosePopup();
}

// Opens on the anchor's window, at the side the placement names, pointer toward the anchor's
// centre; the popup is kept inside the window and the pointer follows the anchor.
void TPopImageList::Place() {
    QWidget* host = parentWidget();
    if (!host)
        return;
    QRect a = FTarget ? QRect(FTarget->mapTo(host, QPoint(0, 0)), FTarget->size())
                      : QRect(host->rect().center(), QSize(0, 0));
    const int w = width();
    const int h = height();
    const qreal pw = FCltrctngl->CalloutWidth();
    const qreal cx = a.x() + a.width() / 2.0;
    const qreal cy = a.y() + a.height() / 2.0;
    QPointF at = pos();
    switch (FPlacement) {
    case TPlacement::Bottom:
        at = {cx - (PointerEdgeOffset + pw / 2), qreal(a.y() + a.height())};
        break;
    case TPlacement::Top:
        at = {cx - (PointerEdgeOffset + pw / 2), qreal(a.y() - h)};
        break;
    case TPlacement::BottomCenter:
        at = {cx - w / 2.0, qreal(a.y() + a.height())};
        break;
    case TPlacement::TopCenter:
        at = {cx - w / 2.0, qreal(a.y() - h)};
        break;
    case TPlacement::LeftCenter:
        at = {qreal(a.x() - w), cy - h / 2.0};
        break;
    case TPlacement::RightCenter:
        at = {qreal(a.x() + a.width()), cy - h / 2.0};
        break;
    case TPlacement::Left:
        at = {qreal(a.x() - w), qreal(a.y())};
        break;
    case TPlacement::Right:
        at = {qreal(a.x() + a.width()), qreal(a.y())};
        break;
    case TPlacement::Center:
        at = {cx - w / 2.0, cy - h / 2.0};
        break;
    case TPlacement::Mouse:
        at = host->mapFromGlobal(QCursor::pos());
        break;
    case TPlacement::MouseCenter:
        at = QPointF(host->mapFromGlobal(QCursor::pos())) - QPointF(w / 2.0, h / 2.0);
        break;
    case TPlacement::Absolute:
        break;
    }
    const int x = std::clamp(Px(at.x()), 0, std::max(0, host->width() - w));
    const int y = std::clamp(Px(at.y()), 0, std::max(0, host->height() - h));
    move(x, y);

    // Point at the anchor from wherever the popup ended up.
    const bool horizontal = FPlacement == TPlacement::Bottom || FPlacement == TPlacement::Top ||
                            FPlacement == TPlacement::BottomCenter || FPlacement == TPlacement::TopCenter;
    const bool vertical = FPlacement == TPlacement::LeftCenter || FPlacement == TPlacement::RightCenter;
    if (!horizontal && !vertical)
        return;
    const qreal side = horizontal ? w : h;
    const qreal tip = horizontal ? cx - x : cy - y;
    const qreal r = CalloutRadius;
    if (std::abs(tip - side / 2) < 0.5) {
        FCltrctngl->SetCalloutOffset(0);
        return;
    }
    const qreal lo = std::max<qreal>(1, r);
    const qreal hi = std::max(lo, side - r - pw);
    FCltrctngl->SetCalloutOffset(std::clamp(tip - pw / 2, lo, hi));
}

// A press on the popup's own background stays with it: the window behind must not see it.
void TPopImageList::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void TPopImageList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        ClosePopup();
        return;
    }
    QWidget::keyPressEvent(event);
}

// While open: a press anywhere outside closes the popup (and is not passed on), Esc closes it.
bool TPopImageList::eventFilter(QObject* watched, QEvent* event) {
    if (!FOpen || !watched->isWidgetType())
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* target = static_cast<QWidget*>(watched);
        if (target == this || isAncestorOf(target))
            return false;
        ClosePopup();
        return true;
    }
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            ClosePopup();
            return true;
        }
        return false;
    default:
        return false;
    }
}
