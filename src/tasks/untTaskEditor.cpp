#include "untTaskEditor.h"

#include "untImgBtn.h"
#include "untImgSwitch.h"
#include "untLang.h"
#include "untPictureCache.h"
#include "untTextStyle.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QToolButton>

namespace {
const char* const DayNames[7] = {" SU", " MO", " TU", " WE", " TH", " FR", " SA"};
const char* const StyleNames[5] = {"Everyday", "Once", "Weekdays", "Weekends", "Custom"};
const char* const CtrlNames[3] = {"Turn ON", "Turn OFF", "Turn Reverse"};
const QColor ColorBar(19, 121, 185);
constexpr int TitleHeight = 40;
const char* const EnglishProperty = "quilletEnglish";

TImageButton* PushButton(QWidget* parent, const QString& name, int x, int y) {
    auto* button = new TImageButton(parent, {}, CachedBitmap(QStringLiteral("Button_N")),
                                    CachedBitmap(QStringLiteral("Button_HL")), x, y, 120, 40);
    button->setObjectName(name);
    button->setCursor(Qt::PointingHandCursor);
    button->Lbl_Text()->setFont(AppFont(16, true));
    button->Lbl_Text()->setStyleSheet(QStringLiteral("color: #0b4368;"));
    return button;
}
} // namespace

// --- rules -----------------------------------------------------------------------------------

quint8 WeekMask(const TBools7& days) {
    quint8 mask = 0;
    for (int d = 0; d < 7; ++d)
        if (days[d])
            mask |= quint8(1u << d);
    return mask;
}

TBools7 WeekDays(quint8 mask) {
    TBools7 days{};
    for (int d = 0; d < 7; ++d)
        days[d] = mask & (1u << d);
    return days;
}

TWeekStyle WeekStyleOfDays(const TBools7& days) {
    switch (WeekMask(days)) {
    case 0x7F:
        return TWeekStyle::Everyday;
    case 0x00:
        return TWeekStyle::Once;
    case 0x3E:
        return TWeekStyle::Weekdays; // Monday to Friday
    case 0x41:
        return TWeekStyle::Weekends; // Sunday and Saturday
    default:
        return TWeekStyle::Custom;
    }
}

std::optional<TBools7> DaysOfWeekStyle(TWeekStyle style) {
    switch (style) {
    case TWeekStyle::Everyday:
        return WeekDays(0x7F);
    case TWeekStyle::Once:
        return WeekDays(0x00);
    case TWeekStyle::Weekdays:
        return WeekDays(0x3E);
    case TWeekStyle::Weekends:
        return WeekDays(0x41);
    case TWeekStyle::Custom:
        break;
    }
    return std::nullopt;
}

QString StartTimeText(const QDateTime& time) {
    return time.toString(QStringLiteral("yyyy-MM-dd hh:mm"));
}

std::optional<QDateTime> ReadStartTime(const QString& text) {
    const QString trimmed = text.simplified();
    for (const QString& format : {QStringLiteral("yyyy-MM-dd hh:mm"), QStringLiteral("yyyy-M-d h:mm")}) {
        const QDateTime time = QDateTime::fromString(trimmed, format);
        // The board counts seconds from 1970 in 32 bits: later years would wrap.
        if (time.isValid() && time.date().year() >= 1970 && time.date().year() <= 2105)
            return time;
    }
    return std::nullopt;
}

QDateTime DefaultStartTime(const QDateTime& now) {
    return now.addSecs(120);
}

// --- editor ----------------------------------------------------------------------------------

