#include "untPressPictures.h"

#include "untImage.h"
#include "untResImages.h"

#include <QRegularExpression>

TPressPictureNames PressPictureNames(TPressStyle style) {
    switch (style) {
    case TPressStyle::PushButton:
        return {"Button_HL", "Button_N", "Button_N", {}, "Button_N"};
    case TPressStyle::ListButton:
        return {"ListButton_HL", "ListButton_N", "ListButton_N", {}, "ListButton_N"};
    case TPressStyle::CloseButton:
        return {"Close_HL", "Close_E", "Close_N", "Close_E", "Close_N"};
    case TPressStyle::LoginButton:
        return {"LoginBtn_HL", "LoginBtn_N", "LoginBtn_N", {}, "LoginBtn_N"};
    case TPressStyle::RefreshButton:
        return {"Refresh_HL", {}, "Refresh_N", {}, "Refresh_N"};
    }
    return {};
}

QStringList PressStylePatterns(TPressStyle style) {
    switch (style) {
    case TPressStyle::PushButton:
        return {"img_Pop_DevInfo_ACT",
                "img_Pop_DevInfo_AddNewImg",
                "img_Pop_DevInfo_DevName",
                "img_Pop_DevInfo_IO",
                "img_Pop_DevInfo_NewImg",
                "img_Pop_DevInfo_PSD",
                "img_Pop_DevInfo_RouterSearch",
                "img_Pop_DevInfo_RouterAdd",
                "img_Pop_CloudDev_Remove",
                "img_Pop_CloudDev_Finish",
                "img_Pop_CloudDev_ImgPath",
                "img_Pop_CloudDev_Up",
                "img_Pop_CloudDev_Change",
                "img_More_Lock",
                "img_PopTaskAdd_No",
                "img_PopTaskAdd_Yes",
                "img_PopTask_No",
                "img_PopTask_Yes",
                "img_Pop_Input_No",
                "img_Pop_Input_Yes",
                "img_Register_No",
                "img_Register_Yes",
                "img_PopPassword_No",
                "img_PopPassword_Yes",
                "img_Pop_FeedList_Send",
                "img_Addmini_No",
                "img_Addmini_Yes",
                "img_PopAdd_No",
                "img_PopAdd_Yes",
                "img_DevCtrl_ReStudy",
                "img_DevCtrl_Remove",
                "img_DevCtrl_PopBtn[1245]"};
    case TPressStyle::ListButton:
        return {"img_User_NewUserInfo", "img_User_NewPassword", "img_User_CloudDev",       "img_User_Down",
                "img_User_Up",          "img_User_logoff",      "img_User_Feedlist",       "img_Msg_FeedBack",
                "img_More_Unlock",      "img_More_AboutUs",     "img_RedStudy_PopBtn[1-4]"};
    case TPressStyle::CloseButton:
        return {"img_Pop_DevInfo_Close", "img_Pop_CloudDev_Close", "img_PopTaskAdd_Close",
                "img_PopTask_Close",     "img_Pop_Register_Close", "img_Pop_FeedList_Close",
                "img_Pop_Addmini_Close"};
    case TPressStyle::LoginButton:
        return {"img_User_Login_Login", "img_Lock_Unlock"};
    case TPressStyle::RefreshButton:
        return {"img_Msg_Title_Refresh"};
    }
    return {};
}

namespace {
constexpr TPressStyle AllStyles[] = {TPressStyle::PushButton, TPressStyle::ListButton,
                                     TPressStyle::CloseButton, TPressStyle::LoginButton,
                                     TPressStyle::RefreshButton};

// Object names are matched exactly as written (case matters, as for every objectName lookup).
QRegularExpression PatternRegex(const QString& pattern) {
    return QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern));
}

const QList<std::pair<QRegularExpression, TPressStyle>>& StyleTable() {
    static const auto table = [] {
        QList<std::pair<QRegularExpression, TPressStyle>> t;
        for (TPressStyle style : AllStyles)
            for (const QString& pattern : PressStylePatterns(style))
                t.append({PatternRegex(pattern), style});
        return t;
    }();
    return table;
}
} // namespace

std::optional<TPressStyle> PressStyleOf(const QString& objectName) {
    if (objectName.isEmpty())
        return std::nullopt;
    for (const auto& [regex, style] : StyleTable())
        if (regex.match(objectName).hasMatch())
            return style;
    return std::nullopt;
}

TPressPictures::TPressPictures() {
    for (TPressStyle style : AllStyles) {
        const TPressPictureNames n = PressPictureNames(style);
        for (const QString& name : {n.Pressed, n.Released, n.Left, n.Entered, n.Rest})
            if (!name.isEmpty() && !FBitmaps.contains(name.toLower()))
                FBitmaps.insert(name.toLower(), ResBitmap(name));
    }
}

void TPressPictures::Attach(TImage* image, TPressStyle style) const {
    // Wiring a button twice would only duplicate its connections.
    static const char* const AttachedKey = "quilletPressStyle";
    if (!image || image->property(AttachedKey).isValid())
        return;
    image->setProperty(AttachedKey, int(style));
    const TPressPictureNames n = PressPictureNames(style);
    const auto wire = [image](auto signal, const TBitmap& bitmap, bool act) {
        if (act)
            QObject::connect(image, signal, image, [image, bitmap] { image->SetBitmap(bitmap); });
    };
    wire(&TImage::pressed, Bitmap(n.Pressed), !n.Pressed.isEmpty());
    if (!n.Released.isEmpty()) {
        // Let go after the pointer left: the pointer-over picture would stay behind.
        const TBitmap over = Bitmap(n.Released), away = Bitmap(n.Left.isEmpty() ? n.Released : n.Left);
        QObject::connect(image, &TImage::released, image,
                         [image, over, away] { image->SetBitmap(image->isPointerInside() ? over : away); });
    }
    wire(&TImage::left, Bitmap(n.Left), !n.Left.isEmpty());
    wire(&TImage::entered, Bitmap(n.Entered), !n.Entered.isEmpty());
    image->SetBitmap(Bitmap(n.Rest));
}

int TPressPictures::AttachMatching(QWidget* root, const QString& pattern, TPressStyle style) const {
    if (!root)
        return 0;
    const QRegularExpression regex = PatternRegex(pattern);
    QList<TImage*> images = root->findChildren<TImage*>();
    if (auto* self = qobject_cast<TImage*>(root))
        images.prepend(self);
    int count = 0;
    for (TImage* image : std::as_const(images))
        if (regex.match(image->objectName()).hasMatch()) {
            Attach(image, style);
            ++count;
        }
    return count;
}

int TPressPictures::AttachByName(QWidget* root) const {
    if (!root)
        return 0;
    QList<TImage*> images = root->findChildren<TImage*>();
    if (auto* self = qobject_cast<TImage*>(root))
        images.prepend(self);
    int count = 0;
    for (TImage* image : std::as_const(images))
        if (const auto style = PressStyleOf(image->objectName())) {
            Attach(image, *style);
            ++count;
        }
    return count;
}
