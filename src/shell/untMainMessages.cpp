#include "untMainMessages.h"

#include "frmMain.h"
#include "nevIOTJSONAPI.h"
#include "untImage.h"
#include "untImgBtn.h"
#include "untIni.h"
#include "untLang.h"
#include "untResImages.h"
#include "untTextStyle.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPlainTextEdit>
#include <QScrollBar>

#include <cmath>

namespace {

constexpr int CellHeight = 80;
constexpr int HeaderHeight = 30;
constexpr int PictureTimeoutMs = 2000;
constexpr qint64 MaxPictureBytes = 4 * 1024 * 1024;
constexpr int MaxLabelWidth = 250;

const QString ChatFontFamily = QStringLiteral("微软雅黑");

const QString NoConnection = QStringLiteral("Cannot reach the cloud server, please check the network!");
const QString BadAnswer =
    QStringLiteral("The cloud server's answer could not be read, please try again later!");
const QString SendFailed = QStringLiteral("Sending failed, please try again!");
const QString LoginForReplies = QStringLiteral("Log in to receive the replies of support.");
const QString LoadFailed = QStringLiteral("Loading failed, refresh to try again.");

QFont PointFont(int points, bool bold = false, const QString& family = {}) {
    QFont f;
    if (!family.isEmpty())
        f.setFamilies({family});
    f.setPointSize(points);
    f.setBold(bold);
    return f;
}

QFont ChatFont() {
    return PointFont(15, false, ChatFontFamily);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Helpers

QString NewsTimeText(const QString& unixText, const QTimeZone& zone) {
    bool ok = false;
    const qint64 secs = unixText.trimmed().toLongLong(&ok);
    if (!ok)
        return {};
    const QDateTime dt = QDateTime::fromSecsSinceEpoch(secs, zone.isValid() ? zone : QTimeZone::utc());
    if (!dt.isValid())
        return {};
    return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

bool IsWebAddress(const QString& url) {
    const QUrl u(url.trimmed(), QUrl::StrictMode);
    const QString scheme = u.scheme().toLower();
    return u.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !u.host().isEmpty();
}

TChatLayout ChatLayout(qreal textWidth, int wrappedLines, int listWidth, TCELLMODE mode, int lineStep) {
    TChatLayout l;
    const int b = int(std::ceil(textWidth)) + 10;
    const int labelWidth = b > MaxLabelWidth ? MaxLabelWidth : b;
    const int bubbleWidth = b > MaxLabelWidth ? MaxLabelWidth + 50 : b + 50;
    const int lines = std::max({1, int(std::ceil(qreal(b) / MaxLabelWidth)), wrappedLines});
    const int labelHeight = 24 + std::max(20, lineStep) * (lines - 1);
    const int bubbleHeight = labelHeight + 20;
    const int bubbleLeft = mode == TCELLMODE::MODE_LEFT ? 18 : listWidth - bubbleWidth - 18 - 15;
    l.Bubble = QRect(bubbleLeft, 18, bubbleWidth, bubbleHeight);
    l.Label = QRect(mode == TCELLMODE::MODE_LEFT ? 11 + 18 : 18, 10, labelWidth, labelHeight);
    l.ItemHeight = 18 + bubbleHeight;
    return l;
}

// ---------------------------------------------------------------------------------------------
// Bubbles

TChatItem::TChatItem(QWidget* parent, int listWidth, TCELLMODE mode, const QString& text)
    : QWidget(parent), FMode(mode) {
    setObjectName(QStringLiteral("TChatItem"));
    FCallBack = new TCalloutRectangle(this);
    FCallBack->setObjectName(QStringLiteral("FCallBack"));
    FCallBack->SetCalloutLength(11);
    FCallBack->SetCalloutOffset(10);
    FCallBack->SetCalloutWidth(13);
    FCallBack->SetCornerRadius(8);
    FText = new QLabel(FCallBack);
    FText->setObjectName(QStringLiteral("FText"));
    FText->setFont(ChatFont());
    FText->setWordWrap(true);
    FText->setTextFormat(Qt::PlainText);
    FText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SetTextColor(FText, QColor(0x0b, 0x43, 0x68));
    FText->setText(text);

    const QFontMetricsF fm(FText->font());
    const qreal oneLine = fm.horizontalAdvance(text);
    // Word wrap can break earlier than the width alone says; count the lines it really takes.
    const int wrapWidth = std::min(MaxLabelWidth, int(std::ceil(oneLine)) + 10);
    const QRectF wrapped =
        fm.boundingRect(QRectF(0, 0, wrapWidth, 100000), int(Qt::TextWordWrap | Qt::TextWrapAnywhere), text);
    const int lines = std::max(1, qRound(wrapped.height() / fm.lineSpacing()));
    // Lines of a large font need more than the usual 20 pixels each, or the last one is cut.
    const TChatLayout l = ChatLayout(oneLine, lines, listWidth, mode, int(std::ceil(fm.lineSpacing())));

    if (mode == TCELLMODE::MODE_LEFT) {
        FCallBack->SetFillColor(QColor::fromRgba(0xFF87CEFA));
        FCallBack->SetCalloutPosition(TCalloutRectangle::TCalloutPosition::Left);
    } else {
        FCallBack->SetFillColor(Qt::white);
        FCallBack->SetCalloutPosition(TCalloutRectangle::TCalloutPosition::Right);
    }
    FCallBack->setGeometry(l.Bubble);
    FText->setGeometry(l.Label);
    resize(listWidth, l.ItemHeight);
}

QString TChatItem::Text() const {
    return FText->text();
}

// ---------------------------------------------------------------------------------------------
// List cells

TNewsListCell::TNewsListCell(QWidget* parent, TKind kind, int width) : QWidget(parent), FKind(kind) {
    setObjectName(kind == TKind::Product ? QStringLiteral("TNewsListProductCell")
                                         : QStringLiteral("TNewsListCell"));
    resize(width, CellHeight);
    auto* back = new TImage(this);
    back->setObjectName(QStringLiteral("FImg_Back"));
    back->SetBitmap(ResBitmap(QStringLiteral("MsgCell_BG")));
    back->setGeometry(30, 0, width - 60, CellHeight);
    FBack = back;

    FTitle = new QLabel(FBack);
    FTitle->setObjectName(QStringLiteral("FLbl_Title"));
    FTitle->setFont(PointFont(18, true));
    FTitle->setTextFormat(Qt::PlainText);
    SetTextColor(FTitle, QColor(0x0b, 0x43, 0x68));
    FSub = new QLabel(FBack);
    FSub->setObjectName(kind == TKind::Product ? QStringLiteral("FLbl_SN") : QStringLiteral("FLbl_Time"));
    FSub->setFont(PointFont(13));
    FSub->setTextFormat(Qt::PlainText);
    SetTextColor(FSub, QColor(0x4a, 0x6a, 0x80));
    if (kind == TKind::Product) {
        FTitle->setGeometry(92, 3, 400, 44);
        FSub->setGeometry(102, 45, 380, 28);
        ReservePicture();
    } else {
        FTitle->setGeometry(5, 3, 500, 44);
        FSub->setGeometry(12, 45, 400, 28);
    }

    FReadBtn = new TImageButton(FBack, {}, ResBitmap(QStringLiteral("Button_N")),
                                ResBitmap(QStringLiteral("Button_HL")), FBack->width() - 120, 18, 100, 45);
    FReadBtn->setObjectName(QStringLiteral("FImgBtn_Read"));
    FReadBtn->setCursor(Qt::PointingHandCursor);
    FReadBtn->Lbl_Text()->setFont(PointFont(15, true));
    SetTextColor(FReadBtn->Lbl_Text(), QColor(0x0b, 0x43, 0x68));
    connect(FReadBtn, &TImage::clicked, this, [this] {
        if (OnClick)
            OnClick(this);
    });
}

QString TNewsListCell::CellTitle() const {
    return FTitle->text();
}

void TNewsListCell::SetCellTitle(const QString& title) {
    FTitle->setText(FTitle->fontMetrics().elidedText(title, Qt::ElideRight, FTitle->width()));
    FTitle->setToolTip(title);
    FTitle->setProperty("full", title);
}

QString TNewsListCell::CellSub() const {
    return FSub->text();
}

void TNewsListCell::SetCellSub(const QString& text) {
    FSub->setText(FSub->fontMetrics().elidedText(text, Qt::ElideRight, FSub->width()));
}

void TNewsListCell::ReservePicture() {
    if (FImg)
        return;
    FImg = new TImage(this);
    FImg->setObjectName(FKind == TKind::Product ? QStringLiteral("FImg_Dev") : QStringLiteral("FImg_New"));
    FImg->setGeometry(35, 5, 70, 70);
    FImg->setAttribute(Qt::WA_TransparentForMouseEvents);
    FImg->raise();
    if (FKind == TKind::News) {
        // The labels move right of the picture.
        FTitle->move(FTitle->x() + 90, FTitle->y());
        FTitle->resize(FReadBtn ? FReadBtn->x() - FTitle->x() - 10 : 410, FTitle->height());
        FSub->move(FSub->x() + 90, FSub->y());
    }
}

void TNewsListCell::SetPicture(const QImage& image) {
    if (!FImg)
        return;
    FImg->SetBitmap(TBitmap::FromImage(image));
}

bool TNewsListCell::HasPicture() const {
    return FImg && !FImg->Bitmap().isNull();
}

// ---------------------------------------------------------------------------------------------
// The window's part

TMainMessages::TMainMessages(Tfrm_Main* main) : QObject(main), FMain(main), FCloud(main->Cloud()) {
    setObjectName(QStringLiteral("MainMessages"));
    FNet = new QNetworkAccessManager(this);
    FNet->setRedirectPolicy(QNetworkRequest::SameOriginRedirectPolicy);
    BuildMessagePage();
    BuildFeedPopup();
    BuildFeedbackRow();

    main->OnLoadNews = [this] { LoadMessageLists(); };
    main->OnAnonymousFeedback = [this] { SendAnonymousFeedback(); };
    main->CollectFeedMsgs = [this] { return Conversation(); };
    main->SetPopHandler(28, [this] {
        if (SendFeedMessage(FFeedEdit->text()))
            FFeedEdit->clear();
    });

    for (const TFeedMsg& m : main->Settings().IniFeedMsgs())
        AddBubble(m._Type ? TCELLMODE::MODE_LEFT : TCELLMODE::MODE_RIGET, m.Msg, m._Type ? m.Id : QString());
    SetUnreadReplies({});
}

TMainMessages::~TMainMessages() {
    DropPendingPictures();
}

void TMainMessages::DropPendingPictures() {
    for (QNetworkReply* r : std::exchange(FPending, {})) {
        r->disconnect(this);
        r->abort();
        r->deleteLater();
    }
}

void TMainMessages::BuildMessagePage() {
    auto* area = FMain->findChild<QWidget*>(QStringLiteral("rctngl_Msg_Newslist"));
    FNewsList = new QListWidget(area);
    FNewsList->setObjectName(QStringLiteral("lst_Msg_Newslist"));
    FNewsList->setGeometry(0, 10, area->width(), area->height() - 20);
    FNewsList->setFrameShape(QFrame::NoFrame);
    FNewsList->setSelectionMode(QAbstractItemView::NoSelection);
    FNewsList->setFocusPolicy(Qt::NoFocus);
    FNewsList->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    FNewsList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FNewsList->setStyleSheet(QStringLiteral("QListWidget { background: transparent; }"));

    FListStatus = new QLabel(area);
    FListStatus->setObjectName(QStringLiteral("lbl_Msg_Status"));
    FListStatus->setGeometry(20, 40, area->width() - 40, 60);
    FListStatus->setAlignment(Qt::AlignCenter);
    FListStatus->setWordWrap(true);
    FListStatus->setFont(PixelFont(17, true));
    SetTextColor(FListStatus, QColor(0x0b, 0x43, 0x68));
    FListStatus->hide();

    if (auto* refresh = FMain->findChild<TImage*>(QStringLiteral("img_Msg_Title_Refresh")))
        connect(refresh, &TImage::clicked, this, [this] {
            if (FMain->Locked())
                return;
            FMain->ShowLoading(true);
            LoadMessageLists();
            FMain->ShowLoading(false);
        });
}

void TMainMessages::BuildFeedPopup() {
    QWidget* pop = FMain->Pop(POP_FEEDLIST);
    auto* body = pop->findChild<QWidget*>(QStringLiteral("rctngl_Pop_FeedList_Body"));
    FFeedList = new QListWidget(body);
    FFeedList->setObjectName(QStringLiteral("lst_Pop_FeedList_Back"));
    FFeedList->setGeometry(0, 0, body->width(), body->height() - 28);
    FFeedList->setFrameShape(QFrame::NoFrame);
    FFeedList->setSelectionMode(QAbstractItemView::NoSelection);
    FFeedList->setFocusPolicy(Qt::NoFocus);
    FFeedList->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    FFeedList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FFeedList->setStyleSheet(QStringLiteral("QListWidget { background: #e8f3fa; border-radius: 8px; }"));
    FFeedStatus = new QLabel(body);
    FFeedStatus->setObjectName(QStringLiteral("lbl_Pop_FeedList_Status"));
    FFeedStatus->setGeometry(0, body->height() - 26, body->width(), 24);
    FFeedStatus->setFont(PixelFont(13));
    SetTextColor(FFeedStatus, QColor(0x0b, 0x43, 0x68));
    FFeedStatus->hide();
    FFeedEdit = pop->findChild<QLineEdit*>(QStringLiteral("edt_Pop_FeedList_Text"));
    FFeedEdit->setMaxLength(1000);
}

void TMainMessages::BuildFeedbackRow() {
    // The account pages place the row in their own list when they exist: the badge is theirs, the
    // conversation opens through their click.
    if (auto* row = FMain->findChild<QWidget*>(QStringLiteral("img_User_Feedlist"))) {
        FFeedRow = row;
        FBadge = FMain->findChild<QWidget*>(QStringLiteral("crcl_User_Feedlist_Count"));
        FBadgeText = FMain->findChild<QLabel*>(QStringLiteral("lbl_User_Feedlist_Count"));
        if (FBadge && FBadgeText)
            return;
    }
    auto* page = FMain->findChild<QWidget*>(QStringLiteral("rctngl_User_Back"));
    const int left = (Tfrm_Main::ClientWidth - Tfrm_Main::SideBarWidth - 600) / 2;
    FFeedRow = new QWidget(page);
    FFeedRow->setObjectName(QStringLiteral("rctngl_User_Feedback"));
    FFeedRow->setGeometry(left, 76, 600, 90);
    auto* title = new QLabel(FFeedRow);
    title->setObjectName(QStringLiteral("lbl_User_Feedback"));
    title->setGeometry(0, 0, 600, 30);
    title->setFont(PixelFont(16, true));
    SetTextColor(title, Qt::white);
    FMain->Text(title, QStringLiteral("Feedback Information"));
    auto* button = new TImageButton(FFeedRow, {}, ResBitmap(QStringLiteral("ListButton_N")),
                                    ResBitmap(QStringLiteral("ListButton_HL")), 0, 36, 600, 50);
    button->setObjectName(QStringLiteral("img_User_Feedlist"));
    button->setCursor(Qt::PointingHandCursor);
    button->Lbl_Text()->setFont(PixelFont(16, true));
    button->Lbl_Text()->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    button->Lbl_Text()->setIndent(20);
    SetTextColor(button->Lbl_Text(), QColor(0x0b, 0x43, 0x68));
    FMain->Text(button, QStringLiteral("Feedback"));
    connect(button, &TImage::clicked, this, [this] {
        if (!FMain->Locked())
            OpenFeedList();
    });

    auto* badge = new TRectangle(button);
    badge->setObjectName(QStringLiteral("crcl_User_Feedlist_Count"));
    badge->SetFillColor(ColorBadge);
    badge->SetCornerRadius(13);
    badge->setGeometry(600 - 96, 12, 44, 26);
    badge->setAttribute(Qt::WA_TransparentForMouseEvents);
    FBadge = badge;
    FBadgeText = new QLabel(badge);
    FBadgeText->setObjectName(QStringLiteral("lbl_User_Feedlist_Count"));
    FBadgeText->setGeometry(0, 0, 44, 26);
    FBadgeText->setAlignment(Qt::AlignCenter);
    FBadgeText->setFont(PixelFont(14, true));
    SetTextColor(FBadgeText, Qt::white);
}

// --- message page ------------------------------------------------------------------------------

void TMainMessages::AddHeader(const QString& english) {
    auto* label = new QLabel;
    label->setObjectName(QStringLiteral("lbl_Msg_Header"));
    label->setAlignment(Qt::AlignCenter);
    label->setFont(PointFont(16, true));
    SetTextColor(label, QColor(0x0b, 0x43, 0x68));
    FMain->Text(label, english);
    auto* item = new QListWidgetItem(FNewsList);
    item->setFlags(Qt::ItemIsEnabled);
    item->setSizeHint(QSize(FNewsList->viewport()->width(), HeaderHeight));
    FNewsList->setItemWidget(item, label);
}

void TMainMessages::ShowListStatus(const QString& english) {
    if (english.isEmpty()) {
        FListStatus->hide();
        return;
    }
    FMain->Text(FListStatus, english);
    FListStatus->show();
    FListStatus->raise();
}

QString TMainMessages::FailureText(const TCloudError& error) const {
    switch (error.kind) {
    case TCloudError::Kind::HttpStatus:
    case TCloudError::Kind::TooLarge:
    case TCloudError::Kind::BadReply:
    case TCloudError::Kind::Redirect:
        return BadAnswer;
    default:
        return NoConnection;
    }
}

bool TMainMessages::LoadMessageLists() {
    FMsgLoaded = false;
    // Pictures still on their way belong to the rows that go now.
    DropPendingPictures();
    FNewsList->clear();
    ShowListStatus({});
    if (!FCloud)
        return false;
    const int width = FNewsList->viewport()->width();
    std::optional<TCloudError> failure;

    const auto products = FCloud->Index_ProductList();
    if (products.Failed())
        failure = products.Error;
    if (!products.Failed() && products.Reply.status != QLatin1String("0")) {
        AddHeader(QStringLiteral("Products"));
        for (const TProduct& p : products.Reply.data) {
            auto* cell = new TNewsListCell(nullptr, TNewsListCell::TKind::Product, width);
            cell->OnClick = [this](TNewsListCell* c) { OpenCell(c); };
            cell->SetCellID(p.id);
            cell->SetCellTitle(p.name);
            cell->SetCellSub(p.sn);
            cell->SetCellURL(p.weburl);
            auto* item = new QListWidgetItem(FNewsList);
            item->setFlags(Qt::ItemIsEnabled);
            item->setSizeHint(QSize(width, CellHeight));
            FNewsList->setItemWidget(item, cell);
            FMain->Text(cell->ReadButton(), QStringLiteral("Read"));
            FetchPicture(cell, p.img);
        }
        FMsgLoaded = true;
    }

    // The product call may have taken long enough for the page to go; the client is checked again.
    if (!FCloud)
        return FMsgLoaded;
    const auto news = FCloud->Index_NewsList();
    if (news.Failed() && !failure)
        failure = news.Error;
    if (!news.Failed() && news.Reply.status != QLatin1String("0")) {
        AddHeader(QStringLiteral("News"));
        for (const TNewsListData& n : news.Reply.data) {
            auto* cell = new TNewsListCell(nullptr, TNewsListCell::TKind::News, width);
            cell->OnClick = [this](TNewsListCell* c) { OpenCell(c); };
            if (!n.img.isEmpty())
                cell->ReservePicture();
            cell->SetCellID(n.id);
            cell->SetCellTitle(n.title);
            cell->SetCellSub(NewsTimeText(n.create_time, FZone));
            cell->SetCellURL(n.weburl);
            auto* item = new QListWidgetItem(FNewsList);
            item->setFlags(Qt::ItemIsEnabled);
            item->setSizeHint(QSize(width, CellHeight));
            FNewsList->setItemWidget(item, cell);
            FMain->Text(cell->ReadButton(), QStringLiteral("Read"));
            FetchPicture(cell, n.img);
        }
    }
    if (FNewsList->count() == 0)
        ShowListStatus(failure ? FailureText(*failure) : LoadFailed);
    return FMsgLoaded;
}

void TMainMessages::FetchPicture(TNewsListCell* cell, const QString& url) {
    if (url.isEmpty() || !FCloud || !cell->HasPictureRoom())
        return;
    // Addresses come from cloud replies: web addresses only, relative ones on the server itself.
    QUrl target(url.trimmed(), QUrl::TolerantMode);
    if (target.isRelative())
        target = QUrl::fromEncoded(FCloud->Server().toEncoded() + '/').resolved(target);
    const QString scheme = target.scheme().toLower();
    if (!target.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return;
    const QString ext = QFileInfo(target.path()).suffix().toLower();
    if (ext != QLatin1String("jpg") && ext != QLatin1String("jpeg"))
        return;

    QNetworkRequest request(target);
    request.setTransferTimeout(PictureTimeoutMs);
    QNetworkReply* reply = FNet->get(request);
    FPending.insert(reply);
    const QPointer<TNewsListCell> guard(cell);
    connect(reply, &QNetworkReply::downloadProgress, this, [reply](qint64 received, qint64) {
        if (received > MaxPictureBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, guard] {
        FPending.remove(reply);
        reply->deleteLater();
        if (!guard || reply->error() != QNetworkReply::NoError)
            return;
        QImage image;
        if (image.loadFromData(reply->read(MaxPictureBytes)))
            guard->SetPicture(image);
    });
}

void TMainMessages::OpenCell(TNewsListCell* cell) {
    if (!cell)
        return;
    const QString url = cell->CellURL().trimmed();
    if (cell->CellID().isEmpty() || !IsWebAddress(url) ||
        !FMain->Env().Messages->OpenUrl(FMain, QUrl(url, QUrl::StrictMode))) {
        FMain->Msg(QStringLiteral("Read message failed!"));
    }
}

// --- anonymous feedback -------------------------------------------------------------------------

void TMainMessages::SendAnonymousFeedback() {
    auto* memo = FMain->findChild<QPlainTextEdit*>(QStringLiteral("mmo_More_Msg"));
    auto* contact = FMain->findChild<QLineEdit*>(QStringLiteral("edt_More_Contact"));
    const QString text = memo->toPlainText();
    if (text.trimmed().isEmpty()) {
        FMain->Msg(QStringLiteral("Input no content!"));
        return;
    }
    if (!FCloud)
        return;
    const QString system = LangIsCn() ? QStringLiteral("澜桥匣 for Windows V1.2.6")
                                      : QStringLiteral("Quillet for Windows V1.2.6");
    const auto r = FCloud->Index_Feedback(text, contact->text(), system);
    if (r.Failed())
        FMain->Msg(FailureText(*r.Error));
    else if (r.Reply.status == QLatin1String("1"))
        FMain->Msg(
            QStringLiteral("Thank you for your support, we will solve the problem as soon as possible!"));
    else if (r.Reply.status == QLatin1String("0") && !r.Reply.info.isEmpty())
        FMain->Msg(r.Reply.info);
    else
        FMain->Msg(SendFailed);
}

// --- conversation -------------------------------------------------------------------------------

void TMainMessages::AddBubble(TCELLMODE mode, const QString& text, const QString& replyId) {
    const int width =
        FFeedList->viewport()->width() > 100 ? FFeedList->viewport()->width() : FFeedList->width() - 20;
    auto* bubble = new TChatItem(nullptr, width, mode, text);
    bubble->SetReplyId(replyId);
    if (!replyId.isEmpty())
        FSeenReplies.insert(replyId);
    auto* item = new QListWidgetItem(FFeedList);
    item->setFlags(Qt::ItemIsEnabled);
    item->setSizeHint(bubble->size() + QSize(0, 8)); // the last bubble clear of the list's edge
    FFeedList->setItemWidget(item, bubble);
}

TFeedMsgs TMainMessages::Conversation() const {
    TFeedMsgs msgs;
    for (int i = 0; i < FFeedList->count(); ++i)
        if (const auto* bubble = qobject_cast<TChatItem*>(FFeedList->itemWidget(FFeedList->item(i))))
            msgs.append({bubble->Mode() == TCELLMODE::MODE_LEFT, bubble->Text(), bubble->ReplyId()});
    return msgs;
}

void TMainMessages::ScrollFeedToEnd() {
    if (FFeedList->count() > 0)
        FFeedList->scrollToItem(FFeedList->item(FFeedList->count() - 1), QAbstractItemView::PositionAtBottom);
}

void TMainMessages::ShowFeedStatus(const QString& english) {
    if (english.isEmpty()) {
        FFeedStatus->hide();
        return;
    }
    FMain->Text(FFeedStatus, english);
    FFeedStatus->show();
}

void TMainMessages::SetUnreadReplies(const QString& count) {
    bool ok = false;
    const qlonglong n = count.trimmed().toLongLong(&ok);
    if (!ok || n <= 0) {
        FBadge->hide();
        FBadgeText->clear();
        return;
    }
    FBadgeText->setText(n > 99 ? QStringLiteral("99+") : QString::number(n));
    FBadge->show();
}

void TMainMessages::LoadFeedReplies() {
    ShowFeedStatus({});
    // Without a login there is nobody to ask for: the stored conversation is all there is.
    if (!CloudSession.Logged) {
        ShowFeedStatus(LoginForReplies);
        return;
    }
    if (!FCloud)
        return;
    const auto r = FCloud->Feedback_FeedList(CloudSession.Account(), CloudSession.Password());
    if (r.Failed()) {
        ShowFeedStatus(FailureText(*r.Error));
        return;
    }
    if (r.Reply.status != QLatin1String("1")) {
        if (r.Reply.status == QLatin1String("0"))
            ShowFeedStatus(r.Reply.info);
        return;
    }
    for (const TFeedBackData& d : r.Reply.data) {
        if (d.msg.isEmpty())
            continue;
        if (!d.id.isEmpty() && FSeenReplies.contains(d.id))
            continue;
        AddBubble(TCELLMODE::MODE_LEFT, d.msg, d.id);
    }
    // Whatever was unread has now been fetched.
    SetUnreadReplies({});
}

void TMainMessages::OpenFeedList() {
    LoadFeedReplies();
    FMain->ShowPop(POP_FEEDLIST);
    ScrollFeedToEnd();
    FFeedEdit->setFocus(Qt::OtherFocusReason);
}

bool TMainMessages::SendFeedMessage(const QString& text) {
    if (text.trimmed().isEmpty())
        return false;
    if (!CloudSession.Logged) {
        FMain->Msg(QStringLiteral("Login first please"));
        return false;
    }
    if (!FCloud)
        return false;
    const auto r = FCloud->Feedback_Add(CloudSession.Account(), CloudSession.Password(), text);
    if (r.Failed()) {
        FMain->Msg(FailureText(*r.Error));
        return false;
    }
    if (r.Reply.status != QLatin1String("1")) {
        FMain->Msg(r.Reply.status == QLatin1String("0") && !r.Reply.info.isEmpty() ? r.Reply.info
                                                                                   : SendFailed);
        return false;
    }
    AddBubble(TCELLMODE::MODE_RIGET, text);
    ScrollFeedToEnd();
    return true;
}
