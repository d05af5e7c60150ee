// A small menu of picture buttons that opens beside the control it belongs to and closes when the
// pointer presses anywhere outside it (or on Esc). It lives inside the window, under the lock.
#pragma once

#include "untImage.h"

class TAnchorMenu : public TRectangle {
    Q_OBJECT

public:
    enum class TSide { Left, Below };

    explicit TAnchorMenu(QWidget* parent);
    ~TAnchorMenu() override;

    // Opens beside `anchor` (any widget of the same window), kept inside the parent.
    void OpenAt(QWidget* anchor, TSide side);
    void Close();
    bool IsOpen() const { return isVisible(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool FFiltering = false;
};
