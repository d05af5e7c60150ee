#include "untIOTOutCtrl.h"

#include <QEvent>

TNEV_IOTOutCtrl::TNEV_IOTOutCtrl(QWidget* parent)
    : TNEV_IOTCtrlCell(parent, TIOTYPE::IO_OUT),
      FImg_Power(AddImage(QStringLiteral("Power_OFF"), QRect(BackLeft + BackWidth - 92, 12, 80, 80), 1)),
      FImg_Clock(AddImage(QStringLiteral("Clock_N"), QRect(InnerLeft, 52, 40, 40), 4)),
      FImg_Lock(AddImage(QStringLiteral("Unlock"), QRect(InnerLeft + 56, 57, 30, 30), 9)),
      FImg_LockBlind(AddImage(QStringLiteral("LockBlind"), FImg_Power->geometry(), 0)) {
    FImg_LockBlind->hide();
    FImg_Power->setCursor(Qt::PointingHandCursor);
    FImg_Clock->setCursor(Qt::PointingHandCursor);
    FImg_Lock->setCursor(Qt::PointingHandCursor);

    // The power picture reports its click itself: only in touch mode is it a toggle.
    disconnect(FImg_Power, &TImage::clicked, this, nullptr);
    connect(FImg_Power, &TImage::clicked, this, [this] {
        if (FTouchMode)
            Report(FImg_Power, FImg_Power->Tag());
    });
    connect(FImg_Power, &TImage::pressed, this, &TNEV_IOTOutCtrl::PowerPressed);
    connect(FImg_Power, &TImage::left, this, &TNEV_IOTOutCtrl::PowerLeft);
    connect(FImg_Power, &TImage::released, this, &TNEV_IOTOutCtrl::PowerReleased);

    for (TCtrlImage* image : {FImg_Clock, FImg_Lock, FImg_LockBlind}) {
        connect(image, &TImage::pressed, this, [this] { FDown = true; });
        connect(image, &TImage::released, this, [this] { FDown = false; });
    }
    connect(FImg_Clock, &TImage::pressed, this,
            [this] { FImg_Clock->SetPicture(QStringLiteral("Clock_HL")); });
    connect(FImg_Clock, &TImage::released, this,
            [this] { FImg_Clock->SetPicture(QStringLiteral("Clock_N")); });
    connect(FImg_Clock, &TImage::left, this, [this] {
        FImg_Clock->SetPicture(QStringLiteral("Clock_N"));
        FDown = false;
    });
}

TNEV_IOTOutCtrl::~TNEV_IOTOutCtrl() {
    ReleaseHeld();
}

void TNEV_IOTOutCtrl::SetisOn(bool value) {
    if (value == FisON)
        return;
    FisON = value;
    FImg_Power->SetPicture(FisON ? QStringLiteral("Power_ON") : QStringLiteral("Power_OFF"));
}

void TNEV_IOTOutCtrl::SetisLock(bool value) {
    if (value == FisLock)
        return;
    FisLock = value;
    FImg_Lock->SetPicture(FisLock ? QStringLiteral("Lock") : QStringLiteral("Unlock"));
    FImg_LockBlind->setVisible(FisLock);
    if (FisLock)
        FImg_LockBlind->raise();
}

void TNEV_IOTOutCtrl::SetTouchMode(bool value) {
    if (value == FTouchMode)
        return;
    ReleaseHeld();
    FTouchMode = value;
}

void TNEV_IOTOutCtrl::ShowPower() {
    FImg_Power->SetPicture(FisON ? QStringLiteral("Power_ON") : QStringLiteral("Power_OFF"));
}

void TNEV_IOTOutCtrl::PowerPressed() {
    FDown = true;
    if (FTouchMode) {
        FImg_Power->SetPicture(QStringLiteral("Power_HL"));
    } else {
        FImg_Power->SetPicture(QStringLiteral("Power_ON"));
        RaiseJog(true);
    }
}

void TNEV_IOTOutCtrl::PowerLeft() {
    if (FTouchMode) {
        ShowPower();
        FDown = false;
        return;
    }
    FImg_Power->SetPicture(QStringLiteral("Power_OFF"));
    if (std::exchange(FDown, false))
        RaiseJog(false);
}

void TNEV_IOTOutCtrl::PowerReleased() {
    if (!FTouchMode && std::exchange(FDown, false)) {
        FImg_Power->SetPicture(QStringLiteral("Power_OFF"));
        RaiseJog(false);
    }
    FDown = false;
}

void TNEV_IOTOutCtrl::ReleaseHeld() {
    if (!FDown)
        return;
    FDown = false;
    if (FTouchMode) {
        ShowPower();
        return;
    }
    FImg_Power->SetPicture(QStringLiteral("Power_OFF"));
    RaiseJog(false);
}

void TNEV_IOTOutCtrl::RaiseJog(bool isOn) {
    if (OnOutJogMode)
        OnOutJogMode(Index(), isOn);
}

bool TNEV_IOTOutCtrl::event(QEvent* event) {
    // The window lost the focus (another window, a message box) while an output was held: the
    // release would go elsewhere, so it is taken as released now.
    if (event->type() == QEvent::WindowDeactivate)
        ReleaseHeld();
    return TNEV_IOTCtrlCell::event(event);
}

void TNEV_IOTOutCtrl::hideEvent(QHideEvent* event) {
    ReleaseHeld();
    TNEV_IOTCtrlCell::hideEvent(event);
}
