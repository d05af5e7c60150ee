#include "untTaskCell.h"

#include "untImgBtn.h"
#include "untImgSwitch.h"
#include "untLang.h"
#include "untPictureCache.h"
#include "untTextStyle.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>

namespace {
const char* const DayNames[7] = {" SU", " MO", " TU", " WE", " TH", " FR", " SA"};

} // namespace

TNEV_IOTTaskCell::TNEV_IOTTaskCell(QWidget* parent, const TTaskRcd& task)
    : QWidget(parent), FTaskID(task.ID), FDateTime(task.StartTime), FWeek(task.Week), FCMD(task.CMD),
      FImgSwh_State(new TImageSwitch(this, CachedBitmap(QStringLiteral("Alarm_ON")),
                                     CachedBitmap(QStringLiteral("Alarm_HL")),
                                     CachedBitmap(QStringLiteral("Alarm_OFF")), 14, 16, 48, 48)),
      FLbl_Datetime(new QLabel(this)), FLbl_CMD(new QLabel(this)),
      FImgBtn_DeL(new TImageButton(this, {}, CachedBitmap(QStringLiteral("Del_N")),
                                   CachedBitmap(QStringLiteral("Del_HL")), CellWidth - 54, 20, 40, 40)) {
    setFixedSize(CellWidth, CellHeight);
    FImgSwh_State->setObjectName(QStringLiteral("ImgSwh_State"));
    FImgBtn_DeL->setObjectName(QStringLiteral("ImgBtn_DeL"));
    FImgBtn_DeL->setCursor(Qt::PointingHandCursor);
    // The switch shows the board's state: a click asks the board, the reply changes the switch.
    FImgSwh_State->SetisClickChange(false);
    FImgSwh_State->SetisON(task.Enable);
    FImgSwh_State->OnSwhClick = [this](TImageSwitch*) {
        if (OnClick)
            OnClick(this, TagState);
    };
    connect(FImgBtn_DeL, &TImage::clicked, this, [this] {
        if (OnClick)
            OnClick(this, TagDelete);
    });

    FLbl_Datetime->setGeometry(76, 10, 220, 28);
    FLbl_Datetime->setFont(AppFont(17, true));
    FLbl_Datetime->setStyleSheet(QStringLiteral("color: #1f2d3a; background: transparent;"));
    FLbl_Datetime->setText(DatetimeText());
    FLbl_CMD->setGeometry(250, 10, 92, 28);
    FLbl_CMD->setFont(AppFont(14, false));
    FLbl_CMD->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    FLbl_CMD->setStyleSheet(QStringLiteral("color: #7a8793; background: transparent;"));

    for (int d = 0; d < 7; ++d) {
        auto* mark = new TImageSwitch(this, CachedBitmap(QStringLiteral("TaskWeek_N")), {},
                                      CachedBitmap(QStringLiteral("Transparent")), 76 + d * 38, 44, 34, 22);
        mark->SetisCanClick(false);
        mark->setAttribute(Qt::WA_TransparentForMouseEvents);
        QFont font = mark->Lbl_Text()->font();
        font.setPixelSize(12);
        mark->Lbl_Text()->setFont(font);
        mark->SetisON(true); // the state setter colours the caption; set the wanted state after
        mark->SetisON(FWeek[d]);
        FImgSwhArr[d] = mark;
    }
    Relabel();
}

bool TNEV_IOTTaskCell::isON() const {
    return FImgSwh_State->isON();
}

void TNEV_IOTTaskCell::SetisON(bool value) {
    FImgSwh_State->SetisON(value);
}

QString TNEV_IOTTaskCell::DatetimeText() const {
    return FDateTime.toString(QStringLiteral("yyyy-MM-dd hh:mm"));
}

QString TNEV_IOTTaskCell::CMDText() const {
    return FLbl_CMD->text();
}

QString TNEV_IOTTaskCell::CommandName(const QByteArray& cmd) {
    switch (cmd.isEmpty() ? 0 : quint8(cmd[0])) {
    case 1:
        return QStringLiteral("Turn OFF");
    case 2:
        return QStringLiteral("Turn ON");
    case 3:
        return QStringLiteral("Turn Reverse");
    default:
        return {};
    }
}

void TNEV_IOTTaskCell::Relabel() {
    const QString command = CommandName(FCMD);
    FLbl_CMD->setText(command.isEmpty() ? QString() : LangText(command));
    for (int d = 0; d < 7; ++d)
        FImgSwhArr[d]->SetText(LangText(QString::fromLatin1(DayNames[d])));
}

void TNEV_IOTTaskCell::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        Relabel();
    QWidget::changeEvent(event);
}

void TNEV_IOTTaskCell::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(rect(), CachedPicture(QStringLiteral("MsgCell_BG"), size(), devicePixelRatioF()));
}
