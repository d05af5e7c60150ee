// TMainMessages: the vendor's content and the talk with support in the main window. It fills the
// message page with the product and news lists (pictures fill in as they arrive), opens their web
// pages, sends the More page's anonymous feedback, and keeps the feedback conversation: the popup
// with its bubbles, the unread badge on the user page, and its history across runs.
#pragma once

#include "untPublic.h"

#include <QHash>
#include <QImage>
#include <QListWidget>
#include <QPointer>
#include <QSet>
#include <QTimeZone>
#include <QUrl>
#include <QWidget>

#include <functional>

class CloudClient;
class QLabel;
class QLineEdit;
class QNetworkAccessManager;
class QNetworkReply;
class TCalloutRectangle;
class TImage;
class TImageButton;
class Tfrm_Main;
struct TCloudError;

// Which side of the conversation wrote a bubble.
enum class TCELLMODE { MODE_LEFT, MODE_RIGET };

// Unix seconds as the wall-clock time of that date in `zone` ("yyyy-MM-dd HH:mm:ss"), so summer
// and winter dates each get their own offset. Empty for a text that is not a whole number.
QString NewsTimeText(const QString& unixText, const QTimeZone& zone = QTimeZone::systemTimeZone());

// The only addresses handed to the browser: absolute http and https addresses with a host.
bool IsWebAddress(const QString& url);

// Where the parts of one bubble go. `textWidth` is the text measured on one line, `wrappedLines`
// the lines it takes when wrapped at the label's width (at least the count the width implies),
// `lineStep` the height each further line adds.
struct TChatLayout {
    QRect Bubble; // in the item
    QRect Label;  // in the bubble
    int ItemHeight = 0;
};
TChatLayout ChatLayout(qreal textWidth, int wrappedLines, int listWidth, TCELLMODE mode, int lineStep = 20);

// One bubble of the conversation.
class TChatItem : public QWidget {
    Q_OBJECT

public:
    TChatItem(QWidget* parent, int listWidth, TCELLMODE mode, const QString& text);
    TCELLMODE Mode() const { return FMode; }
    QString Text() const;
    // The server's id of a support reply.
    QString ReplyId() const { return FReplyId; }
    void SetReplyId(const QString& id) { FReplyId = id; }

private:
    TCELLMODE FMode;
    QString FReplyId;
    TCalloutRectangle* FCallBack = nullptr;
    QLabel* FText = nullptr;
};

// One row of the message page: a product or a news item, with its picture and "Read" button.
class TNewsListCell : public QWidget {
    Q_OBJECT

public:
    enum class TKind { Product, News };
    TNewsListCell(QWidget* parent, TKind kind, int width);

    TKind Kind() const { return FKind; }
    QString CellID() const { return FCellID; }
    void SetCellID(const QString& id) { FCellID = id; }
    QString CellTitle() const;
    void SetCellTitle(const QString& title);
    // The serial number of a product, the time of a news item.
    QString CellSub() const;
    void SetCellSub(const QString& text);
    QString CellURL() const { return FCellURL; }
    void SetCellURL(const QString& url) { FCellURL = url; }
    // A news item with a picture address makes room for it; products always have the room.
    void ReservePicture();
    bool HasPictureRoom() const { return FImg != nullptr; }
    void SetPicture(const QImage& image);
    bool HasPicture() const;
    TImageButton* ReadButton() const { return FReadBtn; }

    std::function<void(TNewsListCell*)> OnClick;

private:
    TKind FKind;
    QString FCellID = QStringLiteral("0");
    QString FCellURL;
    QWidget* FBack = nullptr;
    QLabel* FTitle = nullptr;
    QLabel* FSub = nullptr;
    TImage* FImg = nullptr;
    TImageButton* FReadBtn = nullptr;
};

class TMainMessages : public QObject {
    Q_OBJECT

public:
    // Builds its parts into the window's message page, More page, user page and popup 9, and
    // restores the stored conversation.
    explicit TMainMessages(Tfrm_Main* main);
    ~TMainMessages() override;

    // The time zone news times are shown in (tests).
    void SetTimeZone(const QTimeZone& zone) { FZone = zone; }

    // Message page.
    // Empties the list and loads products, then news. True when the product list came (the page
    // then counts as loaded).
    bool LoadMessageLists();
    bool MsgLoaded() const { return FMsgLoaded; }
    QListWidget* NewsList() const { return FNewsList; }
    void OpenCell(TNewsListCell* cell);
    // Picture downloads still running.
    int PendingPictures() const { return int(FPending.size()); }

    // More page.
    void SendAnonymousFeedback();

    // Conversation.
    // Fetches new replies (only when logged in), then shows the popup.
    void OpenFeedList();
    void LoadFeedReplies();
    // True when the message was taken by the server.
    bool SendFeedMessage(const QString& text);
    void AddBubble(TCELLMODE mode, const QString& text, const QString& replyId = {});
    TFeedMsgs Conversation() const;
    // The unread badge from the login's "feedbackcount"; 0, a negative or unreadable count hides
    // it.
    void SetUnreadReplies(const QString& count);
    QListWidget* FeedList() const { return FFeedList; }
    // The user page's "Feedback" row with its badge, for the account pages to place.
    QWidget* FeedbackRow() const { return FFeedRow; }

private:
    void BuildMessagePage();
    void BuildFeedPopup();
    void BuildFeedbackRow();
    void AddHeader(const QString& english);
    void FetchPicture(TNewsListCell* cell, const QString& url);
    void ShowListStatus(const QString& english);
    void ShowFeedStatus(const QString& english);
    QString FailureText(const TCloudError& error) const;
    void ScrollFeedToEnd();
    void DropPendingPictures();

    Tfrm_Main* FMain;
    QPointer<CloudClient> FCloud;
    QNetworkAccessManager* FNet = nullptr;
    QTimeZone FZone = QTimeZone::systemTimeZone();
    bool FMsgLoaded = false;
    QListWidget* FNewsList = nullptr;
    QLabel* FListStatus = nullptr;
    QSet<QNetworkReply*> FPending;
    QListWidget* FFeedList = nullptr;
    QLabel* FFeedStatus = nullptr;
    QLineEdit* FFeedEdit = nullptr;
    QWidget* FFeedRow = nullptr;
    QWidget* FBadge = nullptr;
    QLabel* FBadgeText = nullptr;
    // Replies in the conversation, by their id: a server that sends one again does not add it twice.
    QSet<QString> FSeenReplies;
};
