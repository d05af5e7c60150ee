// TNEV_IOTTaskList: the timed tasks of one output of the board, one row each, stacked from the
// top in a scrolling area. It changes only on the board's replies; clicks on a row become
// commands handed to OnSend. TTaskPopup is the task list popup around it with the editor: the
// window opens it for an output, forwards the board's task replies and sends what OnSend gives.
#pragma once

#include "untTaskCell.h"
#include "untTaskEditor.h"

#include <QList>
#include <QScrollArea>

#include <functional>
#include <optional>

class QLabel;
class TImageButton;
class TRectangle;

// Messages of the task popups, answered without a nested event loop; tests answer them directly.
struct TTaskDialogs {
    std::function<void(const QString& text)> Message;
    // `answer` runs later with the user's choice (Yes = true).
    std::function<void(const QString& text, std::function<void(bool yes)> answer)> Confirm;
    // Non-blocking message boxes over `parent`.
    static TTaskDialogs Boxes(QWidget* parent);
};

class TNEV_IOTTaskList : public QScrollArea {
    Q_OBJECT

public:
    using TSendEvent = std::function<void(const QByteArray& payload)>;

    explicit TNEV_IOTTaskList(QWidget* parent = nullptr);

    // Deletes every row.
    void Init();
    void AddCell(const TTaskRcd& ATask);
    // Removes the row at AIndex, when there is one, and moves the rows below it up.
    void Delete(int AIndex);
    // Applies a state reply to the first row with that id; nothing when none has it.
    void TaskIDState(quint8 ATaskID, TTASKSTATE AState);
    // The row at a position, nullptr outside the rows.
    TNEV_IOTTaskCell* TaskCell(int Index) const;
    int Count() const { return int(FTaskList.size()); }
    static int CellTop(int index) { return index * TNEV_IOTTaskCell::CellHeight; }

    TSendEvent OnSend;
    TTaskDialogs Dialogs;

private:
    void TaskCellClick(TNEV_IOTTaskCell* Sender, int ATag);
    void Relayout();
    void Send(const QByteArray& payload);

    QWidget* FHost;
    QList<TNEV_IOTTaskCell*> FTaskList;
};

class TTaskPopup : public QWidget {
    Q_OBJECT

public:
    using TClock = std::function<QDateTime()>;
    static constexpr int TagAdd = 3;
    static constexpr int TagClose = 4;
    static constexpr int PopupWidth = 440;
    static constexpr int PopupHeight = 448;

    explicit TTaskPopup(QWidget* parent = nullptr);

    // Shows the tasks of output `outIndex` (from 0): empties the list, asks the board for them and
    // shows the popup. The output is kept for the tasks added from this opening.
    void Open(int outIndex);
    // Hides the popup (and the editor) and empties the list.
    void Close();
    int OutIndex() const { return FOutIndex; }
    bool isOpen() const { return isVisible(); }

    // The board's replies, forwarded by the window.
    void TaskListReply(quint8 Count, const TTaskRcds& Tasks);
    void TaskAddReply(quint8 ID, const TTaskRcd& ATask);
    void TaskStateReply(quint8 N, TTASKSTATE State);
    // Only for a reply that answers the time command sent last.
    void TaskSetTimeReply(bool isOk);
    // Forgets unanswered list requests (another board was chosen or the link dropped).
    void ForgetRequests();

    // Popup buttons by tag: TagAdd, TagClose, TTaskEditor::TagOK, TTaskEditor::TagCancel.
    void PopClick(int ATag);

    // The task waiting for the board to confirm its clock, if any.
    std::optional<TTaskRcd> PendingTask() const { return FPending; }

    TNEV_IOTTaskList* TaskList() const { return FList; }
    TTaskEditor* Editor() const { return FEditor; }
    TImageButton* AddButton() const { return FYes; }
    TImageButton* CloseButton() const { return FNo; }
    TImageButton* CloseIcon() const { return FClose; }

    void SetClock(TClock clock);
    void SetDialogs(const TTaskDialogs& dialogs);
    // Commands for the board: the window sends them to the selected device.
    TNEV_IOTTaskList::TSendEvent OnSend;
    // The popup closed itself (its close buttons or Close()).
    std::function<void()> OnClosed;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Relabel();
    void Send(const QByteArray& payload);

    TRectangle* FBack;
    TNEV_IOTTaskList* FList;
    TTaskEditor* FEditor;
    TImageButton* FYes;
    TImageButton* FNo;
    TImageButton* FClose;
    QLabel* FTitle;
    TClock FClock;
    int FOutIndex = -1;
    int FListSent = 0;
    int FListAnswered = 0;
    std::optional<TTaskRcd> FPending;
};
