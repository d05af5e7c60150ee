// TNEV_IOTTaskCell: one timed task of a board as a row of the task list: its state switch, start
// time, command, week days and delete button. The row changes only when the board answers.
#pragma once

#include "nevGPIOAPI.h"

#include <QDateTime>
#include <QWidget>

#include <array>
#include <functional>

class QLabel;
class TImageButton;
class TImageSwitch;

class TNEV_IOTTaskCell : public QWidget {
    Q_OBJECT

public:
    using TTaskCellClickEvent = std::function<void(TNEV_IOTTaskCell* Sender, int ATag)>;
    static constexpr int CellWidth = 400;
    static constexpr int CellHeight = 80;
    static constexpr int TagState = 1;
    static constexpr int TagDelete = 3;

    TNEV_IOTTaskCell(QWidget* parent, const TTaskRcd& task);

    quint8 TaskID() const { return FTaskID; }
    int Index() const { return FIndex; }
    void SetIndex(int index) { FIndex = index; }

    bool isON() const;
    void SetisON(bool value);
    QDateTime DateTime() const { return FDateTime; }
    TBools7 Week() const { return FWeek; }
    QByteArray CMD() const { return FCMD; }
    QString DatetimeText() const;
    QString CMDText() const;

    TImageSwitch* ImgSwh_State() const { return FImgSwh_State; }
    TImageButton* ImgBtn_DeL() const { return FImgBtn_DeL; }
    TImageSwitch* DayMark(int day) const { return FImgSwhArr[day]; }

    // "Turn OFF", "Turn ON", "Turn Reverse" for the command codes 1, 2, 3; empty otherwise.
    static QString CommandName(const QByteArray& cmd);

    TTaskCellClickEvent OnClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Relabel();

    quint8 FTaskID;
    int FIndex = 0;
    QDateTime FDateTime;
    TBools7 FWeek;
    QByteArray FCMD;
    TImageSwitch* FImgSwh_State;
    QLabel* FLbl_Datetime;
    QLabel* FLbl_CMD;
    std::array<TImageSwitch*, 7> FImgSwhArr{};
    TImageButton* FImgBtn_DeL;
};
