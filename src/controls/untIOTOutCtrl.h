// The cell of one relay output: power picture (toggle in touch mode, push button in jog mode),
// task clock, lock mark and the veil that keeps a locked output from being switched.
#pragma once

#include "untIOTCtrlCell.h"

class TNEV_IOTOutCtrl : public TNEV_IOTCtrlCell {
    Q_OBJECT

public:
    using TOutJogModeEvent = std::function<void(int Index, bool isOn)>;

    explicit TNEV_IOTOutCtrl(QWidget* parent = nullptr);
    ~TNEV_IOTOutCtrl() override;

    int OutIndex() const { return Index(); }

    bool isOn() const { return FisON; }
    void SetisOn(bool value);
    bool isLock() const { return FisLock; }
    void SetisLock(bool value);
    bool TouchMode() const { return FTouchMode; }
    void SetTouchMode(bool value);
    // A mouse button is held on one of the cell's pictures.
    bool isDown() const { return FDown; }

    // Ends a hold as a release would: in jog mode the output is reported off. Called when the cell
    // goes away, is hidden or its window loses focus, so that no relay stays on unattended.
    void ReleaseHeld();

    TCtrlImage* Img_Power() const { return FImg_Power; }
    TCtrlImage* Img_Clock() const { return FImg_Clock; }
    TCtrlImage* Img_Lock() const { return FImg_Lock; }
    TCtrlImage* Img_LockBlind() const { return FImg_LockBlind; }

    TCtrlClickEvent& OnOutClick = OnClick;
    TOutJogModeEvent OnOutJogMode;

protected:
    bool event(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void PowerPressed();
    void PowerLeft();
    void PowerReleased();
    void ShowPower();
    void RaiseJog(bool isOn);

    bool FisON = false;
    bool FisLock = false;
    bool FTouchMode = true;
    bool FDown = false;
    TCtrlImage* FImg_Power;
    TCtrlImage* FImg_Clock;
    TCtrlImage* FImg_Lock;
    TCtrlImage* FImg_LockBlind;
};
