#include "untTaskList.h"

#include "untImage.h"
#include "untImgBtn.h"
#include "untLang.h"
#include "untPictureCache.h"
#include "untTextStyle.h"

#include <QEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

namespace {
const QColor ColorBar(19, 121, 185);
constexpr int TitleHeight = 44;
constexpr int BottomHeight = 60;

TImageButton* PushButton(QWidget* parent, const QString& name, int x, int y) {
    auto* button = new TImageButton(parent, {}, CachedBitmap(QStringLiteral("Button_N")),
                                    CachedBitmap(QStringLiteral("Button_HL")), x, y, 120, 40);
    button->setObjectName(name);
    button->setCursor(Qt::PointingHandCursor);
    button->Lbl_Text()->setFont(AppFont(16, true));
    button->Lbl_Text()->setStyleSheet(QStringLiteral("color: #0b4368;"));
    return button;
}
} // namespace

TTaskDialogs TTaskDialogs::Boxes(QWidget* parent) {
    TTaskDialogs dialogs;
    QPointer<QWidget> owner(parent);
    dialogs.Message = [owner](const QString& text) {
        auto* box = new QMessageBox(QMessageBox::Information, LangText(QStringLiteral("Quillet")), text,
                                    QMessageBox::Ok, owner ? owner->window() : nullptr);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    };
    dialogs.Confirm = [owner](const QString& text, std::function<void(bool)> answer) {
        auto* box = new QMessageBox(QMessageBox::Question, LangText(QStringLiteral("Quillet")), text,
                                    QMessageBox::Yes | QMessageBox::No, owner ? owner->window() : nullptr);
        box->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(box, &QMessageBox::finished, box, [answer = std::move(answer)](int result) {
            if (answer)
                answer(result == QMessageBox::Yes);
        });
        box->open();
    };
    return dialogs;
}

// --- task list -------------------------------------------------------------------------------

