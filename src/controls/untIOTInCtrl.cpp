#include "untIOTInCtrl.h"

TNEV_IOTInCtrl::TNEV_IOTInCtrl(QWidget* parent)
    : TNEV_IOTCtrlCell(parent, TIOTYPE::IO_IN),
      FImg_Signal(AddPlainImage(QStringLiteral("Signal_OFF"), QRect(BackLeft + BackWidth - 92, 12, 80, 80))) {
}

void TNEV_IOTInCtrl::SetisON(bool value) {
    if (value == FisON)
        return;
    FisON = value;
    FImg_Signal->SetPicture(FisON ? QStringLiteral("Signal_ON") : QStringLiteral("Signal_OFF"));
}
