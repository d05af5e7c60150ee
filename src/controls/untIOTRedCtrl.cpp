#include "untIOTRedCtrl.h"

TNEV_IOTRedCtrl::TNEV_IOTRedCtrl(QWidget* parent)
    : TNEV_IOTCtrlCell(parent, TIOTYPE::IO_Red),
      FImg_IR(AddImage(QStringLiteral("IR_UN"), QRect(BackLeft + BackWidth - 92, 12, 80, 80), 10)),
      FImg_Edit(AddImage(QStringLiteral("Edit_N"), QRect(InnerLeft, 52, 40, 40), 11)) {
    FImg_IR->setCursor(Qt::PointingHandCursor);
    FImg_Edit->setCursor(Qt::PointingHandCursor);
    connect(FImg_IR, &TImage::pressed, this, [this] { FImg_IR->SetPicture(QStringLiteral("IR_HL")); });
    connect(FImg_IR, &TImage::released, this, &TNEV_IOTRedCtrl::ShowRest);
    connect(FImg_IR, &TImage::left, this, &TNEV_IOTRedCtrl::ShowRest);
    connect(FImg_Edit, &TImage::pressed, this, [this] { FImg_Edit->SetPicture(QStringLiteral("Edit_HL2")); });
    connect(FImg_Edit, &TImage::released, this, [this] { FImg_Edit->SetPicture(QStringLiteral("Edit_N")); });
    connect(FImg_Edit, &TImage::left, this, [this] { FImg_Edit->SetPicture(QStringLiteral("Edit_N")); });
}

void TNEV_IOTRedCtrl::SetisStudied(bool value) {
    if (value == FStudied)
        return;
    FStudied = value;
    ShowRest();
}

void TNEV_IOTRedCtrl::ShowRest() {
    FImg_IR->SetPicture(FStudied ? QStringLiteral("IR_N") : QStringLiteral("IR_UN"));
}
