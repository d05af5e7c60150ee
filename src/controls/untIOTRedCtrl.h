// The cell of one infrared code slot: its button sends a learned code (or asks for learning) and
// its edit icon opens the slot's menu.
#pragma once

#include "untIOTCtrlCell.h"

class TNEV_IOTRedCtrl : public TNEV_IOTCtrlCell {
    Q_OBJECT

public:
    explicit TNEV_IOTRedCtrl(QWidget* parent = nullptr);

    int RedIndex() const { return Index(); }
    bool isStudied() const { return FStudied; }
    void SetisStudied(bool value);

    TCtrlImage* Img_IR() const { return FImg_IR; }
    TCtrlImage* Img_Edit() const { return FImg_Edit; }

    TCtrlClickEvent& OnRedClick = OnClick;

private:
    void ShowRest();

    bool FStudied = false;
    TCtrlImage* FImg_IR;
    TCtrlImage* FImg_Edit;
};
