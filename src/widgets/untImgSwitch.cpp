#include "untImgSwitch.h"

#include "untFonts.h"

#include <QLabel>

TImageSwitch::TImageSwitch(QWidget* AOwner, const TBitmap& ABit_ON, const TBitmap& ABit_HL,
                           const TBitmap& ABit_OFF, int ALeft, int ATop, int AWidth, int AHeight)
    : TImage(AOwner), FBit_ON(ABit_ON), FBit_HL(ABit_HL), FBit_OFF(ABit_OFF), FLbl_Text(new QLabel(this)) {
    SetBitmap(FBit_OFF);
    setGeometry(ALeft, ATop, AWidth, AHeight);
    setCursor(Qt::PointingHandCursor);
    QFont font = FLbl_Text->font();
    font.setFamily(AppFontFamily);
    font.setBold(true);
    FLbl_Text->setFont(font);
    FLbl_Text->setAlignment(Qt::AlignCenter);
    FLbl_Text->setWordWrap(false);
    FLbl_Text->setAttribute(Qt::WA_TransparentForMouseEvents);
    FLbl_Text->setGeometry(0, 0, AWidth, AHeight);
}

void TImageSwitch::SetisON(bool value) {
    FisON = value;
    const TBitmap& picture = value ? FBit_ON : FBit_OFF;
    if (picture.isNull())
        return;
    SetBitmap(picture);
    QPalette pal = FLbl_Text->palette();
    pal.setColor(QPalette::WindowText, value ? QColor(Qt::white) : QColor(Qt::black));
    FLbl_Text->setPalette(pal);
}

void TImageSwitch::SetisCanClick(bool value) {
    if (value == FisCanClick)
        return;
    FisCanClick = value;
    if (value)
        setCursor(Qt::PointingHandCursor);
    else
        setCursor(Qt::ArrowCursor);
}

QString TImageSwitch::Text() const {
    return FLbl_Text->text();
}

void TImageSwitch::SetText(const QString& text) {
    FLbl_Text->setText(text);
}

void TImageSwitch::resizeEvent(QResizeEvent* event) {
    TImage::resizeEvent(event);
    FLbl_Text->setGeometry(rect());
}

void TImageSwitch::PointerPressed() {
    if (FisCanClick && !FBit_HL.isNull())
        SetBitmap(FBit_HL);
}

void TImageSwitch::PointerLeft() {
    if (!FisCanClick)
        return;
    const TBitmap& picture = FisON ? FBit_ON : FBit_OFF;
    if (!picture.isNull())
        SetBitmap(picture);
}

void TImageSwitch::PointerClicked() {
    if (!FisCanClick)
        return;
    SetisON(FisClickChange ? !FisON : FisON);
    if (OnSwhClick)
        OnSwhClick(this);
}
