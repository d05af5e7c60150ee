// The cell of one register: an analogue value shown with one decimal.
#pragma once

#include "untIOTCtrlCell.h"

class QLabel;

class TNEV_IOTREGCtrl : public TNEV_IOTCtrlCell {
    Q_OBJECT

public:
    explicit TNEV_IOTREGCtrl(QWidget* parent = nullptr);

    int REGIndex() const { return Index(); }
    // The value as the label shows it, read back; NaN when it shows no number.
    double REG() const;
    void SetREG(float value);
    QString REGText() const;

    // One decimal with the user's decimal separator and no grouping; "--" for a value that is not
    // a number, so that a faulty reading never shows as a plausible one.
    static QString FormatREG(float value);

    TCtrlImage* Img_Value() const { return FImg_Value; }

    TCtrlClickEvent& OnREGEvent = OnClick;

private:
    TCtrlImage* FImg_Value;
    QLabel* FLbl_Value;
};
