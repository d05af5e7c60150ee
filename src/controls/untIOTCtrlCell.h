// The parts every channel cell of the control panel shares: a picture control that draws a named
// picture from the process-wide cache, and the cell base with its background, channel picture,
// name label, position in its group and click report.
#pragma once

#include "nevGPIOAPI.h"
#include "untImage.h"

#include <QString>
#include <QWidget>

#include <functional>

class TUnderLineLbl;

// A cell's click: the element clicked (Sender), the cell's position in its group, the element's
// tag and the cell's channel kind.
using TCtrlClickEvent = std::function<void(QObject* Sender, int Index, int Tag, TIOTYPE AIOType)>;

// A pointer-aware picture that shows a named picture, rendered once per name, size and pixel
// ratio for the whole process; the shown name is readable for tests and diagnostics.
class TCtrlImage : public TImage {
    Q_OBJECT

public:
    TCtrlImage(QWidget* parent, const QString& picture, const QRect& geometry, int tag);

    QString PictureName() const { return FPicture; }
    void SetPicture(const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString FPicture;
};

// One row of the control list. Subclasses add the state elements of their channel kind.
class TNEV_IOTCtrlCell : public QWidget {
    Q_OBJECT

public:
    static constexpr int BackLeft = 12;
    static constexpr int BackWidth = 330;
    static constexpr int RowHeight = 104;
    static constexpr int ChannelPictureCount = 12;

    TNEV_IOTCtrlCell(QWidget* parent, TIOTYPE type);

    TIOTYPE IOType() const { return FIOType; }
    // Position within its group, from 0; the board numbers the same channel Index + 1.
    int Index() const { return FIndex; }
    void SetIndex(int index) { FIndex = index; }

    const TIOName& IOName() const { return FIOName; }
    // Shows the record's name ("No name" when empty) and channel picture CtrlType (the first one
    // for numbers past the last).
    void SetIOName(const TIOName& name);
    QString CtrlName() const;

    TCtrlImage* Img_Back() const { return FImg_Back; }
    TCtrlImage* Img_Img() const { return FImg_Img; }
    TUnderLineLbl* Lbl_Name() const { return FLbl_Name; }

    static QString ChannelPicture(int ctrlType);

    // Raised for every click on a clickable element.
    TCtrlClickEvent OnClick;

protected:
    void changeEvent(QEvent* event) override;
    // Adds an element that reports its clicks with `tag`.
    TCtrlImage* AddImage(const QString& picture, const QRect& geometry, int tag);
    // Adds an element that lets the pointer through to the background.
    TCtrlImage* AddPlainImage(const QString& picture, const QRect& geometry);
    void Report(QObject* Sender, int Tag);
    // Left edge of the area right of the channel picture, in row coordinates.
    static constexpr int InnerLeft = BackLeft + 100;

private:
    void ShowName();

    TIOTYPE FIOType;
    int FIndex = 0;
    TIOName FIOName;
    QString FShownName;
    TCtrlImage* FImg_Back;
    TCtrlImage* FImg_Img;
    TUnderLineLbl* FLbl_Name;
};
