// TUnderLineLbl: a caption that acts as a link. Under the pointer it turns sky blue, bold and
// underlined; otherwise it is black and bold. It reports a click like a picture control.
#pragma once

#include <QLabel>

class TUnderLineLbl : public QLabel {
    Q_OBJECT
    Q_PROPERTY(int Tag READ Tag WRITE SetTag)

public:
    static constexpr QRgb HoverColor = 0xFF87CEEB;
    static constexpr QRgb RestColor = 0xFF000000;

    explicit TUnderLineLbl(QWidget* AOwner);

    int Tag() const { return FTag; }
    void SetTag(int tag) { FTag = tag; }
    bool isHot() const { return FHot; }

signals:
    void clicked();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void ShowHot(bool hot);

    int FTag = 0;
    bool FHot = false;
    bool FDown = false;
};
