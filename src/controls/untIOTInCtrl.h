// The cell of one digital input: its signal picture shows the reported state.
#pragma once

#include "untIOTCtrlCell.h"

class TNEV_IOTInCtrl : public TNEV_IOTCtrlCell {
    Q_OBJECT

public:
    explicit TNEV_IOTInCtrl(QWidget* parent = nullptr);

    int InIndex() const { return Index(); }
    bool isON() const { return FisON; }
    void SetisON(bool value);
    TCtrlImage* Img_Signal() const { return FImg_Signal; }

    TCtrlClickEvent& OnInClick = OnClick;

private:
    bool FisON = false;
    TCtrlImage* FImg_Signal;
};
