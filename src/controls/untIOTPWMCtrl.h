// The cell of one PWM output: frequency box and duty slider. The slider reports the user's
// changes at most once per throttle interval, and always reports the position it comes to rest
// at, so the board ends at the duty the slider shows.
#pragma once

#include "untIOTCtrlCell.h"

#include <QSlider>

class QLabel;
class QTimer;

// A duty slider that leaves the mouse wheel to the list it sits in: turning the wheel over a
// cell scrolls the panel instead of changing a board's output.
class TDutySlider : public QSlider {
    Q_OBJECT

public:
    explicit TDutySlider(QWidget* parent = nullptr);

protected:
    void wheelEvent(QWheelEvent* event) override;
};

class TNEV_IOTPWMCtrl : public TNEV_IOTCtrlCell {
    Q_OBJECT

public:
    using TClock = std::function<qint64()>; // milliseconds, monotonic
    static constexpr int DefaultThrottleMs = 100;
    static constexpr int DefaultHZ = 715;

    explicit TNEV_IOTPWMCtrl(QWidget* parent = nullptr);

    int PWMIndex() const { return Index(); }

    // Frequency: the label shows the number followed by " Hz".
    int PinLv() const;
    void SetPinLv(int hz);
    // Duty: setting it moves the slider without reporting a change and shows the value as the
    // board's; reading it gives the slider position.
    int Duty() const;
    void SetDuty(quint8 duty);
    QString DutyText() const;

    // Connects (true) or disconnects the slider's reports.
    void Trckbr_DutyChangeEvent(bool ABool);

    void SetClock(TClock clock);
    void SetThrottleInterval(int ms);
    int ThrottleInterval() const { return FThrottleMs; }
    // A change is held back for the throttle interval and not yet reported.
    bool HasPendingDuty() const { return FPending; }

    TCtrlImage* Img_HZ() const { return FImg_HZ; }
    TDutySlider* Trckbr_Duty() const { return FTrckbr_Duty; }

    TCtrlClickEvent& OnPWMEvent = OnClick;

private:
    void DutyChanged();
    void FlushPending();
    void ReportDuty();

    TCtrlImage* FImg_HZ;
    QLabel* FLbl_HZ;
    TDutySlider* FTrckbr_Duty;
    QLabel* FLbl_Duty;
    QTimer* FTrailing;
    TClock FClock;
    qint64 FLastT = 0;
    int FThrottleMs = DefaultThrottleMs;
    bool FPending = false;
    bool FSetting = false;
    bool FReporting = true;
};
