#include "untImgBtn.h"

#include "untFonts.h"

#include <QLabel>

TImageButton::TImageButton(QWidget* AOwner, const TBitmap& ABit_E, const TBitmap& ABit_N,
                           const TBitmap& ABit_HL, int ALeft, int ATop, int AWidth, int AHeight)
    : TImage(AOwner), FBit_E(ABit_E), FBit_N(ABit_N), FBit_HL(ABit_HL), FLbl_Text(new QLabel(this)) {
    SetBitmap(FBit_N);
    setGeometry(ALeft, ATop, AWidth, AHeight);
    QFont font = FLbl_Text->font();
    font.setFamily(AppFontFamily);
    FLbl_Text->setFont(font);
    FLbl_Text->setAlignment(Qt::AlignCenter);
    FLbl_Text->setWordWrap(false);
    // The caption is part of the picture: the pointer acts on the button beneath it.
    FLbl_Text->setAttribute(Qt::WA_TransparentForMouseEvents);
    FLbl_Text->setGeometry(5, 0, std::max(0, AWidth - 10), AHeight);
}

QString TImageButton::Text() const {
    return FLbl_Text->text();
}

void TImageButton::SetText(const QString& text) {
    FLbl_Text->setText(text);
}

void TImageButton::SetBitmaps(const TBitmap& ABit_E, const TBitmap& ABit_N, const TBitmap& ABit_HL) {
    FBit_E = ABit_E;
    FBit_N = ABit_N;
    FBit_HL = ABit_HL;
    if (isDown())
        SetBitmap(FBit_HL);
    else
        ShowRest();
}

void TImageButton::resizeEvent(QResizeEvent* event) {
    TImage::resizeEvent(event);
    FLbl_Text->setGeometry(5, 0, std::max(0, width() - 10), height());
}

void TImageButton::PointerPressed() {
    SetBitmap(FBit_HL);
}

void TImageButton::PointerReleased() {
    ShowRest();
}

void TImageButton::PointerEntered() {
    if (!isDown() && !FBit_E.isNull())
        SetBitmap(FBit_E);
}

void TImageButton::PointerLeft() {
    SetBitmap(FBit_N);
}

// Not pressed: the enter picture while the pointer is over the button (buttons that have one),
// the normal picture otherwise.
void TImageButton::ShowRest() {
    if (isPointerInside() && !FBit_E.isNull())
        SetBitmap(FBit_E);
    else
        SetBitmap(FBit_N);
}
