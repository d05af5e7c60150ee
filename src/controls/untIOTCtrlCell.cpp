#include "untIOTCtrlCell.h"

#include "untFonts.h"
#include "untLang.h"
#include "untPictureCache.h"
#include "untUnderLineLbl.h"

#include <QEvent>
#include <QPainter>

TCtrlImage::TCtrlImage(QWidget* parent, const QString& picture, const QRect& geometry, int tag)
    : TImage(parent), FPicture(picture) {
    setGeometry(geometry);
    SetTag(tag);
}

void TCtrlImage::SetPicture(const QString& name) {
    if (name == FPicture)
        return;
    FPicture = name;
    update();
}

void TCtrlImage::paintEvent(QPaintEvent*) {
    if (FPicture.isEmpty())
        return;
    const QPixmap pixmap = CachedPicture(FPicture, size(), devicePixelRatioF());
    if (pixmap.isNull())
        return;
    QPainter p(this);
    p.drawPixmap(rect(), pixmap);
}

TNEV_IOTCtrlCell::TNEV_IOTCtrlCell(QWidget* parent, TIOTYPE type)
    : QWidget(parent), FIOType(type), FImg_Back(new TCtrlImage(this, QStringLiteral("ControlCell_BG"),
                                                               QRect(BackLeft, 0, BackWidth, RowHeight), 0)),
      FImg_Img(new TCtrlImage(this, ChannelPicture(0), QRect(BackLeft + 12, 12, 80, 80), 3)),
      FLbl_Name(new TUnderLineLbl(this)) {
    setFixedHeight(RowHeight);
    setMinimumWidth(BackLeft + BackWidth);
    connect(FImg_Back, &TImage::clicked, this, [this] { Report(FImg_Back, FImg_Back->Tag()); });
    connect(FImg_Img, &TImage::clicked, this, [this] { Report(FImg_Img, FImg_Img->Tag()); });
    FLbl_Name->SetTag(2);
    QFont font = FLbl_Name->font();
    font.setFamily(AppFontFamily);
    font.setPixelSize(15);
    font.setBold(true);
    FLbl_Name->setFont(font);
    FLbl_Name->setWordWrap(false);
    FLbl_Name->setGeometry(InnerLeft, 14, 110, 26);
    connect(FLbl_Name, &TUnderLineLbl::clicked, this, [this] { Report(FLbl_Name, FLbl_Name->Tag()); });
    ShowName();
}

QString TNEV_IOTCtrlCell::ChannelPicture(int ctrlType) {
    if (ctrlType < 0 || ctrlType >= ChannelPictureCount)
        ctrlType = 0;
    return QStringLiteral("Device_img%1").arg(ctrlType);
}

void TNEV_IOTCtrlCell::SetIOName(const TIOName& name) {
    FIOName = name;
    FImg_Img->SetPicture(ChannelPicture(name.CtrlType));
    ShowName();
}

QString TNEV_IOTCtrlCell::CtrlName() const {
    return FShownName;
}

void TNEV_IOTCtrlCell::ShowName() {
    FShownName = FIOName.Name.isEmpty() ? LangText(QStringLiteral("No name")) : FIOName.Name;
    // Long names are cut to the label's width rather than running into the state elements.
    FLbl_Name->setText(FLbl_Name->fontMetrics().elidedText(FShownName, Qt::ElideRight, FLbl_Name->width()));
    FLbl_Name->setToolTip(FShownName);
}

void TNEV_IOTCtrlCell::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        ShowName();
    QWidget::changeEvent(event);
}

TCtrlImage* TNEV_IOTCtrlCell::AddImage(const QString& picture, const QRect& geometry, int tag) {
    auto* image = new TCtrlImage(this, picture, geometry, tag);
    connect(image, &TImage::clicked, this, [this, image] { Report(image, image->Tag()); });
    return image;
}

TCtrlImage* TNEV_IOTCtrlCell::AddPlainImage(const QString& picture, const QRect& geometry) {
    auto* image = new TCtrlImage(this, picture, geometry, 0);
    image->setAttribute(Qt::WA_TransparentForMouseEvents);
    return image;
}

void TNEV_IOTCtrlCell::Report(QObject* Sender, int Tag) {
    if (OnClick)
        OnClick(Sender, FIndex, Tag, FIOType);
}
