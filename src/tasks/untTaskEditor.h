// The task editor: what a new timed task does (switch on, off or over), when it starts and on
// which week days it repeats. The week style choice and the seven day switches follow each
// other. Also the pure rules behind them: week styles <-> days, and the start time text.
#pragma once

#include "nevGPIOAPI.h"

#include <QDateTime>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

class QCalendarWidget;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class TImageButton;
class TImageSwitch;

// The week style choices in the order the editor lists them.
enum class TWeekStyle { Everyday = 0, Once = 1, Weekdays = 2, Weekends = 3, Custom = 4 };

// Days as a bit mask, bit 0 Sunday ... bit 6 Saturday, and back.
quint8 WeekMask(const TBools7& days);
TBools7 WeekDays(quint8 mask);
TWeekStyle WeekStyleOfDays(const TBools7& days);
// The days a style sets; none for Custom, which keeps the days as they are.
std::optional<TBools7> DaysOfWeekStyle(TWeekStyle style);

// The start time form of the editor ("yyyy-MM-dd hh:mm"), and its reading: none for a text that
// is not a date and time the board's clock can hold (1970 to 2105).
QString StartTimeText(const QDateTime& time);
std::optional<QDateTime> ReadStartTime(const QString& text);
// What a new task's start time is prefilled with: two minutes from `now`.
QDateTime DefaultStartTime(const QDateTime& now);

class TTaskEditor : public QWidget {
    Q_OBJECT

public:
    static constexpr int TagOK = 5;
    static constexpr int TagCancel = 6;
    static constexpr int EditorWidth = 400;
    static constexpr int EditorHeight = 330;

    explicit TTaskEditor(QWidget* parent = nullptr);

    // Fills the start time field with `now` + 120 s; the other choices stay as last used.
    void FillStartTime(const QDateTime& now);
    // The command bytes for the chosen action on output `outputNumber` (1-based).
    QByteArray Command(quint8 outputNumber) const;
    TBools7 Week() const;
    TWeekStyle WeekStyle() const;
    // Builds the task for output `ANowCtrlNum` (1-based); none when the start time is unreadable.
    std::optional<TTaskRcd> AddTask(quint8 ANowCtrlNum) const;

    QRadioButton* Ctrl(int n) const { return FCtrl[n - 1]; } // 1 on, 2 off, 3 reverse
    QLineEdit* DateTimeEdit() const { return FDateTime; }
    QCalendarWidget* Calendar() const { return FCalendar; }
    QComboBox* WeekStyleBox() const { return FWeekStyle; }
    TImageSwitch* WeekSwitch(int day) const { return FWeekSwitches[day]; }
    TImageButton* Yes() const { return FYes; }
    TImageButton* No() const { return FNo; }
    TImageButton* CloseIcon() const { return FClose; }

    // A button of the editor was clicked: TagOK, or TagCancel (also the close icon).
    std::function<void(int ATag)> OnButton;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void WeekStyleChange();
    void WeekSwitchClick();
    void OpenCalendar();
    void Relabel();

    std::array<QRadioButton*, 3> FCtrl{};
    QLineEdit* FDateTime;
    QCalendarWidget* FCalendar;
    QComboBox* FWeekStyle;
    std::array<TImageSwitch*, 7> FWeekSwitches{};
    TImageButton* FYes;
    TImageButton* FNo;
    TImageButton* FClose;
    QLabel* FTitle;
    QLabel* FLbl_Start;
    QLabel* FLbl_Week;
};