TTaskEditor::TTaskEditor(QWidget* parent)
    : QWidget(parent), FDateTime(new QLineEdit(this)), FCalendar(new QCalendarWidget(this)),
      FWeekStyle(new QComboBox(this)), FYes(PushButton(this, QStringLiteral("img_PopTaskAdd_Yes"), 70, 274)),
      FNo(PushButton(this, QStringLiteral("img_PopTaskAdd_No"), 210, 274)),
      FClose(new TImageButton(this, CachedBitmap(QStringLiteral("Close_E")),
                              CachedBitmap(QStringLiteral("Close_N")),
                              CachedBitmap(QStringLiteral("Close_HL")), EditorWidth - 38, 4, 32, 32)),
      FTitle(new QLabel(this)), FLbl_Start(new QLabel(this)), FLbl_Week(new QLabel(this)) {
    setObjectName(QStringLiteral("rctngl_Pop_TaskAdd"));
    setFixedSize(EditorWidth, EditorHeight);
    FClose->setObjectName(QStringLiteral("img_PopTaskAdd_Close"));
    FClose->setCursor(Qt::PointingHandCursor);
    FYes->setProperty(EnglishProperty, QStringLiteral("OK"));
    FNo->setProperty(EnglishProperty, QStringLiteral("Cancel"));
    connect(FYes, &TImage::clicked, this, [this] {
        if (OnButton)
            OnButton(TagOK);
    });
    for (TImageButton* cancel : {FNo, FClose})
        connect(cancel, &TImage::clicked, this, [this] {
            if (OnButton)
                OnButton(TagCancel);
        });

    FTitle->setGeometry(0, 0, EditorWidth, TitleHeight);
    FTitle->setAlignment(Qt::AlignCenter);
    FTitle->setFont(AppFont(18, true));
    FTitle->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    FTitle->setAttribute(Qt::WA_TransparentForMouseEvents);
    FTitle->setProperty(EnglishProperty, QStringLiteral("Task Add"));
    FClose->raise();

    for (int i = 0; i < 3; ++i) {
        auto* rb = new QRadioButton(this);
        rb->setObjectName(QStringLiteral("rb_PopTaskAdd_Ctrl%1").arg(i + 1));
        rb->setProperty(EnglishProperty, QString::fromLatin1(CtrlNames[i]));
        rb->setFont(AppFont(15, false));
        rb->setGeometry(24 + i * 122, 56, 118, 28);
        FCtrl[i] = rb;
    }
    FCtrl[0]->setChecked(true);

    FLbl_Start->setProperty(EnglishProperty, QStringLiteral("SartTime"));
    FLbl_Week->setProperty(EnglishProperty, QStringLiteral("Week"));
    for (QLabel* label : {FLbl_Start, FLbl_Week}) {
        label->setFont(AppFont(15, true));
        label->setStyleSheet(QStringLiteral("color: #1f2d3a; background: transparent;"));
    }
    FLbl_Start->setGeometry(24, 100, 100, 32);
    FLbl_Week->setGeometry(24, 146, 100, 32);

    FDateTime->setObjectName(QStringLiteral("edt_PopTaskAdd_DateTime"));
    FDateTime->setFont(AppFont(15, false));
    FDateTime->setGeometry(130, 100, 210, 32);
    FDateTime->setPlaceholderText(QStringLiteral("YYYY-MM-DD hh:mm"));
    auto* drop = new QToolButton(this);
    drop->setObjectName(QStringLiteral("btn_PopTaskAdd_Calendar"));
    drop->setArrowType(Qt::DownArrow);
    drop->setGeometry(342, 100, 32, 32);
    connect(drop, &QToolButton::clicked, this, &TTaskEditor::OpenCalendar);
    FCalendar->setObjectName(QStringLiteral("cal_PopTaskAdd_DateTime"));
    FCalendar->setWindowFlags(Qt::Popup);
    FCalendar->setGridVisible(true);
    FCalendar->hide();
    connect(FCalendar, &QCalendarWidget::clicked, this, [this](QDate day) {
        FDateTime->setText(StartTimeText(DefaultStartTime(QDateTime(day, QTime(0, 0)))));
        FCalendar->hide();
    });

    FWeekStyle->setObjectName(QStringLiteral("cbb_PopTaskAdd_WeekStyle"));
    FWeekStyle->setFont(AppFont(15, false));
    FWeekStyle->setGeometry(130, 146, 244, 32);
    for (int i = 0; i < 5; ++i)
        FWeekStyle->addItem(QString::fromLatin1(StyleNames[i]));
    FWeekStyle->setCurrentIndex(int(TWeekStyle::Everyday));
    connect(FWeekStyle, &QComboBox::activated, this, &TTaskEditor::WeekStyleChange);

    for (int d = 0; d < 7; ++d) {
        auto* day = new TImageSwitch(this, CachedBitmap(QStringLiteral("TaskWeek_N")),
                                     CachedBitmap(QStringLiteral("TaskWeek_HL")),
                                     CachedBitmap(QStringLiteral("Transparent")), 24 + d * 50, 200, 44, 26);
        day->setObjectName(QStringLiteral("WeekSwitch%1").arg(d));
        day->SetisON(true);
        day->OnSwhClick = [this](TImageSwitch*) { WeekSwitchClick(); };
        FWeekSwitches[d] = day;
    }
    Relabel();
}

