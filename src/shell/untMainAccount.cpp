#include "untMainAccount.h"

#include "frmMain.h"
#include "untIOTDev.h"
#include "untIOTDevList.h"
#include "untIOTUDP.h"
#include "untImage.h"
#include "untImgBtn.h"
#include "untIni.h"
#include "untLang.h"
#include "untPictureFetch.h"
#include "untPublic.h"
#include "untResImages.h"
#include "untTextStyle.h"
#include "untUnderLineLbl.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollArea>

namespace {

const QString ConnectFailed = QStringLiteral("Cannot connect to the cloud server!");
const QString ReplyUnreadable = QStringLiteral("The cloud server's reply could not be read!");
const QString RemoteTooLong =
    QStringLiteral("Account or password longer than 16 bytes: remote control cannot work with it!");
const QString BadAccountText =
    QStringLiteral("Account and password cannot contain / ? # % or begin or end with a space!");
const QString SyncFailed = QStringLiteral("Synchronization failed!Try again.");

// Cloud pictures are kept at the size the popup picture has and "Upload" sends.
const QSize CloudPictureSize(200, 200);

// The picture a board gets in the cloud when none was chosen: white.
QImage WhitePicture() {
    QImage img(200, 200, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Helpers

bool RemoteLoginFits(const QString& account, const QString& password) {
    return account.trimmed().toUtf8().size() <= 16 && password.trimmed().toUtf8().size() <= 16;
}

QString AccountTextProblem(const QString& text) {
    static const QRegularExpression bad(QStringLiteral("[/?#%]"));
    if (text.contains(bad) || text != text.trimmed())
        return BadAccountText;
    return {};
}

QString CloudTimeText(const QString& unixSeconds) {
    bool ok = false;
    const qint64 secs = unixSeconds.trimmed().toLongLong(&ok);
    if (!ok)
        return {};
    // The local time of that date, daylight saving included.
    return QDateTime::fromSecsSinceEpoch(secs).toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString CloudMACText(const QString& typed) {
    QString mac = typed;
    static const QRegularExpression separators(QStringLiteral("[\\s\\-:.]"));
    mac.remove(separators);
    static const QRegularExpression hex12(QStringLiteral("^[0-9A-Fa-f]{12}$"));
    if (!hex12.match(mac).hasMatch())
        return {};
    return mac.toLower();
}

// ---------------------------------------------------------------------------------------------
// TCloudDevsCell

TCloudDevsCell::TCloudDevsCell(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TCloudDevsCell"));
    setFixedHeight(CellHeight);
    FRctnglDev = new TRectangle(this);
    FRctnglDev->setObjectName(QStringLiteral("Rctngl_Dev"));
    FRctnglDev->setGeometry(10, 10, 45, 45);
    FRctnglDev->SetCornerRadius(5);
    FRctnglDev->SetStroke(Qt::white, 1);
    FRctnglDev->SetFillColor(QColor(220, 232, 242));
    FLblName = new QLabel(this);
    FLblName->setObjectName(QStringLiteral("FLbl_Name"));
    FLblName->setGeometry(66, 8, 200, 24);
    FLblName->setFont(PixelFont(15, true));
    SetTextColor(FLblName, ColorTitle);
    FLblMAC = new QLabel(this);
    FLblMAC->setObjectName(QStringLiteral("FLbl_MAC"));
    FLblMAC->setGeometry(66, 34, 200, 24);
    FLblMAC->setFont(PixelFont(15, true));
    SetTextColor(FLblMAC, ColorBar);
}

QString TCloudDevsCell::CellName() const {
    return FLblName->text();
}
void TCloudDevsCell::SetCellName(const QString& text) {
    FLblName->setText(text);
}
QString TCloudDevsCell::CellMAC() const {
    return FLblMAC->text();
}
void TCloudDevsCell::SetCellMAC(const QString& text) {
    FLblMAC->setText(text);
}
void TCloudDevsCell::SetPicture(const QImage& picture) {
    FPicture = picture;
    if (picture.isNull()) {
        FRctnglDev->SetFillColor(QColor(220, 232, 242));
        return;
    }
    // The row shows it small: scaled once here rather than at every paint.
    const qreal dpr = devicePixelRatioF();
    QImage shown = picture.scaled(FRctnglDev->size() * dpr, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    shown.setDevicePixelRatio(dpr);
    FRctnglDev->SetFillBitmap(TBitmap::FromImage(shown));
}

// ---------------------------------------------------------------------------------------------
// Building

TMainAccount::TMainAccount(Tfrm_Main* frm) : QObject(frm), FFrm(frm) {
    setObjectName(QStringLiteral("MainAccount"));
    ChooseImageFile = [this] {
        FFrm->BeforeModal();
        return QFileDialog::getOpenFileName(FFrm, {}, {},
                                            QStringLiteral("Image Files (*.jpg *.jpeg *.bmp *.png *.gif)"));
    };
    FPictures = new TPictureFetch(this);
    FPictures->setObjectName(QStringLiteral("CloudPictures"));
    FPictures->setServer(FFrm->Cloud()->Server());
    BuildUserPage();
    BuildLoginPanel();
    BuildRegister();
    BuildCloudPopup();

    // Popup buttons of the account and of the add popup.
    FFrm->SetPopHandler(1, [this] { AddDeviceAction(); });
    FFrm->SetPopHandler(2, [this] {
        FFrm->HidePop(POP_ADD);
        AfterAddPopup();
    });
    FFrm->SetPopHandler(12, [this] { ChangePasswordAction(); });
    FFrm->SetPopHandler(14, [this] { RegisterAction(); });
    FFrm->SetPopHandler(18, [this] { ActivateSelected(); });
    FFrm->SetPopHandler(TagCloudChange, [this] { ChangeCloudDev(); });
    FFrm->SetPopHandler(TagCloudRemove, [this] { RemoveCloudDev(); });
    FFrm->SetPopHandler(TagCloudImage, [this] { ChooseCloudImage(); });
    FFrm->SetPopHandler(TagCloudUpload, [this] { UploadCloudImage(); });

    if (TNEV_IOTDevList* list = FFrm->IOTDevList()) {
        // The relay server is the cloud server's host, also for the stored boards (they were
        // read with the host of the settings file, which the program's creator may replace).
        const QString relayHost = FFrm->Cloud()->Server().host();
        const quint16 relayPort = FFrm->Settings().IniTCPRemotePort();
        list->setCloudHost(relayHost, relayPort);
        for (int i = 0; i < list->DevCount(); ++i) {
            list->DevItems(i)->setNetIPStr(relayHost);
            list->DevItems(i)->setNetPort(relayPort);
        }
        list->setImageFetch(
            [pictures = QPointer<TPictureFetch>(FPictures), cloud = QPointer<CloudClient>(FFrm->Cloud())](
                const QString& url, QObject* context, std::function<void(const QImage&)> done) {
                if (!pictures)
                    return;
                if (cloud)
                    pictures->setServer(cloud->Server());
                pictures->Fetch(url, context, CloudPictureSize, std::move(done));
            });
    }
    // Closing the cloud popup or the device settings popup, however it is closed, discards the
    // downloaded list with its device passwords.
    for (const int pop : {int(POP_CLOUDDEV), int(POP_DEVINFO)})
        if (QWidget* w = FFrm->Pop(pop))
            w->installEventFilter(this);
}

void TMainAccount::BuildLoginPanel() {
    QWidget* back = FFrm->FUserLoginBack;
    auto* card = back->findChild<QWidget*>(QStringLiteral("img_User_LoginBack"));
    const int x = card->x() + 50;
    const int w = card->width() - 100;
    // Below the card's picture header.
    int y = card->y() + 108;
    FLoginAccount = FFrm->MakeEdit(back, QStringLiteral("edt_User_Login_Account"), QRect(x, y, w, 42));
    FFrm->Text(FLoginAccount, QStringLiteral("Account:"));
    y += 54;
    FLoginPassword =
        FFrm->MakeEdit(back, QStringLiteral("edt_User_Login_Password"), QRect(x, y, w, 42), true);
    FFrm->Text(FLoginPassword, QStringLiteral("Password:"));
    for (QLineEdit* e : {FLoginAccount, FLoginPassword})
        connect(e, &QLineEdit::returnPressed, this,
                [this] { img_User_LoginClick(QStringLiteral("img_User_Login_Login")); });
    y += 56;
    FRemPss = new QCheckBox(back);
    FRemPss->setObjectName(QStringLiteral("chk_User_Login_RemPSS"));
    FRemPss->setGeometry(x, y, w * 3 / 5, 30);
    FRemPss->setFont(PixelFont(15));
    SetTextColor(FRemPss, ColorTitle);
    FFrm->Text(FRemPss, QStringLiteral("Remember password"));
    FAutoLog = new QCheckBox(back);
    FAutoLog->setObjectName(QStringLiteral("chk_User_Login_AutoLog"));
    FAutoLog->setGeometry(x + w * 3 / 5, y, w - w * 3 / 5, 30);
    FAutoLog->setFont(PixelFont(15));
    SetTextColor(FAutoLog, ColorTitle);
    FFrm->Text(FAutoLog, QStringLiteral("Auto Login"));
    // Logging in automatically needs the password remembered.
    connect(FAutoLog, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            FRemPss->setChecked(true);
    });
    y += 40;
    auto* login = FFrm->MakeButton(back, QStringLiteral("img_User_Login_Login"), QStringLiteral("Login"), 0,
                                   QRect(x, y, w, 46), QStringLiteral("LoginBtn"));
    connect(login, &TImage::clicked, this,
            [this] { img_User_LoginClick(QStringLiteral("img_User_Login_Login")); });
    y += 54;
    auto* reg = new TUnderLineLbl(back);
    reg->setObjectName(QStringLiteral("lbl_User_Login_Register"));
    reg->setGeometry(x, y, w, 28);
    reg->setAlignment(Qt::AlignCenter);
    reg->setFont(PixelFont(15, true));
    reg->setCursor(Qt::PointingHandCursor);
    FFrm->Text(reg, QStringLiteral("Register"));
    connect(reg, &TUnderLineLbl::clicked, this,
            [this] { img_User_LoginClick(QStringLiteral("lbl_User_Login_Register")); });
}

void TMainAccount::BuildUserPage() {
    QWidget* page = FFrm->FUserPage;
    auto* scroll = new QScrollArea(page);
    scroll->setObjectName(QStringLiteral("vrtscrlbx_User_Back"));
    scroll->setGeometry(0, 56, Tfrm_Main::ClientWidth - Tfrm_Main::SideBarWidth,
                        Tfrm_Main::ClientHeight - 56);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(false);
    scroll->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
    scroll->viewport()->setAutoFillBackground(false);
    FUserScroll = scroll;
    auto* body = new QWidget;
    body->setObjectName(QStringLiteral("vrtscrlbx_User_Body"));
    body->setAutoFillBackground(false);
    const int w = scroll->width() - 16;
    const int left = (w - 600) / 2;
    int y = 20;

    auto heading = [&](const char* name, const char* english) {
        auto* l = FFrm->MakeLabel(body, QLatin1String(name), QLatin1String(english), QRect(left, y, 600, 34));
        l->setFont(PixelFont(17, true));
        SetTextColor(l, Qt::white);
        y += 40;
    };
    auto entry = [&](const char* name, const char* english) {
        auto* b = FFrm->MakeButton(body, QLatin1String(name), QLatin1String(english), 0,
                                   QRect(left, y, 600, 50), QStringLiteral("ListButton"));
        b->Lbl_Text()->setIndent(20);
        connect(b, &TImage::clicked, this, [this, n = QString::fromLatin1(name)] { img_User_LoginClick(n); });
        y += 58;
        return b;
    };
    auto row = [&](const char* labelName, const char* english) {
        auto* l = FFrm->MakeLabel(body, QLatin1String(labelName), QLatin1String(english),
                                  QRect(left, y, 170, 40), Qt::AlignRight | Qt::AlignVCenter);
        SetTextColor(l, ColorTitle);
        l->setFont(PixelFont(15, true));
    };
    auto edit = [&](const char* labelName, const char* english, const char* name) {
        row(labelName, english);
        auto* e = FFrm->MakeEdit(body, QLatin1String(name), QRect(left + 180, y, 420, 40));
        y += 48;
        return e;
    };
    auto value = [&](const char* labelName, const char* english, const char* name) {
        row(labelName, english);
        auto* l = new QLabel(body);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(left + 188, y, 412, 40);
        l->setFont(PixelFont(15));
        SetTextColor(l, Qt::white);
        y += 48;
        return l;
    };

    heading("lbl_User_AccountInfo", "Account Information");
    entry("img_User_NewPassword", "Change password");
    entry("img_User_logoff", "Log out");
    y += 6;
    heading("lbl_User_CloudServices", "Cloud services");
    entry("img_User_CloudDev", "Manage cloud devices");
    entry("img_User_Down", "Synchronized to local");
    entry("img_User_Up", "Synchronized to cloud");
    y += 6;
    heading("lbl_User_FeedbackInfo", "Feedback Information");
    auto* feed = entry("img_User_Feedlist", "Feedback");
    FFeedBadge = new TRectangle(feed);
    FFeedBadge->setObjectName(QStringLiteral("crcl_User_Feedlist_Count"));
    FFeedBadge->setGeometry(600 - 100, 10, 44, 30);
    FFeedBadge->SetCornerRadius(15);
    FFeedBadge->SetFillColor(ColorBadge);
    FFeedBadge->setAttribute(Qt::WA_TransparentForMouseEvents);
    FFeedCount = new QLabel(FFeedBadge);
    FFeedCount->setObjectName(QStringLiteral("lbl_User_Feedlist_Count"));
    FFeedCount->setGeometry(0, 0, 44, 30);
    FFeedCount->setAlignment(Qt::AlignCenter);
    FFeedCount->setFont(PixelFont(14, true));
    SetTextColor(FFeedCount, Qt::white);
    FFeedBadge->hide();
    y += 6;
    heading("lbl_User_UserInfo", "User information");
    FAccountLabel = value("lbl_User_Account_Label", "Account:", "lbl_User_Account");
    FAccountLabel->setFont(PixelFont(15, true));
    FNickName = edit("lbl_User_NickName", "NickName:", "edt_User_NickName");
    FEmail = edit("lbl_User_Email", "Email:", "edt_User_Email");
    FUserName = edit("lbl_User_UserName", "User Name:", "edt_User_UserName");
    FTel = edit("lbl_User_Tel", "Telephone:", "edt_User_Tel");
    FAddress = edit("lbl_User_Address", "Address:", "edt_User_Address");
    FRemark = edit("lbl_User_Remark", "Remark:", "edt_User_Remark");
    y += 4;
    entry("img_User_NewUserInfo", "Change information")->Lbl_Text()->setAlignment(Qt::AlignCenter);
    y += 6;
    heading("lbl_User_LoginInfo", "Login information");
    FLastTime = value("lbl_User_LastTime_Label", "last login time:", "lbl_User_LastTime");
    FLastIP = value("lbl_User_LastIP_Label", "last login IP:", "lbl_User_LastIP");
    y += 20;
    body->resize(w, y);
    scroll->setWidget(body);
    body->setAutoFillBackground(false);
    // The login panel lies over the page while nobody is logged in.
    FFrm->FUserLoginBack->raise();
}

void TMainAccount::BuildRegister() {
    QWidget* pop = FFrm->Pop(POP_REGISTER);
    const int step = 50;
    pop->resize(pop->width(), 76 + 9 * step + 74);
    const struct {
        const char* name;
        const char* english;
        bool masked;
    } fields[] = {
        {"edt_Register_Account", "Account:", false}, {"edt_Register_Password", "Password:", true},
        {"edt_Register_Retype", "Retype:", true},    {"edt_Register_NickName", "NickName:", false},
        {"edt_Register_Email", "Email:", false},     {"edt_Register_Name", "User Name:", false},
        {"edt_Register_Tel", "Telephone:", false},   {"edt_Register_Addr", "Address:", false},
        {"edt_Register_Remark", "Remark:", false},
    };
    int y = 70;
    for (int i = 0; i < 9; ++i, y += step) {
        const QString name = QLatin1String(fields[i].name);
        auto* e = pop->findChild<QLineEdit*>(name);
        auto* l = pop->findChild<QLabel*>(name + QStringLiteral("_Label"));
        if (!e) {
            l = FFrm->MakeLabel(pop, name + QStringLiteral("_Label"), QLatin1String(fields[i].english),
                                QRect(30, y, 150, 40), Qt::AlignRight | Qt::AlignVCenter);
            SetTextColor(l, ColorTitle);
            e = FFrm->MakeEdit(pop, name, QRect(190, y, pop->width() - 220, 40), fields[i].masked, 14);
        }
        l->move(l->x(), y);
        e->setGeometry(e->x(), y, e->width(), 42);
        if (i < 3)
            FFrm->Text(e, QStringLiteral("(Required)"));
    }
    for (const char* b : {"img_Register_Yes", "img_Register_No"})
        if (auto* w = pop->findChild<QWidget*>(QLatin1String(b)))
            w->move(w->x(), pop->height() - 64);
    pop->move((FFrm->width() - pop->width()) / 2, (FFrm->height() - pop->height()) / 2);
}

void TMainAccount::BuildCloudPopup() {
    QWidget* pop = FFrm->Pop(POP_CLOUDDEV);
    FCloudList = new QListWidget(pop);
    FCloudList->setObjectName(QStringLiteral("lst_Pop_CloudDev"));
    FCloudList->setGeometry(20, 66, 300, 370);
    FCloudList->setStyleSheet(
        QStringLiteral("QListWidget { border: 1px solid #9cc3dd; border-radius: 6px; background: white; }"
                       "QListWidget::item:selected { background: #d6ecfa; }"));
    connect(FCloudList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            ShowCloudDetails(row);
    });

    FCloudImg = new TRectangle(pop);
    FCloudImg->setObjectName(QStringLiteral("rctngl_Pop_CloudDev_img"));
    FCloudImg->setGeometry(340, 66, 120, 120);
    FCloudImg->SetCornerRadius(8);
    FCloudImg->SetStroke(QColor(156, 195, 221), 1);
    FCloudImg->SetFillColor(QColor(238, 244, 249));
    auto button = [this, pop](const char* name, const char* english, int tag, const QRect& r) {
        auto* b = FFrm->MakeButton(pop, QLatin1String(name), QLatin1String(english), tag, r);
        connect(b, &TImage::clicked, this, [this, tag] { FFrm->img_PopClick(tag); });
        return b;
    };
    button("img_Pop_CloudDev_ImgPath", "New Image", TagCloudImage, QRect(480, 90, 190, 40));
    button("img_Pop_CloudDev_Up", "Upload", TagCloudUpload, QRect(480, 140, 190, 40));

    auto row = [this, pop](const char* name, const char* english, int y) {
        auto* l = FFrm->MakeLabel(pop, QLatin1String(name) + QStringLiteral("_Label"), QLatin1String(english),
                                  QRect(330, y, 120, 38), Qt::AlignRight | Qt::AlignVCenter);
        SetTextColor(l, ColorTitle);
    };
    row("lbl_Pop_CloudDev_MAC", "Device MAC:", 200);
    FCloudMAC = new QLabel(pop);
    FCloudMAC->setObjectName(QStringLiteral("lbl_Pop_CloudDev_MAC"));
    FCloudMAC->setGeometry(460, 200, 220, 38);
    FCloudMAC->setFont(PixelFont(15, true));
    SetTextColor(FCloudMAC, ColorTitle);
    row("edt_Pop_CloudDev_Name", "Device name:", 246);
    FCloudName = FFrm->MakeEdit(pop, QStringLiteral("edt_Pop_CloudDev_Name"), QRect(460, 246, 220, 38));
    row("edt_Pop_CloudDev_PSD", "Password:", 292);
    FCloudPSD = FFrm->MakeEdit(pop, QStringLiteral("edt_Pop_CloudDev_PSD"), QRect(460, 292, 220, 38), true);
    row("lbl_Pop_CloudDev_Time", "Create time:", 338);
    FCloudTime = new QLabel(pop);
    FCloudTime->setObjectName(QStringLiteral("lbl_Pop_CloudDev_Time"));
    FCloudTime->setGeometry(460, 338, 220, 38);
    FCloudTime->setFont(PixelFont(15));
    SetTextColor(FCloudTime, ColorTitle);
    button("img_Pop_CloudDev_Change", "Change", TagCloudChange, QRect(350, 392, 150, 40));
    button("img_Pop_CloudDev_Remove", "Remove", TagCloudRemove, QRect(520, 392, 150, 40));
}

// ---------------------------------------------------------------------------------------------
// Login state

void TMainAccount::StartUp() {
    const TIniSettings& ini = FFrm->Settings();
    FRemPss->setChecked(ini.IniRemPss());
    FAutoLog->setChecked(ini.IniAutoLog());
    if (ini.IniRemPss() || ini.IniAutoLog()) {
        FLoginAccount->setText(ini.IniUserName());
        FLoginPassword->setText(ini.IniPassword());
        CloudSession.SetAccount(ini.IniUserName());
        CloudSession.SetPassword(ini.IniPassword());
    }
    if (ini.IniAutoLog() && LoginAction(ini.IniUserName(), ini.IniPassword(), true)) {
        FFrm->FUserLoginBack->hide();
        if (!FRemPss->isChecked()) {
            FLoginAccount->clear();
            FLoginPassword->clear();
        }
    }
}

void TMainAccount::ApplySession() {
    FFrm->UpdateLoginState();
    if (TNEV_IOTDevList* list = FFrm->IOTDevList())
        list->setRelaySession(CloudSession);
}

void TMainAccount::ConnectRelayDevices() {
    TNEV_IOTDevList* list = FFrm->IOTDevList();
    if (!list)
        return;
    // A running search connects them when it ends.
    if (FFrm->IOTUDP() && FFrm->IOTUDP()->Searching())
        return;
    list->CnntSvr();
}

void TMainAccount::DisconnectRelayDevices() {
    TNEV_IOTDevList* list = FFrm->IOTDevList();
    if (!list)
        return;
    const TNEV_IOTDevConn* now = list->NowDev();
    const bool remoteSelected = now && now->NetStyle() == TIOTNETSTYLE::NET_REMOTE;
    if (remoteSelected) {
        list->setAnimated(false);
        list->SetSelected(-1);
        if (OnRemoteSelectedLoggedOut)
            OnRemoteSelectedLoggedOut();
    }
    for (int i = 0; i < list->DevCount(); ++i) {
        TNEV_IOTDevConn* conn = list->DevItems(i);
        if (conn && conn->NetStyle() == TIOTNETSTYLE::NET_REMOTE)
            conn->setNetStyle(TIOTNETSTYLE::NET_DEFAULT);
    }
}

void TMainAccount::ReportFailure(const TCloudError& error) {
    FFrm->Msg(error.kind == TCloudError::Kind::BadReply ? ReplyUnreadable : ConnectFailed);
}

bool TMainAccount::LoginAction(const QString& account, const QString& password, bool silent) {
    const bool wasLogged = CloudSession.Logged;
    CloudSession.Logged = false;
    if (wasLogged) {
        DisconnectRelayDevices();
        DiscardCloudDevs();
    }
    ApplySession();
    auto say = [this, silent](const QString& text) {
        if (!silent)
            FFrm->Msg(text);
    };
    if (account.isEmpty() || password.isEmpty()) {
        say(QStringLiteral("account or password not correct"));
        return false;
    }
    if (account.size() > 32) {
        say(QStringLiteral("Account length requires 1 to 32 bytes!"));
        return false;
    }
    if (password.size() > 32) {
        say(QStringLiteral("Password length requires 1 to 32 bytes!"));
        return false;
    }
    const TCloudResult<TUserRead> r = FFrm->Cloud()->User_Login(account, password);
    if (r.Failed()) {
        if (!silent)
            ReportFailure(*r.Error);
        return false;
    }
    if (r.Reply.status == QLatin1String("0")) {
        say(r.Reply.info);
        return false;
    }
    const TUserReadData& d = r.Reply.data;
    CloudSession.Logged = true;
    CloudSession.UserID = d.id;
    CloudSession.SetAccount(account);
    CloudSession.SetPassword(password);
    bool countOk = false;
    SetFeedCount(d.feedbackcount.trimmed().toInt(&countOk));
    ShowUserFields(d);
    ApplySession();
    ConnectRelayDevices();
    if (!RemoteLoginFits(account, password))
        say(RemoteTooLong);
    return true;
}

void TMainAccount::ShowUserFields(const TUserReadData& d) {
    FAccountLabel->setText(d.account);
    FNickName->setText(d.nickname);
    FLastTime->setText(CloudTimeText(d.last_login_time));
    FLastIP->setText(d.last_login_ip);
    FEmail->setText(d.email);
    FUserName->setText(d.name);
    FTel->setText(d.tel);
    FAddress->setText(d.address);
    FRemark->setText(d.remark);
}

void TMainAccount::SetFeedCount(int count) {
    if (count <= 0) {
        FFeedBadge->hide();
        return;
    }
    FFeedCount->setText(count > 99 ? QStringLiteral("99+") : QString::number(count));
    FFeedBadge->show();
}

bool TMainAccount::LogOut() {
    FFrm->BeforeModal();
    if (!FFrm->FEnv.Messages->Confirm(FFrm, LangText(QStringLiteral("Are you sure you want to log off?"))))
        return false;
    CloudSession.Logged = false;
    CloudSession.AccountBuf.fill(0);
    CloudSession.PasswordBuf.fill(0);
    CloudSession.AccountText.clear();
    CloudSession.PasswordText.clear();
    DisconnectRelayDevices();
    DiscardCloudDevs();
    ApplySession();
    FAutoLog->setChecked(false);
    FRemPss->setChecked(false);
    FLoginAccount->clear();
    FLoginPassword->clear();
    FFrm->FUserLoginBack->show();
    FFrm->FUserLoginBack->raise();
    return true;
}

void TMainAccount::img_User_LoginClick(const QString& name) {
    if (FFrm->Locked())
        return;
    static const QStringList gated{
        QStringLiteral("img_User_NewPassword"), QStringLiteral("img_User_NewUserInfo"),
        QStringLiteral("img_User_logoff"),      QStringLiteral("img_User_CloudDev"),
        QStringLiteral("img_User_Down"),        QStringLiteral("img_User_Up")};
    if (gated.contains(name) && !CloudSession.Logged) {
        FFrm->Msg(QStringLiteral("Login first please"));
        return;
    }
    if (name == u"img_User_NewPassword") {
        FFrm->ShowPop(POP_PASSWORD);
    } else if (name == u"img_User_NewUserInfo") {
        ChangeInfoAction();
    } else if (name == u"img_User_Feedlist") {
        if (OnFeedList)
            OnFeedList();
    } else if (name == u"img_User_logoff") {
        LogOut();
    } else if (name == u"img_User_CloudDev") {
        if (DownloadCloudDevs()) {
            FFrm->ShowPop(POP_CLOUDDEV);
            FillCloudList();
        }
    } else if (name == u"img_User_Down") {
        SyncToLocal();
    } else if (name == u"img_User_Up") {
        SyncToCloud();
    } else if (name == u"img_User_Login_Login") {
        if (LoginAction(FLoginAccount->text(), FLoginPassword->text(), false)) {
            FFrm->FUserLoginBack->hide();
            FFrm->FUserLoginBack->lower();
            if (!FRemPss->isChecked()) {
                FLoginAccount->clear();
                FLoginPassword->clear();
            }
        }
    } else if (name == u"lbl_User_Login_Register") {
        FFrm->ShowPop(POP_REGISTER);
    }
}

bool TMainAccount::RegisterAction() {
    QWidget* pop = FFrm->Pop(POP_REGISTER);
    auto text = [pop](const char* name) { return pop->findChild<QLineEdit*>(QLatin1String(name))->text(); };
    const QString account = text("edt_Register_Account");
    const QString password = text("edt_Register_Password");
    if (account.isEmpty() || account.size() > 32) {
        FFrm->Msg(QStringLiteral("Account length requires 1 to 32 bytes!"));
        return false;
    }
    if (password.isEmpty() || password.size() > 32) {
        FFrm->Msg(QStringLiteral("Password length requires 1 to 32 bytes!"));
        return false;
    }
    if (password != text("edt_Register_Retype")) {
        FFrm->Msg(QStringLiteral("Two different password!"));
        return false;
    }
    // Such texts are registered but can never log in.
    if (!AccountTextProblem(account).isEmpty() || !AccountTextProblem(password).isEmpty()) {
        FFrm->Msg(BadAccountText);
        return false;
    }
    const TCloudResult<TJSInfoReturn> r = FFrm->Cloud()->User_Register(
        account, password, text("edt_Register_NickName"), text("edt_Register_Email"),
        text("edt_Register_Name"), text("edt_Register_Tel"), text("edt_Register_Addr"),
        text("edt_Register_Remark"));
    if (r.Failed()) {
        // Nothing was registered: the popup stays with what was typed.
        ReportFailure(*r.Error);
        return false;
    }
    if (r.Reply.status == QLatin1String("0")) {
        FFrm->Msg(r.Reply.info);
    } else if (r.Reply.status == QLatin1String("1")) {
        FFrm->Msg(QStringLiteral("Register ok!"));
        if (!RemoteLoginFits(account, password))
            FFrm->Msg(RemoteTooLong);
        for (QLineEdit* e : pop->findChildren<QLineEdit*>())
            e->clear();
    }
    FFrm->HidePop(POP_REGISTER);
    return true;
}

void TMainAccount::ChangeInfoAction() {
    const TCloudResult<TJSInfoReturn> r = FFrm->Cloud()->User_Edit(
        CloudSession.CloudAccount(), CloudSession.CloudPassword(), CloudSession.UserID, FNickName->text(),
        FEmail->text(), FUserName->text(), FTel->text(), FAddress->text(), FRemark->text());
    if (r.Failed()) {
        ReportFailure(*r.Error);
        return;
    }
    if (r.Reply.status == QLatin1String("0"))
        FFrm->Msg(r.Reply.info);
    else if (r.Reply.status == QLatin1String("1"))
        FFrm->Msg(QStringLiteral("User information change ok!"));
}

bool TMainAccount::ChangePasswordAction() {
    QWidget* pop = FFrm->Pop(POP_PASSWORD);
    auto* oldEdit = pop->findChild<QLineEdit*>(QStringLiteral("edt_PopPassword_OldPassword"));
    auto* newEdit = pop->findChild<QLineEdit*>(QStringLiteral("edt_PopPassword_NewPassword"));
    auto* retype = pop->findChild<QLineEdit*>(QStringLiteral("edt_PopPassword_Retype"));
    const QString fresh = newEdit->text();
    if (fresh.isEmpty() || fresh.size() > 32 || retype->text().isEmpty() || retype->text().size() > 32) {
        FFrm->Msg(QStringLiteral("Password length requires 1 to 32 bytes!"));
        return false;
    }
    if (fresh != retype->text()) {
        FFrm->Msg(QStringLiteral("Two different password!"));
        return false;
    }
    if (!AccountTextProblem(fresh).isEmpty()) {
        FFrm->Msg(BadAccountText);
        return false;
    }
    const TCloudResult<TJSInfoReturn> r = FFrm->Cloud()->User_Password(
        CloudSession.CloudAccount(), oldEdit->text(), CloudSession.UserID, fresh);
    if (r.Failed()) {
        ReportFailure(*r.Error);
        return false;
    }
    if (r.Reply.status == QLatin1String("0")) {
        FFrm->Msg(r.Reply.info);
        return false;
    }
    if (r.Reply.status != QLatin1String("1"))
        return false;
    FFrm->Msg(QStringLiteral("User password change ok!"));
    CloudSession.SetPassword(fresh);
    ApplySession();
    if (!RemoteLoginFits(CloudSession.CloudAccount(), fresh))
        FFrm->Msg(RemoteTooLong);
    FFrm->HidePop(POP_PASSWORD);
    for (QLineEdit* e : {oldEdit, newEdit, retype})
        e->clear();
    // A remembered login keeps working with the new password.
    if (FRemPss->isChecked() && !FLoginPassword->text().isEmpty())
        FLoginPassword->setText(fresh);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Boards in the cloud

TDevActive TMainAccount::ActivateDevice(const QString& mac, const QString& code) {
    TDevActive none;
    if (!CloudSession.Logged) {
        FFrm->Msg(QStringLiteral("Login first please"));
        return none;
    }
    const QString cloudMac = CloudMACText(mac);
    if (cloudMac.isEmpty()) {
        FFrm->Msg(QStringLiteral("Please enter a valid MAC address!"));
        return none;
    }
    const TCloudResult<TDevActive> r = FFrm->Cloud()->Device_Active(
        CloudSession.CloudAccount(), CloudSession.CloudPassword(), cloudMac, code.toLower());
    if (r.Failed()) {
        ReportFailure(*r.Error);
        return none;
    }
    if (r.Reply.status == QLatin1String("1")) {
        FFrm->Msg(QStringLiteral("Device activation successful!"));
        return r.Reply;
    }
    if (r.Reply.status != QLatin1String("0"))
        return none;
    // The reason, then what goes with it: "2,alice" or 2,"an account".
    QStringList items;
    {
        QString cur;
        bool quoted = false;
        for (const QChar c : r.Reply.info) {
            if (c == u'"') {
                quoted = !quoted;
            } else if (!quoted && (c == u',' || c.isSpace())) {
                if (!cur.isEmpty())
                    items << cur;
                cur.clear();
            } else {
                cur += c;
            }
        }
        if (!cur.isEmpty())
            items << cur;
    }
    bool ok = false;
    const int reason = items.isEmpty() ? -1 : items.first().toInt(&ok);
    if (!ok)
        return none;
    switch (reason) {
    case 0:
        FFrm->Msg(QStringLiteral("Device is not in the cloud server!"));
        break;
    case 1:
        FFrm->Msg(QStringLiteral("Device disable remote control!"));
        break;
    case 2:
        FFrm->BeforeModal();
        FFrm->FEnv.Messages->ShowMessage(FFrm, LangActivatedBy(items.value(1)));
        break;
    case 3:
    case 4:
        FFrm->Msg(QStringLiteral("Device activation failed!"));
        break;
    default:
        break;
    }
    return none;
}

bool TMainAccount::AddDeviceAction() {
    QWidget* pop = FFrm->Pop(POP_ADD);
    const QString mac = pop->findChild<QLineEdit*>(QStringLiteral("edt_PopAdd_MAC"))->text();
    const QString code = pop->findChild<QLineEdit*>(QStringLiteral("edt_PopAdd_Activation"))->text();
    if (code.isEmpty()) {
        FFrm->Msg(QStringLiteral("Please enter an activation code"));
        return false;
    }
    const TDevActive r = ActivateDevice(mac, code);
    if (r.status != QLatin1String("1"))
        return false;
    const TDevActiveData& a = r.data;
    TDevInfoData d;
    d.id = a.id;
    d.mac = a.mac.isEmpty() ? CloudMACText(mac) : a.mac;
    d.name = a.name;
    d.pass = a.pass;
    d.func = a.func;
    d._type = a._type;
    d.hardver = a.hardver;
    d.softver = a.softver;
    d.status = a.status;
    d.uid = a.uid;
    d.create_time = a.create_time;
    if (TNEV_IOTDevList* list = FFrm->IOTDevList()) {
        list->setRelaySession(CloudSession);
        list->Add(d);
    }
    FFrm->SaveDevList();
    pop->findChild<QLineEdit*>(QStringLiteral("edt_PopAdd_Activation"))->clear();
    FFrm->HidePop(POP_ADD);
    AfterAddPopup();
    return true;
}

void TMainAccount::ActivateSelected() {
    if (!CloudSession.Logged) {
        FFrm->Msg(QStringLiteral("Login first please"));
        return;
    }
    const TNEV_IOTDevList* list = FFrm->IOTDevList();
    const TNEV_IOTDevConn* dev = list ? list->NowDev() : nullptr;
    if (!dev)
        return;
    QWidget* pop = FFrm->Pop(POP_ADD);
    pop->findChild<QLineEdit*>(QStringLiteral("edt_PopAdd_MAC"))->setText(dev->DevMACStr());
    auto* code = pop->findChild<QLineEdit*>(QStringLiteral("edt_PopAdd_Activation"));
    code->clear();
    FAddOverSettings = FFrm->PopVisible(POP_DEVINFO);
    FFrm->ShowPop(POP_ADD);
    code->setFocus(Qt::OtherFocusReason);
}

void TMainAccount::AfterAddPopup() {
    // Opened over the settings popup: back to it.
    if (FAddOverSettings && FFrm->PopVisible(POP_DEVINFO))
        FFrm->ShowPop(POP_DEVINFO);
    FAddOverSettings = false;
}

bool TMainAccount::DownloadCloudDevs() {
    FCloudDevs.status = QStringLiteral("0");
    const TCloudResult<TCloudDevs> r =
        FFrm->Cloud()->Device_Download(CloudSession.CloudAccount(), CloudSession.CloudPassword());
    if (r.Failed()) {
        FCloudDevs = TCloudDevs{};
        FFrm->Msg(SyncFailed);
        return false;
    }
    FCloudDevs = r.Reply;
    if (FCloudDevs.status != QLatin1String("0"))
        return FCloudDevs.status == QLatin1String("1");
    FFrm->Msg(FCloudDevs.info.isEmpty() ? SyncFailed : FCloudDevs.info);
    return false;
}

bool TMainAccount::eventFilter(QObject* watched, QEvent* event) {
    // Sent for an explicit hide only, not when the window itself is minimised or hidden.
    if (event->type() == QEvent::HideToParent &&
        (watched == FFrm->Pop(POP_CLOUDDEV) || watched == FFrm->Pop(POP_DEVINFO)))
        DiscardCloudDevs();
    return QObject::eventFilter(watched, event);
}

void TMainAccount::DiscardCloudDevs() {
    if (FDiscarding)
        return;
    FDiscarding = true;
    FCloudDevs = TCloudDevs{};
    ClearCloudList();
    FCloudMAC->clear();
    FCloudName->clear();
    FCloudPSD->clear();
    FCloudTime->clear();
    ShowCloudPicture({});
    if (FFrm->PopVisible(POP_CLOUDDEV))
        FFrm->HidePop(POP_CLOUDDEV);
    FDiscarding = false;
}

void TMainAccount::ClearCloudList() {
    const QSignalBlocker quiet(FCloudList);
    for (int i = 0; i < FCloudList->count(); ++i)
        if (QWidget* cell = FCloudList->itemWidget(FCloudList->item(i)))
            FPictures->Abandon(cell);
    FCloudList->clear();
}

void TMainAccount::FillCloudList() {
    if (FCloudDevs.status == QLatin1String("0"))
        return;
    ClearCloudList();
    ShowCloudPicture({});
    FCloudMAC->clear();
    FCloudName->clear();
    FCloudPSD->clear();
    FCloudTime->clear();
    FPictures->setServer(FFrm->Cloud()->Server());
    const QSignalBlocker quiet(FCloudList);
    // The rows show at once; each picture fills in as it arrives. Inserted in one go: a row
    // inserted on its own lays out every row widget already there.
    FCloudList->setUpdatesEnabled(false);
    FCloudList->addItems(QStringList(FCloudDevs.data.size(), QString()));
    for (int i = 0; i < FCloudDevs.data.size(); ++i) {
        const TDevInfoData& d = FCloudDevs.data.at(i);
        QListWidgetItem* item = FCloudList->item(i);
        auto* cell = new TCloudDevsCell;
        cell->SetCellName(d.name);
        const std::optional<QString> shown = NormalizeMACText(d.mac);
        cell->SetCellMAC(shown.value_or(d.mac));
        item->setSizeHint(QSize(0, TCloudDevsCell::CellHeight));
        FCloudList->setItemWidget(item, cell);
        FPictures->Fetch(d.img, cell, CloudPictureSize,
                         [this, row = QPointer<TCloudDevsCell>(cell)](const QImage& picture) {
                             CloudRowPicture(row, picture);
                         });
    }
    FCloudList->setUpdatesEnabled(true);
    if (FCloudList->count() > 0) {
        FCloudList->setCurrentRow(0);
        ShowCloudDetails(0);
    }
}

void TMainAccount::CloudRowPicture(const QPointer<TCloudDevsCell>& cell, const QImage& picture) {
    // A picture that could not be had keeps what the row shows.
    if (!cell || picture.isNull())
        return;
    cell->SetPicture(picture);
    // The details show this row: its picture too, unless the user has chosen a new one.
    const int row = FCloudList->currentRow();
    if (!FCloudPictureChosen && row >= 0 && FCloudList->itemWidget(FCloudList->item(row)) == cell.data())
        ShowCloudPicture(picture);
}

void TMainAccount::ShowCloudDetails(int index) {
    if (index < 0 || index >= FCloudDevs.data.size() || index >= FCloudList->count())
        return;
    const TDevInfoData& d = FCloudDevs.data.at(index);
    FCloudMAC->setText(NormalizeMACText(d.mac).value_or(d.mac));
    FCloudName->setText(d.name);
    FCloudPSD->setText(d.pass);
    FCloudTime->setText(CloudTimeText(d.create_time));
    const auto* cell = qobject_cast<TCloudDevsCell*>(FCloudList->itemWidget(FCloudList->item(index)));
    FCloudPictureChosen = false;
    ShowCloudPicture(cell ? cell->Picture() : QImage());
}

void TMainAccount::ShowCloudPicture(const QImage& picture) {
    FCloudPicture = picture;
    if (picture.isNull())
        FCloudImg->SetFillColor(QColor(238, 244, 249));
    else
        FCloudImg->SetFillBitmap(TBitmap::FromImage(picture));
}

int TMainAccount::SelectedRow() const {
    const int row = FCloudList->currentRow();
    if (row < 0 || row >= FCloudList->count() || row >= FCloudDevs.data.size())
        return -1;
    if (!FCloudList->item(row)->isSelected())
        return -1;
    return row;
}

bool TMainAccount::CheckSelection() {
    if (SelectedRow() < 0) {
        FFrm->Msg(QStringLiteral("Please select the device you want to delete!"));
        return false;
    }
    return true;
}

void TMainAccount::ChangeCloudDev() {
    if (!CheckSelection())
        return;
    const int row = SelectedRow();
    const QString mac = FCloudDevs.data.at(row).mac;
    const QString name = FCloudName->text();
    const QString pass = FCloudPSD->text();
    const TCloudResult<TJSInfoReturn> r =
        FFrm->Cloud()->Device_Update(CloudSession.CloudAccount(), CloudSession.CloudPassword(),
                                     CloudMACText(mac).isEmpty() ? mac : CloudMACText(mac), name, pass);
    if (r.Failed()) {
        ReportFailure(*r.Error);
        return;
    }
    if (r.Reply.status == QLatin1String("0")) {
        FFrm->Msg(r.Reply.info);
    } else if (r.Reply.status == QLatin1String("1")) {
        FFrm->Msg(QStringLiteral("Device information has been updated!"));
        if (row < FCloudDevs.data.size()) {
            FCloudDevs.data[row].name = name;
            FCloudDevs.data[row].pass = pass;
        }
        if (auto* cell = qobject_cast<TCloudDevsCell*>(FCloudList->itemWidget(FCloudList->item(row))))
            cell->SetCellName(name);
    }
}

void TMainAccount::RemoveCloudDev() {
    FFrm->BeforeModal();
    if (!FFrm->FEnv.Messages->Confirm(
            FFrm, LangText(QStringLiteral("Remove the device can be used to re-activate the remote control, "
                                          "determine to continue anyway?"))))
        return;
    if (!CheckSelection())
        return;
    const int row = SelectedRow();
    const TCloudResult<TJSInfoReturn> r = FFrm->Cloud()->Device_Delete(
        CloudSession.CloudAccount(), CloudSession.CloudPassword(), FCloudDevs.data.at(row).mac);
    if (r.Failed()) {
        ReportFailure(*r.Error);
        return;
    }
    if (r.Reply.status == QLatin1String("0")) {
        FFrm->Msg(r.Reply.info);
    } else if (r.Reply.status == QLatin1String("1")) {
        FFrm->Msg(QStringLiteral("Device has been removed!"));
        // The row and its record go together, so nothing later can address the removed board.
        if (row < FCloudDevs.data.size() && row < FCloudList->count()) {
            FCloudDevs.data.removeAt(row);
            const QSignalBlocker quiet(FCloudList);
            if (QWidget* cell = FCloudList->itemWidget(FCloudList->item(row)))
                FPictures->Abandon(cell);
            delete FCloudList->takeItem(row);
            FCloudList->setCurrentRow(-1);
            FCloudList->clearSelection();
        }
        FCloudMAC->clear();
        FCloudName->clear();
        FCloudPSD->clear();
        FCloudTime->clear();
        ShowCloudPicture({});
    }
}

void TMainAccount::ChooseCloudImage() {
    if (SelectedRow() < 0)
        return;
    const QString file = ChooseImageFile ? ChooseImageFile() : QString();
    if (file.isEmpty())
        return;
    const QImage chosen(file);
    if (chosen.isNull()) {
        FFrm->Msg(QStringLiteral("Failed to upload picture!"));
        return;
    }
    // Drawn on white, so that a picture with transparency looks as it will on the board's row.
    QImage picture = WhitePicture();
    QPainter p(&picture);
    p.drawImage(QRect(0, 0, 200, 200),
                chosen.scaled(200, 200, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    p.end();
    ShowCloudPicture(picture);
    FCloudPictureChosen = true;
}

QString TMainAccount::UploadFile() const {
    return QDir(DevImgDir()).filePath(QStringLiteral("Upload.jpg"));
}

void TMainAccount::UploadCloudImage() {
    const int row = SelectedRow();
    if (row < 0) {
        FFrm->Msg(QStringLiteral("Please select the device you want to delete!"));
        return;
    }
    if (FCloudPicture.isNull()) {
        FFrm->Msg(QStringLiteral("Failed to upload picture!"));
        return;
    }
    const QString file = UploadFile();
    if (!FCloudPicture.save(file, "JPG")) {
        FFrm->Msg(QStringLiteral("Failed to upload picture!"));
        return;
    }
    const TCloudResult<TJSInfoReturn> r = FFrm->Cloud()->Device_UploadImg(
        CloudSession.CloudAccount(), CloudSession.CloudPassword(), FCloudDevs.data.at(row).mac, file);
    if (r.Failed()) {
        ReportFailure(*r.Error);
        return;
    }
    if (r.Reply.status == QLatin1String("0")) {
        FFrm->Msg(r.Reply.info.isEmpty() ? QStringLiteral("Failed to upload picture!") : r.Reply.info);
    } else if (r.Reply.status == QLatin1String("1")) {
        FFrm->Msg(QStringLiteral("Uploaded successfully!"));
        if (auto* cell = qobject_cast<TCloudDevsCell*>(FCloudList->itemWidget(FCloudList->item(row)))) {
            // The cloud's older picture, still on its way, must not cover the new one.
            FPictures->Abandon(cell);
            cell->SetPicture(FCloudPicture);
        }
    }
}

void TMainAccount::SyncToLocal() {
    if (DownloadCloudDevs()) {
        if (TNEV_IOTDevList* list = FFrm->IOTDevList()) {
            list->setRelaySession(CloudSession);
            list->Down2local(FCloudDevs);
            FFrm->SaveDevList();
        }
        FFrm->Msg(QStringLiteral("Synchronization is complete!"));
    }
    FCloudDevs.status = QStringLiteral("0");
}

void TMainAccount::SyncToCloud() {
    if (!DownloadCloudDevs())
        return;
    const TNEV_IOTDevList* list = FFrm->IOTDevList();
    const TCloudDevs cloud = FCloudDevs;
    bool allOk = true;
    QString failure;
    for (const TDevInfoData& d : cloud.data) {
        const std::optional<QString> shown = NormalizeMACText(d.mac);
        if (!shown || !list)
            continue;
        const TNEV_IOTDevConn* local = nullptr;
        for (int i = 0; i < list->DevCount() && !local; ++i)
            if (list->DevItems(i) && list->DevItems(i)->DevMACStr() == *shown)
                local = list->DevItems(i);
        if (!local)
            continue;
        const TCloudResult<TJSInfoReturn> u =
            FFrm->Cloud()->Device_Update(CloudSession.CloudAccount(), CloudSession.CloudPassword(), d.mac,
                                         local->DevNameStr(), local->DevPasswordStr());
        if (u.Failed() || u.Reply.status != QLatin1String("1")) {
            allOk = false;
            if (!u.Failed() && u.Reply.status == QLatin1String("0") && failure.isEmpty())
                failure = u.Reply.info;
            continue;
        }
        // The board's own picture goes up with it; a board without one keeps the cloud's.
        const QImage picture = LoadDevImage(*shown);
        if (picture.isNull())
            continue;
        const QString file = UploadFile();
        if (!picture.save(file, "JPG")) {
            allOk = false;
            continue;
        }
        const TCloudResult<TJSInfoReturn> up = FFrm->Cloud()->Device_UploadImg(
            CloudSession.CloudAccount(), CloudSession.CloudPassword(), d.mac, file);
        if (up.Failed() || up.Reply.status != QLatin1String("1")) {
            allOk = false;
            if (!up.Failed() && up.Reply.status == QLatin1String("0") && failure.isEmpty())
                failure = up.Reply.info;
        }
    }
    FCloudDevs.status = QStringLiteral("0");
    if (allOk)
        FFrm->Msg(QStringLiteral("Synchronization is complete!"));
    else
        FFrm->Msg(failure.isEmpty() ? SyncFailed : failure);
}
