#include "untIOTPWMCtrl.h"

#include "untFonts.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <QWheelEvent>

namespace {
qint64 SteadyMs() {
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer.elapsed();
}

void StyleValueLabel(QLabel* label, int pixelSize) {
    QFont font = label->font();
    font.setFamily(AppFontFamily);
    font.setPixelSize(pixelSize);
    font.setBold(true);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
}
} // namespace

TDutySlider::TDutySlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setStyleSheet(QStringLiteral(
        "QSlider::groove:horizontal { height: 6px; background: #cfe3f1; border-radius: 3px; }"
        "QSlider::sub-page:horizontal { background: #1379b9; border-radius: 3px; }"
        "QSlider::handle:horizontal { width: 14px; margin: -6px 0; border-radius: 9px; background: white;"
        " border: 2px solid #1379b9; }"
        "QSlider::handle:horizontal:pressed { background: #cfe3f1; }"));
}

void TDutySlider::wheelEvent(QWheelEvent* event) {
    event->ignore();
}

TNEV_IOTPWMCtrl::TNEV_IOTPWMCtrl(QWidget* parent)
    : TNEV_IOTCtrlCell(parent, TIOTYPE::IO_PWM),
      FImg_HZ(AddImage(QStringLiteral("PWMText_N"), QRect(BackLeft + BackWidth - 104, 12, 88, 30), 7)),
      FLbl_HZ(new QLabel(FImg_HZ)), FTrckbr_Duty(new TDutySlider(this)), FLbl_Duty(new QLabel(this)),
      FTrailing(new QTimer(this)), FClock(&SteadyMs) {
    FLbl_HZ->setGeometry(FImg_HZ->rect());
    FLbl_HZ->setAttribute(Qt::WA_TransparentForMouseEvents);
    FLbl_HZ->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    StyleValueLabel(FLbl_HZ, 14);
    FImg_HZ->setCursor(Qt::PointingHandCursor);
    SetPinLv(DefaultHZ);

    FTrckbr_Duty->setObjectName(QStringLiteral("Trckbr_Duty"));
    FTrckbr_Duty->setRange(0, 100);
    FTrckbr_Duty->setGeometry(InnerLeft, 64, 170, 20);
    FTrckbr_Duty->setFocusPolicy(Qt::NoFocus);
    FLbl_Duty->setGeometry(InnerLeft + 178, 58, 36, 32);
    FLbl_Duty->setStyleSheet(QStringLiteral("color: #0b4368; background: transparent;"));
    StyleValueLabel(FLbl_Duty, 15);
    FLbl_Duty->setText(QStringLiteral("0"));

    FTrailing->setSingleShot(true);
    connect(FTrailing, &QTimer::timeout, this, &TNEV_IOTPWMCtrl::FlushPending);
    connect(FTrckbr_Duty, &QSlider::valueChanged, this, &TNEV_IOTPWMCtrl::DutyChanged);
    // Letting go of the handle sends where it came to rest at once.
    connect(FTrckbr_Duty, &QSlider::sliderReleased, this, &TNEV_IOTPWMCtrl::FlushPending);
    FLastT = FClock();
}

int TNEV_IOTPWMCtrl::PinLv() const {
    QString text = FLbl_HZ->text();
    text.chop(3);
    return text.toInt();
}

void TNEV_IOTPWMCtrl::SetPinLv(int hz) {
    FLbl_HZ->setText(QString::number(hz) + QStringLiteral(" Hz"));
}

int TNEV_IOTPWMCtrl::Duty() const {
    return FTrckbr_Duty->value();
}

void TNEV_IOTPWMCtrl::SetDuty(quint8 duty) {
    FSetting = true;
    FTrckbr_Duty->setValue(duty);
    FSetting = false;
    FLbl_Duty->setText(QString::number(duty));
}

QString TNEV_IOTPWMCtrl::DutyText() const {
    return FLbl_Duty->text();
}

void TNEV_IOTPWMCtrl::Trckbr_DutyChangeEvent(bool ABool) {
    FReporting = ABool;
    if (!ABool) {
        FTrailing->stop();
        FPending = false;
    }
}

void TNEV_IOTPWMCtrl::SetClock(TClock clock) {
    FClock = clock ? std::move(clock) : TClock(&SteadyMs);
    FLastT = FClock();
}

void TNEV_IOTPWMCtrl::SetThrottleInterval(int ms) {
    FThrottleMs = std::max(0, ms);
}

void TNEV_IOTPWMCtrl::DutyChanged() {
    if (FSetting || !FReporting)
        return;
    const qint64 now = FClock();
    const qint64 since = now - FLastT;
    if (since > FThrottleMs) {
        ReportDuty();
        return;
    }
    // Too soon after the last report: hold the change back and send the newest position when the
    // interval is over, so the last one of a quick movement is never lost.
    FPending = true;
    if (!FTrailing->isActive())
        FTrailing->start(int(std::clamp<qint64>(FThrottleMs - since + 1, 1, FThrottleMs + 1)));
}

void TNEV_IOTPWMCtrl::FlushPending() {
    FTrailing->stop();
    if (FPending && FReporting)
        ReportDuty();
    FPending = false;
}

void TNEV_IOTPWMCtrl::ReportDuty() {
    FTrailing->stop();
    FPending = false;
    FLastT = FClock();
    Report(FTrckbr_Duty, 8);
}