TNEV_IOTTaskList::TNEV_IOTTaskList(QWidget* parent) : QScrollArea(parent), FHost(new QWidget) {
    setObjectName(QStringLiteral("IOTTaskList"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setStyleSheet(QStringLiteral(
        "QScrollArea { background: transparent; }"
        "QScrollBar:vertical { width: 10px; background: transparent; margin: 4px 2px 4px 0; }"
        "QScrollBar::handle:vertical { background: rgba(11, 67, 104, 110); border-radius: 4px; min-height: "
        "32px; }"
        "QScrollBar::handle:vertical:hover { background: rgba(11, 67, 104, 170); }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
    viewport()->setAutoFillBackground(false);
    FHost->setAutoFillBackground(false);
    FHost->resize(TNEV_IOTTaskCell::CellWidth, 0);
    setWidget(FHost);
    Dialogs = TTaskDialogs::Boxes(this);
}

TNEV_IOTTaskCell* TNEV_IOTTaskList::TaskCell(int Index) const {
    return Index >= 0 && Index < FTaskList.size() ? FTaskList[Index] : nullptr;
}

void TNEV_IOTTaskList::Init() {
    for (TNEV_IOTTaskCell* cell : std::as_const(FTaskList)) {
        cell->hide();
        cell->deleteLater(); // may be the row whose click is being handled
    }
    FTaskList.clear();
    FHost->resize(TNEV_IOTTaskCell::CellWidth, 0);
}

void TNEV_IOTTaskList::AddCell(const TTaskRcd& ATask) {
    const int n = int(FTaskList.size());
    auto* cell = new TNEV_IOTTaskCell(FHost, ATask);
    cell->setObjectName(QStringLiteral("TaskCell%1").arg(n));
    cell->SetIndex(n);
    cell->move(0, CellTop(n));
    cell->OnClick = [this](TNEV_IOTTaskCell* Sender, int ATag) { TaskCellClick(Sender, ATag); };
    FTaskList.append(cell);
    FHost->resize(TNEV_IOTTaskCell::CellWidth, CellTop(n + 1));
    cell->show();
}

void TNEV_IOTTaskList::Delete(int AIndex) {
    TNEV_IOTTaskCell* cell = TaskCell(AIndex);
    if (!cell)
        return;
    FTaskList.removeAt(AIndex);
    cell->hide();
    cell->deleteLater();
    Relayout();
}

void TNEV_IOTTaskList::Relayout() {
    for (int i = 0; i < FTaskList.size(); ++i) {
        if (FTaskList[i]->y() != CellTop(i))
            FTaskList[i]->move(0, CellTop(i));
        FTaskList[i]->SetIndex(i);
    }
    FHost->resize(TNEV_IOTTaskCell::CellWidth, CellTop(int(FTaskList.size())));
}

void TNEV_IOTTaskList::TaskIDState(quint8 ATaskID, TTASKSTATE AState) {
    for (int i = 0; i < FTaskList.size(); ++i) {
        if (FTaskList[i]->TaskID() != ATaskID)
            continue;
        switch (AState) {
        case TTASKSTATE::TASK_STATE_ON:
            FTaskList[i]->SetisON(true);
            break;
        case TTASKSTATE::TASK_STATE_OFF:
            FTaskList[i]->SetisON(false);
            break;
        case TTASKSTATE::TASK_STATE_DEL:
            Delete(i);
            break;
        }
        return;
    }
}

void TNEV_IOTTaskList::Send(const QByteArray& payload) {
    if (OnSend)
        OnSend(payload);
}

void TNEV_IOTTaskList::TaskCellClick(TNEV_IOTTaskCell* Sender, int ATag) {
    if (!Sender || !FTaskList.contains(Sender))
        return;
    // Read what the command needs now: the row may be gone when a box is answered.
    const quint8 id = Sender->TaskID();
    if (ATag == TNEV_IOTTaskCell::TagState) {
        Send(TNEV_GPIOAPI::Task_Set_State(id, Sender->isON() ? TTASKSTATE::TASK_STATE_OFF
                                                             : TTASKSTATE::TASK_STATE_ON));
    } else if (ATag == TNEV_IOTTaskCell::TagDelete) {
        const QPointer<TNEV_IOTTaskCell> row(Sender);
        const QPointer<TNEV_IOTTaskList> self(this);
        auto answer = [self, row, id](bool yes) {
            // Nothing to delete when the list was emptied or the row went while the box was open.
            if (yes && self && row && self->FTaskList.contains(row.data()))
                self->Send(TNEV_GPIOAPI::Task_Set_State(id, TTASKSTATE::TASK_STATE_DEL));
        };
        if (Dialogs.Confirm)
            Dialogs.Confirm(LangText(QStringLiteral("Are you sure to remove?")), answer);
    }
}

// --- popup -----------------------------------------------------------------------------------

TTaskPopup::TTaskPopup(QWidget* parent)
    : QWidget(parent), FBack(new TRectangle(this)), FList(new TNEV_IOTTaskList(FBack)),
      FEditor(new TTaskEditor(this)), FYes(PushButton(this, QStringLiteral("img_PopTask_Yes"),
                                                      PopupWidth / 2 - 130, PopupHeight - BottomHeight + 10)),
      FNo(PushButton(this, QStringLiteral("img_PopTask_No"), PopupWidth / 2 + 10,
                     PopupHeight - BottomHeight + 10)),
      FClose(new TImageButton(this, CachedBitmap(QStringLiteral("Close_E")),
                              CachedBitmap(QStringLiteral("Close_N")),
                              CachedBitmap(QStringLiteral("Close_HL")), PopupWidth - 40, 6, 32, 32)),
      FTitle(new QLabel(this)), FClock([] { return QDateTime::currentDateTime(); }) {
    setObjectName(QStringLiteral("rctngl_Pop_Task"));
    setFixedSize(PopupWidth, PopupHeight);
    FBack->setObjectName(QStringLiteral("img_PopTask_Back"));
    FBack->SetFillBitmap(CachedBitmap(QStringLiteral("TaskList_BG")));
    FBack->setGeometry(0, TitleHeight, PopupWidth, PopupHeight - TitleHeight - BottomHeight);
    FList->setGeometry(12, 8, TNEV_IOTTaskCell::CellWidth + 16, FBack->height() - 16);
    FClose->setObjectName(QStringLiteral("img_PopTask_Close"));
    FClose->setCursor(Qt::PointingHandCursor);
    FTitle->setGeometry(0, 0, PopupWidth, TitleHeight);
    FTitle->setAlignment(Qt::AlignCenter);
    FTitle->setFont(AppFont(18, true));
    FTitle->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    FTitle->setAttribute(Qt::WA_TransparentForMouseEvents);
    FClose->raise();

    connect(FYes, &TImage::clicked, this, [this] { PopClick(TagAdd); });
    connect(FNo, &TImage::clicked, this, [this] { PopClick(TagClose); });
    connect(FClose, &TImage::clicked, this, [this] { PopClick(TagClose); });
    FEditor->OnButton = [this](int tag) { PopClick(tag); };
    FEditor->move((PopupWidth - TTaskEditor::EditorWidth) / 2, TitleHeight + 10);
    FEditor->hide();
    FList->OnSend = [this](const QByteArray& payload) { Send(payload); };
    SetDialogs(TTaskDialogs::Boxes(this));
    Relabel();
    hide();
}

void TTaskPopup::SetClock(TClock clock) {
    if (clock)
        FClock = std::move(clock);
}

void TTaskPopup::SetDialogs(const TTaskDialogs& dialogs) {
    FList->Dialogs = dialogs;
}

void TTaskPopup::Send(const QByteArray& payload) {
    if (OnSend)
        OnSend(payload);
}

void TTaskPopup::Open(int outIndex) {
    if (outIndex < 0 || outIndex > 254)
        return;
    FOutIndex = outIndex;
    FPending.reset();
    FEditor->hide();
    FList->Init();
    ++FListSent;
    Send(TNEV_GPIOAPI::Task_Get_List(quint8(outIndex + 1)));
    show();
    raise();
}

void TTaskPopup::Close() {
    FEditor->hide();
    hide();
    FList->Init();
    if (OnClosed)
        OnClosed();
}

void TTaskPopup::ForgetRequests() {
    FListAnswered = FListSent;
}

void TTaskPopup::TaskListReply(quint8 Count, const TTaskRcds& Tasks) {
    ++FListAnswered;
    // Replies come in the order asked: only the answer to the newest request fills the list, so
    // a late answer for an output opened before never lands in this one.
    if (FListAnswered < FListSent)
        return;
    FListAnswered = FListSent;
    if (!isVisible() || Count == 0 || Tasks.isEmpty())
        return;
    FList->Init();
    for (int i = 0; i < std::min<int>(Count, int(Tasks.size())); ++i)
        FList->AddCell(Tasks[i]);
}

void TTaskPopup::TaskAddReply(quint8 ID, const TTaskRcd& ATask) {
    if (ID == 0xFF) {
        if (FList->Dialogs.Message)
            FList->Dialogs.Message(LangText(QStringLiteral("Task list was full!")));
        return;
    }
    if (isVisible())
        FList->AddCell(ATask);
}

void TTaskPopup::TaskStateReply(quint8 N, TTASKSTATE State) {
    FList->TaskIDState(N, State);
}

void TTaskPopup::TaskSetTimeReply(bool isOk) {
    if (!FPending)
        return;
    const TTaskRcd task = *std::exchange(FPending, std::nullopt);
    if (!isOk) {
        if (FList->Dialogs.Message)
            FList->Dialogs.Message(
                LangText(QStringLiteral("Failed to set the time, please check your hardware!")));
        return;
    }
    Send(TNEV_GPIOAPI::Task_Set_Add(task));
}

void TTaskPopup::PopClick(int ATag) {
    switch (ATag) {
    case TagAdd:
        FEditor->FillStartTime(FClock());
        FEditor->show();
        FEditor->raise();
        break;
    case TagClose:
        Close();
        break;
    case TTaskEditor::TagOK: {
        if (FOutIndex < 0)
            return;
        // The time is checked before anything goes to the board; the task itself is sent once
        // the board has taken the clock.
        const auto task = FEditor->AddTask(quint8(FOutIndex + 1));
        if (!task) {
            if (FList->Dialogs.Message)
                FList->Dialogs.Message(LangText(QStringLiteral("Inpu time is not a valid data and time!")));
            return;
        }
        FPending = task;
        Send(TNEV_GPIOAPI::Task_Set_Time(FClock()));
        FEditor->hide();
        break;
    }
    case TTaskEditor::TagCancel:
        FEditor->hide();
        break;
    default:
        break;
    }
}

void TTaskPopup::Relabel() {
    FTitle->setText(LangText(QStringLiteral("Task list")));
    FYes->SetText(LangText(QStringLiteral("Add")));
    FNo->SetText(LangText(QStringLiteral("Close")));
}

void TTaskPopup::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        Relabel();
    QWidget::changeEvent(event);
}

void TTaskPopup::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath body;
    body.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    p.setClipPath(body);
    p.fillRect(rect(), Qt::white);
    p.fillRect(QRect(0, 0, width(), TitleHeight), ColorBar);
    p.fillRect(QRect(0, height() - BottomHeight, width(), BottomHeight), ColorBar);
    p.setClipping(false);
    p.setPen(QColor(0, 0, 0, 60));
    p.drawPath(body);
}
