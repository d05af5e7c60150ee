// TImageSwitch: a two-state picture switch with a caption. A click flips the state (unless
// isClickChange is off) and reports OnSwhClick; with isCanClick off it ignores the pointer and
// shows the default cursor. The pictures are shared with the caller.
#pragma once

#include "untImage.h"

#include <functional>

class QLabel;

class TImageSwitch : public TImage {
    Q_OBJECT

public:
    using TSwhClickEvent = std::function<void(TImageSwitch* Sender)>;

    TImageSwitch(QWidget* AOwner, const TBitmap& ABit_ON, const TBitmap& ABit_HL, const TBitmap& ABit_OFF,
                 int ALeft, int ATop, int AWidth, int AHeight);

    bool isON() const { return FisON; }
    // Stores the state; when there is a picture for it, shows it and colours the caption white
    // (on) or black (off).
    void SetisON(bool value);

    bool isClickChange() const { return FisClickChange; }
    void SetisClickChange(bool value) { FisClickChange = value; }

    bool isCanClick() const { return FisCanClick; }
    void SetisCanClick(bool value);

    QLabel* Lbl_Text() const { return FLbl_Text; }
    QString Text() const;
    void SetText(const QString& text);

    const TBitmap& Bit_ON() const { return FBit_ON; }
    const TBitmap& Bit_HL() const { return FBit_HL; }
    const TBitmap& Bit_OFF() const { return FBit_OFF; }

    // Raised after a click changed or kept the state.
    TSwhClickEvent OnSwhClick;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool AcceptsPointer() const override { return FisCanClick; }
    void PointerPressed() override;
    void PointerLeft() override;
    void PointerClicked() override;

private:
    bool FisON = false;
    bool FisClickChange = true;
    bool FisCanClick = true;
    TBitmap FBit_ON;
    TBitmap FBit_HL;
    TBitmap FBit_OFF;
    QLabel* FLbl_Text;
};
