// TNEV_IOTCtrlList: the control panel of the selected board. It slides in from the window's right
// edge and lists one cell per channel under headings (outputs, inputs, PWM, registers, infrared).
// It holds the board's output locks and touch mode (the one copy the window reads back), keeps
// the channel clicked last, and turns every click into OnIOTCtrlClick and every jog-mode press
// and release into OnIOTJogMode. It never talks to the board.
#pragma once

#include "untIOTCtrlCell.h"
#include "untIOTInCtrl.h"
#include "untIOTOutCtrl.h"
#include "untIOTPWMCtrl.h"
#include "untIOTREGCtrl.h"
#include "untIOTRedCtrl.h"
#include "untPublic.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <vector>

class QLabel;
class QPropertyAnimation;
class QScrollArea;
class QVBoxLayout;
class TRectangle;

struct TNowCtrl {
    quint16 TypeIndex = 0; // position within its kind; 65535 for the panel's own title icons
    TIOTYPE IOType = TIOTYPE::IO_NIL;
};

class TNEV_IOTCtrlList : public QWidget {
    Q_OBJECT

public:
    using TIOTJogModeEvent = std::function<void(int Index, bool isOn)>;

    static constexpr int PanelWidth = 360;
    static constexpr int TitleHeight = 52;
    static constexpr int HeadingHeight = 30;
    static constexpr int DefaultSlideMs = 300;
    static constexpr int TagLight = 5;
    static constexpr int TagEdit = 6;
    static constexpr int TagLock = 9;

    explicit TNEV_IOTCtrlList(QWidget* AOwner);
    ~TNEV_IOTCtrlList() override;

    // Rebuilds the rows for these channel counts (negative counts are taken as 0). With the same
    // counts as shown the cells are kept and reset instead of built again.
    void Add(int AOut, int AIn, int APWM, int AREG, int ARed);
    // Adds infrared channel N (1-based) as the board assigned it; 0 and a channel already shown
    // change nothing.
    void AddRed(quint8 N);
    // Removes infrared channel N (1-based); the rest are numbered again from 0.
    void RemoveRed(quint8 N);

    // The cell at a position of its kind, nullptr for a position outside the kind.
    TNEV_IOTOutCtrl* OutItems(int Index) const;
    TNEV_IOTInCtrl* InItems(int Index) const;
    TNEV_IOTPWMCtrl* PWMItems(int Index) const;
    TNEV_IOTREGCtrl* REGItems(int Index) const;
    // The infrared cell whose channel index is Index.
    TNEV_IOTRedCtrl* RedItems(int Index) const;

    int OutCount() const { return int(FOut.size()); }
    int InCount() const { return int(FIn.size()); }
    int PWMCount() const { return int(FPWM.size()); }
    int REGCount() const { return int(FREG.size()); }
    int RedCount() const { return int(FRed.size()); }
    // The same by kind: nullptr and 0 for IO_NIL.
    TNEV_IOTCtrlCell* Items(TIOTYPE AIOType, int Index) const;
    int Count(TIOTYPE AIOType) const;

    // Rows in order: headings and cells.
    int RowCount() const { return int(FRows.size()); }
    QWidget* Row(int row) const;
    int RowOf(const QWidget* widget) const { return int(FRows.indexOf(const_cast<QWidget*>(widget))); }

    // The device's locks and touch mode. The locks are the ones the cells show; locks of outputs
    // beyond the ones shown are kept, so an IO change 8 -> 4 -> 8 keeps outputs 5-8 locked.
    // Covers at least every output shown.
    TDevParam GetDevParam() const;
    // Holds the record, shows its locks and its mode; jog mode shows every output off.
    void SetDevParam(const TDevParam& param);
    bool TouchMode() const { return FDevParam.TouchMode; }

    // Shows every output on or off; sends nothing.
    void OutAll(bool AisON);

    bool Appeared() const { return FAppeared; }
    // Slides the panel in (true) or out (false) over the slide duration.
    void SetAppeared(bool value);
    // The same; `done` runs when the panel is at its place (at once when it already is).
    void SetAppearedWait(bool value, std::function<void()> done);
    // Puts the panel at its place for the owner's width without animation.
    void CtrlListResize();
    void SetSlideDuration(int ms) { FSlideMs = std::max(0, ms); }
    int SlideDuration() const { return FSlideMs; }
    bool isSliding() const;

    TNowCtrl NowCtrl;

    TCtrlImage* Img_Light() const { return FImg_Light; }
    TCtrlImage* Img_Edit() const { return FImg_Edit; }
    QLabel* Lbl_Name() const { return FLbl_Name; }
    QScrollArea* Lstbx() const { return FLstbx; }

    // Every cell's click and the title icons' (Index -1, IO_NIL) come through here.
    void ForwardCellClick(QObject* Sender, int Index, int Tag, TIOTYPE AIOType);
    void ForwardJogMode(int Index, bool isOn);

    TCtrlClickEvent OnIOTCtrlClick;
    TIOTJogModeEvent OnIOTJogMode;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Clear();
    void ResetCells();
    QLabel* AppendHeading(const QString& english);
    void AppendRow(QWidget* row);
    void RemoveRow(QWidget* row);
    void Connect(TNEV_IOTCtrlCell* cell);
    TNEV_IOTRedCtrl* NewRed(int redIndex, bool studied);
    void ApplyLocks();
    void ApplyMode();
    void Relabel();
    int HiddenX() const;
    int ShownX() const;
    void SlideTo(bool shown, std::function<void()> done);

    TDevParam FDevParam;
    bool FAppeared = false;
    int FSlideMs = DefaultSlideMs;
    TRectangle* Frctngl_Title;
    TCtrlImage* FImg_Light;
    TCtrlImage* FImg_Edit;
    QLabel* FLbl_Name;
    QScrollArea* FLstbx;
    QWidget* FRowHost;
    QVBoxLayout* FRowLayout;
    QPropertyAnimation* FSlide;
    std::vector<std::function<void()>> FSlideDone;
    QList<QWidget*> FRows;
    QLabel* FRedHeading = nullptr;
    QList<TNEV_IOTOutCtrl*> FOut;
    QList<TNEV_IOTInCtrl*> FIn;
    QList<TNEV_IOTPWMCtrl*> FPWM;
    QList<TNEV_IOTREGCtrl*> FREG;
    QList<TNEV_IOTRedCtrl*> FRed; // in row order, which is channel order
};
