// What the selected board's controller changes on the window: the control list, the device list,
// the task popup, the overlay and the message boxes.
#pragma once

#include "frmMain.h"
#include "untDevEvents.h"
#include "untIOTCtrlList.h"
#include "untIOTDevList.h"
#include "untTaskList.h"

#include <QCheckBox>

// What the selected board's controller changes on the screen.
class TMainDevSink : public TDevEventsSink {
public:
    explicit TMainDevSink(Tfrm_Main& AWindow) : W(AWindow) {}

    int Count(TIOTYPE AIOType) const override { return W.FCtrlList->Count(AIOType); }
    void Add(int AOut, int AIn, int APWM, int AREG, int ARed) override {
        W.FCtrlList->Add(AOut, AIn, APWM, AREG, ARed);
    }
    void AddRed(quint8 N) override { W.FCtrlList->AddRed(N); }
    void RemoveRed(quint8 N) override { W.FCtrlList->RemoveRed(N); }
    TDevParam DevParam() const override { return W.FCtrlList->GetDevParam(); }
    void SetDevParam(const TDevParam& AParam) override {
        W.FCtrlList->SetDevParam(AParam);
        W.ShowTouchMode(AParam.TouchMode);
    }
    void SetAppeared(bool AValue) override {
        if (!AValue || W.FNowMainPage == TAB_DEVICE)
            W.FCtrlList->SetAppeared(AValue);
    }
    void OutAll(bool AisON) override { W.FCtrlList->OutAll(AisON); }
    void SetOutState(int Index, bool isOn) override {
        if (auto* cell = W.FCtrlList->OutItems(Index))
            cell->SetisOn(isOn);
    }
    void SetInState(int Index, bool isOn) override {
        if (auto* cell = W.FCtrlList->InItems(Index))
            cell->SetisON(isOn);
    }
    void SetPWMDuty(int Index, quint8 ADuty) override {
        if (auto* cell = W.FCtrlList->PWMItems(Index))
            cell->SetDuty(ADuty);
    }
    void SetPWMHZ(int Index, quint16 AHZ) override {
        if (auto* cell = W.FCtrlList->PWMItems(Index))
            cell->SetPinLv(AHZ);
    }
    void SetREGValue(int Index, float AValue) override {
        if (auto* cell = W.FCtrlList->REGItems(Index))
            cell->SetREG(AValue);
    }
    void SetName(TIOTYPE AIOType, int Index, const TIOName& AName) override {
        if (TNEV_IOTCtrlCell* cell = W.Cell(AIOType, Index))
            cell->SetIOName(AName);
    }
    void SetStudied(int Index, bool AValue) override {
        if (auto* cell = W.FCtrlList->RedItems(Index))
            cell->SetisStudied(AValue);
    }
    void SetListAnimated(bool AValue) override {
        if (!AValue || W.FNowMainPage == TAB_DEVICE)
            W.FDevList->setAnimated(AValue);
    }
    void SaveDevices() override { W.SaveDevList(); }
    void TaskListReply(quint8 Count, const TTaskRcds& Tasks) override {
        W.FTaskPopup->TaskListReply(Count, Tasks);
    }
    void TaskAddReply(quint8 ID, const TTaskRcd& ATask) override { W.FTaskPopup->TaskAddReply(ID, ATask); }
    void TaskStateReply(quint8 N, TTASKSTATE AState) override { W.FTaskPopup->TaskStateReply(N, AState); }
    void TaskSetTimeReply(bool isOk) override { W.FTaskPopup->TaskSetTimeReply(isOk); }
    void ShowSearching(const QString& ALine1, const QString& ALine2) override {
        W.ShowSearching(true, ALine1, ALine2);
    }
    void HideSearching() override { W.ShowSearching(false); }
    void ShowMessage(const QString& AText) override { W.Msg(AText); }
    bool AutoSaveIO() const override {
        const auto* box = W.findChild<QCheckBox*>(QStringLiteral("chk_Pop_DevInfo_IO_Save"));
        return box && box->isChecked();
    }

private:
    Tfrm_Main& W;
};
