#include "untIOTCtrlList.h"

#include "untFonts.h"
#include "untLang.h"

#include <QEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {
const QColor ColorTitle(11, 67, 104);
const QColor ColorPanel(236, 243, 249);
constexpr int ShadowWidth = 8;
const char* const EnglishProperty = "quilletEnglish";

QString Heading(TIOTYPE type) {
    switch (type) {
    case TIOTYPE::IO_OUT:
        return QStringLiteral("Output");
    case TIOTYPE::IO_IN:
        return QStringLiteral("Input");
    case TIOTYPE::IO_PWM:
        return QStringLiteral("PWM");
    case TIOTYPE::IO_REG:
        return QStringLiteral("REG");
    case TIOTYPE::IO_Red:
        return QStringLiteral("Infrared");
    case TIOTYPE::IO_NIL:
        break;
    }
    return {};
}

template <typename Cell> Cell* At(const QList<Cell*>& cells, int index) {
    return index >= 0 && index < cells.size() ? cells[index] : nullptr;
}
} // namespace

TNEV_IOTCtrlList::TNEV_IOTCtrlList(QWidget* AOwner)
    : QWidget(AOwner), Frctngl_Title(new TRectangle(this)),
      FImg_Light(
          new TCtrlImage(this, QStringLiteral("Light_N"), QRect(ShadowWidth + 8, 6, 40, 40), TagLight)),
      FImg_Edit(new TCtrlImage(this, QStringLiteral("Edit_N"), QRect(PanelWidth - 48, 6, 40, 40), TagEdit)),
      FLbl_Name(new QLabel(this)), FLstbx(new QScrollArea(this)), FRowHost(new QWidget),
      FRowLayout(new QVBoxLayout(FRowHost)), FSlide(new QPropertyAnimation(this, "pos", this)) {
    setObjectName(QStringLiteral("IOTCtrlList"));
    Frctngl_Title->setObjectName(QStringLiteral("rctngl_Title"));
    Frctngl_Title->SetFillColor(ColorTitle);
    Frctngl_Title->setGeometry(ShadowWidth, 0, PanelWidth - ShadowWidth, TitleHeight);
    Frctngl_Title->setAttribute(Qt::WA_TransparentForMouseEvents);
    FImg_Light->setObjectName(QStringLiteral("Img_Light"));
    FImg_Edit->setObjectName(QStringLiteral("Img_Edit"));
    for (TCtrlImage* icon : {FImg_Light, FImg_Edit}) {
        const QString rest = icon == FImg_Light ? QStringLiteral("Light_N") : QStringLiteral("Edit_N");
        const QString held = icon == FImg_Light ? QStringLiteral("Light_HL") : QStringLiteral("Edit_HL");
        icon->setCursor(Qt::PointingHandCursor);
        icon->raise();
        connect(icon, &TImage::pressed, this, [icon, held] { icon->SetPicture(held); });
        connect(icon, &TImage::released, this, [icon, rest] { icon->SetPicture(rest); });
        connect(icon, &TImage::left, this, [icon, rest] { icon->SetPicture(rest); });
        connect(icon, &TImage::clicked, this,
                [this, icon] { ForwardCellClick(icon, -1, icon->Tag(), TIOTYPE::IO_NIL); });
    }

    FLbl_Name->setObjectName(QStringLiteral("Lbl_Name"));
    FLbl_Name->setProperty(EnglishProperty, QStringLiteral("Control"));
    QFont titleFont = FLbl_Name->font();
    titleFont.setFamily(AppFontFamily);
    titleFont.setPixelSize(20);
    titleFont.setBold(true);
    FLbl_Name->setFont(titleFont);
    FLbl_Name->setAlignment(Qt::AlignCenter);
    FLbl_Name->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    FLbl_Name->setGeometry(ShadowWidth + 56, 0, PanelWidth - ShadowWidth - 112, TitleHeight);
    FLbl_Name->setAttribute(Qt::WA_TransparentForMouseEvents);

    FLstbx->setObjectName(QStringLiteral("Lstbx"));
    FLstbx->setFrameShape(QFrame::NoFrame);
    FLstbx->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FLstbx->setWidgetResizable(true);
    FLstbx->setStyleSheet(QStringLiteral(
        "QScrollArea { background: transparent; }"
        "QScrollBar:vertical { width: 10px; background: transparent; margin: 4px 2px 4px 0; }"
        "QScrollBar::handle:vertical { background: rgba(11, 67, 104, 110); border-radius: 4px; min-height: "
        "32px; }"
        "QScrollBar::handle:vertical:hover { background: rgba(11, 67, 104, 170); }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
    FLstbx->viewport()->setAutoFillBackground(false);
    FRowHost->setObjectName(QStringLiteral("Lstbx_Rows"));
    FRowHost->setAutoFillBackground(false);
    FRowLayout->setContentsMargins(0, 6, 0, 12);
    FRowLayout->setSpacing(4);
    FRowLayout->addStretch(1);
    FLstbx->setWidget(FRowHost);
    FLstbx->setGeometry(ShadowWidth - 4, TitleHeight, PanelWidth - ShadowWidth + 4, 680 - TitleHeight);

    FSlide->setEasingCurve(QEasingCurve::Linear);
    connect(FSlide, &QPropertyAnimation::finished, this, [this] {
        // A continuation may start another slide; it then waits for that one.
        const auto done = std::exchange(FSlideDone, {});
        QPointer<TNEV_IOTCtrlList> self(this);
        for (const auto& fn : done) {
            if (fn)
                fn();
            if (!self)
                return;
        }
    });

    resize(PanelWidth, AOwner ? AOwner->height() : 680);
    Relabel();
    if (AOwner)
        AOwner->installEventFilter(this);
    CtrlListResize();
}

TNEV_IOTCtrlList::~TNEV_IOTCtrlList() {
    // Outputs held in jog mode are reported released while this list can still pass it on.
    for (TNEV_IOTOutCtrl* cell : std::as_const(FOut))
        cell->ReleaseHeld();
    OnIOTJogMode = nullptr;
    OnIOTCtrlClick = nullptr;
}

// --- rows ------------------------------------------------------------------------------------

QWidget* TNEV_IOTCtrlList::Row(int row) const {
    return row >= 0 && row < FRows.size() ? FRows[row] : nullptr;
}

TNEV_IOTCtrlCell* TNEV_IOTCtrlList::Items(TIOTYPE AIOType, int Index) const {
    switch (AIOType) {
    case TIOTYPE::IO_OUT:
        return OutItems(Index);
    case TIOTYPE::IO_IN:
        return InItems(Index);
    case TIOTYPE::IO_PWM:
        return PWMItems(Index);
    case TIOTYPE::IO_REG:
        return REGItems(Index);
    case TIOTYPE::IO_Red:
        return RedItems(Index);
    case TIOTYPE::IO_NIL:
        break;
    }
    return nullptr;
}

int TNEV_IOTCtrlList::Count(TIOTYPE AIOType) const {
    switch (AIOType) {
    case TIOTYPE::IO_OUT:
        return OutCount();
    case TIOTYPE::IO_IN:
        return InCount();
    case TIOTYPE::IO_PWM:
        return PWMCount();
    case TIOTYPE::IO_REG:
        return REGCount();
    case TIOTYPE::IO_Red:
        return RedCount();
    case TIOTYPE::IO_NIL:
        break;
    }
    return 0;
}

TNEV_IOTOutCtrl* TNEV_IOTCtrlList::OutItems(int Index) const {
    return At(FOut, Index);
}
TNEV_IOTInCtrl* TNEV_IOTCtrlList::InItems(int Index) const {
    return At(FIn, Index);
}
TNEV_IOTPWMCtrl* TNEV_IOTCtrlList::PWMItems(int Index) const {
    return At(FPWM, Index);
}
TNEV_IOTREGCtrl* TNEV_IOTCtrlList::REGItems(int Index) const {
    return At(FREG, Index);
}

TNEV_IOTRedCtrl* TNEV_IOTCtrlList::RedItems(int Index) const {
    for (TNEV_IOTRedCtrl* cell : FRed)
        if (cell->RedIndex() == Index)
            return cell;
    return nullptr;
}

void TNEV_IOTCtrlList::AppendRow(QWidget* row) {
    FRowLayout->insertWidget(FRowLayout->count() - 1, row);
    FRows.append(row);
}

void TNEV_IOTCtrlList::RemoveRow(QWidget* row) {
    FRows.removeOne(row);
    FRowLayout->removeWidget(row);
    row->hide();
    // The row may be the sender of the click being handled.
    row->deleteLater();
}

QLabel* TNEV_IOTCtrlList::AppendHeading(const QString& english) {
    auto* heading = new QLabel(FRowHost);
    heading->setObjectName(QStringLiteral("lbl_Heading_") + english);
    heading->setProperty(EnglishProperty, english);
    heading->setText(LangText(english));
    heading->setFixedHeight(HeadingHeight);
    heading->setAlignment(Qt::AlignCenter);
    QFont font = heading->font();
    font.setFamily(AppFontFamily);
    font.setPixelSize(20);
    font.setBold(true);
    heading->setFont(font);
    heading->setStyleSheet(QStringLiteral("color: #0b4368; background: transparent;"));
    AppendRow(heading);
    return heading;
}

void TNEV_IOTCtrlList::Connect(TNEV_IOTCtrlCell* cell) {
    cell->OnClick = [this](QObject* Sender, int Index, int Tag, TIOTYPE AIOType) {
        ForwardCellClick(Sender, Index, Tag, AIOType);
    };
}

TNEV_IOTRedCtrl* TNEV_IOTCtrlList::NewRed(int redIndex, bool studied) {
    auto* cell = new TNEV_IOTRedCtrl(FRowHost);
    cell->SetIndex(redIndex);
    cell->SetisStudied(studied);
    Connect(cell);
    return cell;
}

void TNEV_IOTCtrlList::Clear() {
    for (TNEV_IOTOutCtrl* cell : std::as_const(FOut))
        cell->ReleaseHeld();
    // Hidden rows take no more clicks; their handlers stay, as one of them may be running now.
    for (QWidget* row : std::as_const(FRows)) {
        FRowLayout->removeWidget(row);
        row->hide();
        row->deleteLater();
    }
    FRows.clear();
    FOut.clear();
    FIn.clear();
    FPWM.clear();
    FREG.clear();
    FRed.clear();
    FRedHeading = nullptr;
}

// Cells kept for the same counts start again as new ones would.
void TNEV_IOTCtrlList::ResetCells() {
    for (TNEV_IOTOutCtrl* cell : std::as_const(FOut)) {
        cell->ReleaseHeld();
        cell->SetisOn(false);
        cell->SetIOName({});
    }
    for (TNEV_IOTInCtrl* cell : std::as_const(FIn)) {
        cell->SetisON(false);
        cell->SetIOName({});
    }
    for (TNEV_IOTPWMCtrl* cell : std::as_const(FPWM)) {
        cell->SetPinLv(TNEV_IOTPWMCtrl::DefaultHZ);
        cell->SetDuty(0);
        cell->SetIOName({});
    }
    for (TNEV_IOTREGCtrl* cell : std::as_const(FREG)) {
        cell->SetREG(0);
        cell->SetIOName({});
    }
    for (int i = 0; i < FRed.size(); ++i) {
        FRed[i]->SetIndex(i);
        FRed[i]->SetisStudied(true);
        FRed[i]->SetIOName({});
    }
}

void TNEV_IOTCtrlList::Add(int AOut, int AIn, int APWM, int AREG, int ARed) {
    AOut = std::max(0, AOut);
    AIn = std::max(0, AIn);
    APWM = std::max(0, APWM);
    AREG = std::max(0, AREG);
    ARed = std::max(0, ARed);
    FRowHost->setUpdatesEnabled(false);
    if (AOut == OutCount() && AIn == InCount() && APWM == PWMCount() && AREG == REGCount() &&
        ARed == RedCount()) {
        ResetCells();
    } else {
        Clear();
        auto build = [this](int count, TIOTYPE type, auto make) {
            if (count <= 0)
                return;
            QLabel* heading = AppendHeading(Heading(type));
            if (type == TIOTYPE::IO_Red)
                FRedHeading = heading;
            for (int i = 0; i < count; ++i)
                AppendRow(make(i));
        };
        build(AOut, TIOTYPE::IO_OUT, [this](int i) {
            auto* cell = new TNEV_IOTOutCtrl(FRowHost);
            cell->SetIndex(i);
            cell->setObjectName(QStringLiteral("OutCtrl%1").arg(i));
            Connect(cell);
            cell->OnOutJogMode = [this](int Index, bool isOn) { ForwardJogMode(Index, isOn); };
            FOut.append(cell);
            return cell;
        });
        build(AIn, TIOTYPE::IO_IN, [this](int i) {
            auto* cell = new TNEV_IOTInCtrl(FRowHost);
            cell->SetIndex(i);
            cell->setObjectName(QStringLiteral("InCtrl%1").arg(i));
            Connect(cell);
            FIn.append(cell);
            return cell;
        });
        build(APWM, TIOTYPE::IO_PWM, [this](int i) {
            auto* cell = new TNEV_IOTPWMCtrl(FRowHost);
            cell->SetIndex(i);
            cell->setObjectName(QStringLiteral("PWMCtrl%1").arg(i));
            Connect(cell);
            FPWM.append(cell);
            return cell;
        });
        build(AREG, TIOTYPE::IO_REG, [this](int i) {
            auto* cell = new TNEV_IOTREGCtrl(FRowHost);
            cell->SetIndex(i);
            cell->setObjectName(QStringLiteral("REGCtrl%1").arg(i));
            Connect(cell);
            FREG.append(cell);
            return cell;
        });
        build(ARed, TIOTYPE::IO_Red, [this](int i) {
            TNEV_IOTRedCtrl* cell = NewRed(i, true);
            cell->setObjectName(QStringLiteral("RedCtrl%1").arg(i));
            FRed.append(cell);
            return cell;
        });
    }
    ApplyLocks();
    ApplyMode();
    FRowHost->setUpdatesEnabled(true);
}

void TNEV_IOTCtrlList::AddRed(quint8 N) {
    if (N == 0)
        return;
    const int redIndex = N - 1;
    // The board repeats a creation reply now and then: a channel is shown once.
    if (RedItems(redIndex))
        return;
    FRowHost->setUpdatesEnabled(false);
    if (!FRedHeading)
        FRedHeading = AppendHeading(Heading(TIOTYPE::IO_Red));
    TNEV_IOTRedCtrl* cell = NewRed(redIndex, false);
    cell->setObjectName(QStringLiteral("RedCtrl%1").arg(redIndex));
    // Keep the rows in channel order, so that a position always names the same channel.
    int pos = 0;
    while (pos < FRed.size() && FRed[pos]->RedIndex() < redIndex)
        ++pos;
    const int row = pos < FRed.size() ? int(FRows.indexOf(FRed[pos])) : int(FRows.size());
    FRowLayout->insertWidget(row, cell);
    FRows.insert(row, cell);
    FRed.insert(pos, cell);
    FRowHost->setUpdatesEnabled(true);
}

void TNEV_IOTCtrlList::RemoveRed(quint8 N) {
    TNEV_IOTRedCtrl* cell = N == 0 ? nullptr : RedItems(N - 1);
    if (!cell)
        return;
    FRed.removeOne(cell);
    RemoveRow(cell);
    for (int i = 0; i < FRed.size(); ++i) {
        FRed[i]->SetIndex(i);
        FRed[i]->setObjectName(QStringLiteral("RedCtrl%1").arg(i));
    }
    if (FRed.isEmpty() && FRedHeading) {
        RemoveRow(FRedHeading);
        FRedHeading = nullptr;
    }
}

// --- device parameters -----------------------------------------------------------------------

void TNEV_IOTCtrlList::ApplyLocks() {
    for (int i = 0; i < FOut.size(); ++i)
        FOut[i]->SetisLock(i < FDevParam.LockArr.size() && FDevParam.LockArr[i]);
}

void TNEV_IOTCtrlList::ApplyMode() {
    if (!FDevParam.TouchMode)
        OutAll(false);
    for (TNEV_IOTOutCtrl* cell : std::as_const(FOut))
        cell->SetTouchMode(FDevParam.TouchMode);
}

TDevParam TNEV_IOTCtrlList::GetDevParam() const {
    TDevParam param = FDevParam;
    if (param.LockArr.size() < FOut.size())
        param.LockArr.resize(FOut.size(), false);
    return param;
}

void TNEV_IOTCtrlList::SetDevParam(const TDevParam& param) {
    FDevParam = param;
    ApplyLocks();
    ApplyMode();
}

void TNEV_IOTCtrlList::OutAll(bool AisON) {
    for (TNEV_IOTOutCtrl* cell : std::as_const(FOut))
        cell->SetisOn(AisON);
}

// --- clicks ----------------------------------------------------------------------------------

void TNEV_IOTCtrlList::ForwardCellClick(QObject* Sender, int Index, int Tag, TIOTYPE AIOType) {
    if (Tag == TagLock && AIOType == TIOTYPE::IO_OUT) {
        TNEV_IOTOutCtrl* cell = OutItems(Index);
        if (!cell)
            return;
        cell->SetisLock(!cell->isLock());
        // The held record is the one copy: the next rebuild and the window read this lock.
        if (FDevParam.LockArr.size() <= Index)
            FDevParam.LockArr.resize(Index + 1, false);
        FDevParam.LockArr[Index] = cell->isLock();
    }
    NowCtrl.IOType = AIOType;
    NowCtrl.TypeIndex = quint16(Index);
    if (OnIOTCtrlClick)
        OnIOTCtrlClick(Sender, Index, Tag, AIOType);
}

void TNEV_IOTCtrlList::ForwardJogMode(int Index, bool isOn) {
    if (OnIOTJogMode)
        OnIOTJogMode(Index, isOn);
}

// --- sliding ---------------------------------------------------------------------------------

int TNEV_IOTCtrlList::HiddenX() const {
    return parentWidget() ? parentWidget()->width() : 0;
}
int TNEV_IOTCtrlList::ShownX() const {
    return HiddenX() - PanelWidth;
}

bool TNEV_IOTCtrlList::isSliding() const {
    return FSlide->state() == QAbstractAnimation::Running;
}

void TNEV_IOTCtrlList::SetAppeared(bool value) {
    SetAppearedWait(value, {});
}

void TNEV_IOTCtrlList::SetAppearedWait(bool value, std::function<void()> done) {
    if (value == FAppeared) {
        if (isSliding())
            FSlideDone.push_back(std::move(done));
        else if (done)
            done();
        return;
    }
    FAppeared = value;
    SlideTo(value, std::move(done));
}

void TNEV_IOTCtrlList::SlideTo(bool shown, std::function<void()> done) {
    FSlide->stop();
    FSlideDone.push_back(std::move(done));
    if (shown)
        raise();
    FSlide->setDuration(FSlideMs);
    FSlide->setStartValue(pos());
    FSlide->setEndValue(QPoint(shown ? ShownX() : HiddenX(), 0));
    FSlide->start();
}

void TNEV_IOTCtrlList::CtrlListResize() {
    const bool sliding = isSliding();
    if (sliding)
        FSlide->stop();
    const int h = parentWidget() ? parentWidget()->height() : height();
    setGeometry(FAppeared ? ShownX() : HiddenX(), 0, PanelWidth, h);
    FLstbx->setGeometry(ShadowWidth - 4, TitleHeight, PanelWidth - ShadowWidth + 4,
                        std::max(0, h - TitleHeight));
    if (sliding) // the interrupted slide is over: whoever waited for it goes on
        emit FSlide->finished();
}

bool TNEV_IOTCtrlList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        CtrlListResize();
    return QWidget::eventFilter(watched, event);
}

// --- look ------------------------------------------------------------------------------------

void TNEV_IOTCtrlList::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // A painted shadow along the left edge: an effect over the scrolling rows would repaint the
    // whole panel on every scroll step.
    QLinearGradient shade(0, 0, ShadowWidth, 0);
    shade.setColorAt(0, QColor(0, 0, 0, 0));
    shade.setColorAt(1, QColor(0, 0, 0, 70));
    p.fillRect(QRect(0, 0, ShadowWidth, height()), shade);
    p.fillRect(QRect(ShadowWidth, 0, width() - ShadowWidth, height()), ColorPanel);
}

void TNEV_IOTCtrlList::Relabel() {
    FLbl_Name->setText(LangText(FLbl_Name->property(EnglishProperty).toString()));
    for (QWidget* row : std::as_const(FRows))
        if (auto* heading = qobject_cast<QLabel*>(row))
            heading->setText(LangText(heading->property(EnglishProperty).toString()));
}

void TNEV_IOTCtrlList::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        Relabel();
    QWidget::changeEvent(event);
}
