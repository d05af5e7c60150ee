// TImageButton: a picture button with an optional caption. It shows its normal picture, the
// pressed picture while the mouse button is held on it, and (when it has one) the enter picture
// while the pointer is over it. The pictures are shared with the caller.
#pragma once

#include "untImage.h"

class QLabel;

class TImageButton : public TImage {
    Q_OBJECT

public:
    TImageButton(QWidget* AOwner, const TBitmap& ABit_E, const TBitmap& ABit_N, const TBitmap& ABit_HL,
                 int ALeft, int ATop, int AWidth, int AHeight);

    QLabel* Lbl_Text() const { return FLbl_Text; }
    QString Text() const;
    void SetText(const QString& text);

    const TBitmap& Bit_E() const { return FBit_E; }
    const TBitmap& Bit_N() const { return FBit_N; }
    const TBitmap& Bit_HL() const { return FBit_HL; }
    // Replaces the pictures; the one for the current pointer state is shown at once.
    void SetBitmaps(const TBitmap& ABit_E, const TBitmap& ABit_N, const TBitmap& ABit_HL);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void PointerPressed() override;
    void PointerReleased() override;
    void PointerEntered() override;
    void PointerLeft() override;

private:
    void ShowRest();

    TBitmap FBit_E;
    TBitmap FBit_N;
    TBitmap FBit_HL;
    QLabel* FLbl_Text;
};