void TTaskEditor::FillStartTime(const QDateTime& now) {
    FDateTime->setText(StartTimeText(DefaultStartTime(now)));
}

void TTaskEditor::OpenCalendar() {
    if (const auto time = ReadStartTime(FDateTime->text()))
        FCalendar->setSelectedDate(time->date());
    FCalendar->adjustSize();
    FCalendar->move(FDateTime->mapToGlobal(QPoint(0, FDateTime->height())));
    FCalendar->show();
}

void TTaskEditor::WeekStyleChange() {
    const auto days = DaysOfWeekStyle(TWeekStyle(FWeekStyle->currentIndex()));
    if (!days)
        return;
    for (int d = 0; d < 7; ++d)
        FWeekSwitches[d]->SetisON((*days)[d]);
}

void TTaskEditor::WeekSwitchClick() {
    const QSignalBlocker quiet(FWeekStyle);
    FWeekStyle->setCurrentIndex(int(WeekStyleOfDays(Week())));
}

TBools7 TTaskEditor::Week() const {
    TBools7 days{};
    for (int d = 0; d < 7; ++d)
        days[d] = FWeekSwitches[d]->isON();
    return days;
}

TWeekStyle TTaskEditor::WeekStyle() const {
    return TWeekStyle(FWeekStyle->currentIndex());
}

QByteArray TTaskEditor::Command(quint8 outputNumber) const {
    if (FCtrl[1]->isChecked())
        return TNEV_GPIOAPI::Out_Set_OFF(outputNumber);
    if (FCtrl[2]->isChecked())
        return TNEV_GPIOAPI::Out_Set_NOT(outputNumber);
    return TNEV_GPIOAPI::Out_Set_ON(outputNumber);
}

std::optional<TTaskRcd> TTaskEditor::AddTask(quint8 ANowCtrlNum) const {
    const auto start = ReadStartTime(FDateTime->text());
    if (!start)
        return std::nullopt;
    TTaskRcd task;
    task.Enable = true;
    task.StartTime = *start;
    task.CMD = Command(ANowCtrlNum);
    task.Week = Week();
    task.LoopStyle = WeekMask(task.Week) ? TTASKLOOPSTYLE::TASK_LOOP_DAY : TTASKLOOPSTYLE::TASK_LOOP_ONE;
    return task;
}

void TTaskEditor::Relabel() {
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QString english = w->property(EnglishProperty).toString();
        if (english.isEmpty())
            continue;
        if (auto* label = qobject_cast<QLabel*>(w))
            label->setText(LangText(english));
        else if (auto* rb = qobject_cast<QRadioButton*>(w))
            rb->setText(LangText(english));
        else if (auto* button = qobject_cast<TImageButton*>(w))
            button->SetText(LangText(english));
    }
    for (int i = 0; i < 5; ++i)
        FWeekStyle->setItemText(i, LangText(QString::fromLatin1(StyleNames[i])));
    for (int d = 0; d < 7; ++d)
        FWeekSwitches[d]->SetText(LangText(QString::fromLatin1(DayNames[d])));
}

void TTaskEditor::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        Relabel();
    QWidget::changeEvent(event);
}

void TTaskEditor::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath body;
    body.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    p.setClipPath(body);
    const QPixmap tile = CachedPicture(QStringLiteral("Pop_BG"), QSize(60, 60), devicePixelRatioF());
    if (!tile.isNull())
        p.drawTiledPixmap(rect(), tile);
    else
        p.fillRect(rect(), Qt::white);
    p.fillRect(QRect(0, 0, width(), TitleHeight), ColorBar);
    p.setClipping(false);
    p.setPen(QColor(0, 0, 0, 60));
    p.drawPath(body);
}
