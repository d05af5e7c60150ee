#include "frmMain.h"
#include "frmMainDevSink.h"

#include "nevGPIOAPI.h"
#include "nevIOTJSONAPI.h"
#include "nevIOTTCPProtocol.h"
#include "untAddRouter.h"
#include "untAnchorMenu.h"
#include "untBitmap.h"
#include "untBusyIndicator.h"
#include "untIOTDev.h"
#include "untIOTDevList.h"
#include "untIOTDevListView.h"
#include "untIOTUDP.h"
#include "untImgBtn.h"
#include "untImgSwitch.h"
#include "untIni.h"
#include "untLang.h"
#include "untMainAccount.h"
#include "untMainMessages.h"
#include "untPopImgLst.h"
#include "untPressPictures.h"
#include "untResImages.h"
#include "untTextStyle.h"
#include "untUnderLineLbl.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPropertyAnimation>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>
#include <QUrl>

namespace {

const QString EditStyle = QStringLiteral(
    "QLineEdit { border: 1px solid #9cc3dd; border-radius: 6px; padding: 0 8px; background: white;"
    " color: #0b4368; selection-background-color: #1379b9; }"
    "QLineEdit:focus { border: 2px solid #1379b9; }");
const QString MemoStyle = QStringLiteral(
    "QPlainTextEdit { border: 1px solid #9cc3dd; border-radius: 6px; padding: 4px; background: white;"
    " color: #0b4368; }");

// Clears every masked box under a popup, so that no password stays behind a hidden popup.
void ClearPasswordBoxes(QWidget* root) {
    if (!root)
        return;
    for (QLineEdit* e : root->findChildren<QLineEdit*>())
        if (e->echoMode() != QLineEdit::Normal)
            e->clear();
}

// The language switch's track and knob.
TBitmap SwitchPicture(bool on, bool pressed) {
    const QString track = on ? QStringLiteral("#1379B9") : QStringLiteral("#B8C7D3");
    const QString knob = pressed ? QStringLiteral("#E2F4FD") : QStringLiteral("#FFFFFF");
    const int cx = on ? 42 : 18;
    return TBitmap::FromSvg(
        QStringLiteral("<svg xmlns='http://www.w3.org/2000/svg' width='60' height='36' "
                       "viewBox='0 0 60 36'><rect x='2' y='4' width='56' height='28' rx='14' "
                       "fill='%1'/><circle cx='%2' cy='18' r='11' fill='%3'/></svg>")
            .arg(track)
            .arg(cx)
            .arg(knob)
            .toUtf8(),
        on ? QStringLiteral("Switch_ON") : QStringLiteral("Switch_OFF"));
}

} // namespace

Tfrm_Main::Tfrm_Main(TMainEnv env, QWidget* parent) : QWidget(parent), FEnv(std::move(env)) {
    if (!FEnv.Messages)
        FEnv.Messages = std::make_shared<TDialogMessageService>();
    setObjectName(QStringLiteral("frm_Main"));
    resize(ClientWidth, ClientHeight);
    setMinimumSize(ClientWidth, ClientHeight);

    // 1. The string table.
    BuildLangTable();

    // The frame, then the theme and the shared pictures.
    FContent = new QWidget(this);
    FContent->setObjectName(QStringLiteral("rctngl_Main_Content"));
    BuildSideBar();
    BuildPages();
    BuildOverlays();
    BuildPopups();
    BuildLock();
    FStartup = new TRectangle(this);
    FStartup->setObjectName(QStringLiteral("rctngl_Startup"));
    FStartup->SetFillColor(ColorTitle);
    {
        auto* logo = new TImage(FStartup);
        logo->setObjectName(QStringLiteral("img_Startup_Logo"));
        logo->SetBitmap(ResBitmap(QStringLiteral("Main_Boy")));
        logo->setGeometry((ClientWidth - 160) / 2, (ClientHeight - 200) / 2 - 30, 160, 200);
        auto* title = new QLabel(FStartup);
        title->setObjectName(QStringLiteral("lbl_Startup_Title"));
        title->setAlignment(Qt::AlignCenter);
        title->setFont(PixelFont(22, true));
        SetTextColor(title, Qt::white);
        title->setGeometry(0, (ClientHeight + 200) / 2 - 20, ClientWidth, 40);
        Text(title, QStringLiteral("Quillet"));
    }
    FStartup->raise();
    LoadMainImages();

    // 2. The picture picker: above its anchor, centred, 250 wide, items 60 x 60.
    FPopImgLst = new TPopImageList(this);
    FPopImgLst->setObjectName(QStringLiteral("PopImgLst"));
    FPopImgLst->SetPlacement(TPlacement::TopCenter);
    FPopImgLst->resize(250, FPopImgLst->height());
    FPopImgLst->SetClientSquare(60);

    // 3. The cloud client.
    FIni = std::make_unique<TIniSettings>(
        FEnv.SettingsFolder.isEmpty() ? DefaultSettingsFolder() : FEnv.SettingsFolder, FEnv.MachineKey);
    // 4. The settings file (the account pages log in silently from here when asked to).
    FIni->IniLoad();
    // The remembered login is the session's until the account pages log in or out.
    if (FIni->IniRemPss() || FIni->IniAutoLog()) {
        CloudSession.SetAccount(FIni->IniUserName());
        CloudSession.SetPassword(FIni->IniPassword());
    }
    const QString server = !FEnv.CloudServer.isEmpty() ? FEnv.CloudServer : FIni->IniCloudServer();
    FCloud = new CloudClient(server.isEmpty() ? CloudClient::DefaultServer() : QUrl(server), this);

    CreateLists();
    FAccount = new TMainAccount(this);
    // A remote board selected at log-out loses its panel and its controller.
    FAccount->OnRemoteSelectedLoggedOut = [this] {
        FDevEvents->Select(nullptr);
        FTaskPopup->ForgetRequests();
        FCtrlList->SetAppeared(false);
    };

    // 5. The encoder and decoder; its events are wired by the query chain.
    FGPIOAPI = std::make_unique<TNEV_GPIOAPI>();

    FTmrRed = new QTimer(this);
    FTmrRed->setObjectName(QStringLiteral("tmr_Red"));
    FTmrRed->setInterval(FEnv.RedMs);
    FTmrRed->setSingleShot(true);
    FTmrRedClose = new QTimer(this);
    FTmrRedClose->setObjectName(QStringLiteral("tmr_RedClose"));
    FTmrRedClose->setInterval(FEnv.RedCloseMs);
    FTmrRedClose->setSingleShot(true);

    // 6. The stored language; this also sets the title and every text.
    FLangSwitch->SetisON(FIni->IniLanguage());
    swh_Msg_Lang_StateSwitch();

    // 7. The LAN search and a first search.
    CreateSearch();
    // The remembered login; its relay boards connect when the first search ends.
    FAccount->StartUp();
    FNowMainPage = TAB_DEVICE;
    SelectMainTab(TAB_DEVICE);

    // The conversation kept from earlier runs; the message page's tab when the settings ask.
    FMessages = new TMainMessages(this);
    FAccount->OnFeedList = [this] { FMessages->OpenFeedList(); };
    FTabRows.value(TAB_MESSAGE)->setVisible(FIni->IniMessagePage());
    LayoutTabs();

    // 8. Done: the splash goes, the lock comes when one is stored.
    FStartup->hide();
    LockScreen(!FIni->IniReadLock().isEmpty());

    // 9. The router join endpoint. A taken port leaves it unbound; "Search" tries again.
    FAddRouter = new TAddRouter(FEnv.RouterPort, FEnv.RouterBroadcast, FEnv.RouterTargetPort, this);
    WireRouterJoin();

    LayoutFrame();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

Tfrm_Main::~Tfrm_Main() {
    Shutdown(false);
}

// ---------------------------------------------------------------------------------------------
// Building

void Tfrm_Main::Text(QObject* target, const QString& english) {
    FTexts.append({target, english});
    const QString shown = LangText(english);
    if (auto* btn = qobject_cast<TImageButton*>(target))
        btn->SetText(shown);
    else if (auto* swh = qobject_cast<TImageSwitch*>(target))
        swh->SetText(shown);
    else if (auto* edit = qobject_cast<QLineEdit*>(target))
        edit->setPlaceholderText(shown);
    else if (auto* memo = qobject_cast<QPlainTextEdit*>(target))
        memo->setPlaceholderText(shown);
    else if (auto* label = qobject_cast<QLabel*>(target))
        label->setText(shown);
    else if (auto* check = qobject_cast<QCheckBox*>(target))
        check->setText(shown);
}

void Tfrm_Main::Relabel() {
    const QList<TLabelText> texts = std::exchange(FTexts, {});
    for (const TLabelText& t : texts)
        if (t.Target)
            Text(t.Target, t.English);
    if (FMenuLight)
        ShowTouchMode(FTouchShown);
    // The search overlay's lines were composed at run time: looked up again.
    for (QLabel* tip : {FSearchTips1, FSearchTips2})
        tip->setText(LangLookup(tip->property("english").toString()));
    UpdateLoginState();
    setWindowTitle(LangChoose(TLangChoice::WindowTitle));
}

TImageButton* Tfrm_Main::MakeButton(QWidget* parent, const QString& name, const QString& english, int tag,
                                    const QRect& r, const QString& picture) {
    auto* b =
        new TImageButton(parent, {}, ResBitmap(picture + QStringLiteral("_N")),
                         ResBitmap(picture + QStringLiteral("_HL")), r.x(), r.y(), r.width(), r.height());
    b->setObjectName(name);
    b->SetTag(tag);
    b->setCursor(Qt::PointingHandCursor);
    b->Lbl_Text()->setFont(PixelFont(picture == QLatin1String("ListButton") ? 16 : 15, true));
    // Dark captions on the light push and list buttons, white on the orange login button.
    SetTextColor(b->Lbl_Text(), picture == QLatin1String("LoginBtn") ? QColor(Qt::white) : ColorTitle);
    if (picture == QLatin1String("ListButton"))
        b->Lbl_Text()->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Text(b, english);
    return b;
}

QLineEdit* Tfrm_Main::MakeEdit(QWidget* parent, const QString& name, const QRect& r, bool masked,
                               int enterTag) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setGeometry(r);
    e->setStyleSheet(EditStyle);
    e->setFont(PixelFont(15));
    if (masked)
        e->setEchoMode(QLineEdit::Password);
    if (enterTag >= 0)
        connect(e, &QLineEdit::returnPressed, this, [this, enterTag] { img_PopClick(enterTag); });
    return e;
}

QLabel* Tfrm_Main::MakeLabel(QWidget* parent, const QString& name, const QString& english, const QRect& r,
                             Qt::Alignment align) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setGeometry(r);
    l->setAlignment(align);
    l->setFont(PixelFont(15));
    Text(l, english);
    return l;
}

void Tfrm_Main::BuildSideBar() {
    FSideBar = new TRectangle(FContent);
    FSideBar->setObjectName(QStringLiteral("rctngl_MainSetting_Back"));
    FSideBar->setGeometry(0, 0, SideBarWidth, ClientHeight);

    auto* title = new TImage(FSideBar);
    title->setObjectName(QStringLiteral("img_MainSetting_Title"));
    title->setGeometry(0, 0, SideBarWidth, 150);
    FLogState = new TImage(title);
    FLogState->setObjectName(QStringLiteral("img_MainSetting_LogState"));
    FLogState->setGeometry((SideBarWidth - 64) / 2, 22, 64, 64);
    FLogState->setAttribute(Qt::WA_TransparentForMouseEvents);
    FLoginLabel = new QLabel(title);
    FLoginLabel->setObjectName(QStringLiteral("lbl_MainSetting_Title_Info"));
    FLoginLabel->setGeometry(0, 96, SideBarWidth, 30);
    FLoginLabel->setAlignment(Qt::AlignCenter);
    FLoginLabel->setFont(PixelFont(17, true));
    SetTextColor(FLoginLabel, Qt::white);
    FLoginLabel->setText(LangChoose(TLangChoice::Unlogged));
    connect(title, &TImage::clicked, this, [this] { img_MainSettingClick(TAB_USER); });

    struct TRow {
        int tag;
        const char* name;
        const char* icon;
        const char* label;
        const char* english;
    };
    const TRow rows[] = {
        {TAB_DEVICE, "img_Dev", "img_Dev_Ico", "lbl_Dev", "Device"},
        {TAB_USER, "img_Setting", "img_Setting_Ico", "lbl_Setting", "User"},
        {TAB_MESSAGE, "img_Info", "img_Info_Ico", "lbl_Info", "Message"},
        {TAB_MORE, "img_Other", "img_Other_Ico", "lbl_Other", "More"},
    };
    for (const TRow& r : rows) {
        auto* row = new TImage(FSideBar);
        row->setObjectName(QLatin1String(r.name));
        row->SetTag(r.tag);
        row->resize(SideBarWidth, 56);
        row->setCursor(Qt::PointingHandCursor);
        auto* icon = new TImage(row);
        icon->setObjectName(QLatin1String(r.icon));
        icon->SetTag(r.tag);
        icon->setGeometry(44, 12, 32, 32);
        icon->setAttribute(Qt::WA_TransparentForMouseEvents);
        auto* label = new QLabel(row);
        label->setObjectName(QLatin1String(r.label));
        label->setProperty("Tag", r.tag);
        label->setGeometry(92, 0, 130, 56);
        label->setFont(PixelFont(18, true));
        SetTextColor(label, Qt::white);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        Text(label, QLatin1String(r.english));
        connect(row, &TImage::clicked, this, [this, tag = r.tag] { img_MainSettingClick(tag); });
        FTabRows.insert(r.tag, row);
    }
    // The message page stays out of the bar unless the settings ask for it.
    FTabRows.value(TAB_MESSAGE)->hide();

    auto makeLang = [this](int tag, const char* name, const char* text, int x) {
        auto* r = new TRectangle(FSideBar);
        r->setObjectName(QLatin1String(name));
        r->SetTag(tag);
        r->setGeometry(x, ClientHeight - 58, 80, 34);
        r->SetCornerRadius(6);
        r->SetStroke(QColor(255, 255, 255, 110), 1);
        r->setCursor(Qt::PointingHandCursor);
        auto* l = new QLabel(r);
        l->setObjectName(QLatin1String(name) + QStringLiteral("_Text"));
        l->setGeometry(0, 0, 80, 34);
        l->setAlignment(Qt::AlignCenter);
        l->setFont(PixelFont(15, true));
        SetTextColor(l, Qt::white);
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        Text(l, QLatin1String(text));
        connect(r, &TRectangle::clicked, this, [this, tag] { img_MainSettingClick(tag); });
        return r;
    };
    FLangCN = makeLang(TAB_CN, "rctngl_MainSetting_CN", "CN", 27);
    FLangEN = makeLang(TAB_EN, "rctngl_MainSetting_EN", "EN", 123);
    LayoutTabs();
}

void Tfrm_Main::LayoutTabs() {
    int y = 170;
    for (int tag : {TAB_DEVICE, TAB_USER, TAB_MESSAGE, TAB_MORE}) {
        QWidget* row = FTabRows.value(tag);
        if (row->isHidden())
            continue;
        row->move(0, y);
        y += 56 + 6;
    }
}

void Tfrm_Main::BuildPages() {
    FPageArea = new QWidget(FContent);
    FPageArea->setObjectName(QStringLiteral("rctngl_Main_Pages"));

    FDevPage = new TRectangle(FPageArea);
    FDevPage->setObjectName(QStringLiteral("rctngl_Dev_Back"));
    static_cast<TRectangle*>(FDevPage)->SetFillColor(QColor(238, 244, 249));

    auto makePage = [this](const char* name, const char* titleName, const char* titleLabel,
                           const char* english) {
        auto* page = new TRectangle(FPageArea);
        page->setObjectName(QLatin1String(name));
        page->hide();
        auto* title = new TRectangle(page);
        title->setObjectName(QLatin1String(titleName));
        title->setGeometry(0, 0, ClientWidth - SideBarWidth, 56);
        auto* l = new QLabel(title);
        l->setObjectName(QLatin1String(titleLabel));
        l->setGeometry(24, 0, 400, 56);
        l->setFont(PixelFont(20, true));
        SetTextColor(l, Qt::white);
        Text(l, QLatin1String(english));
        return page;
    };
    FUserPage = makePage("rctngl_User_Back", "rctngl_User_Title", "lbl_User_Title", "User");
    FUserLoginBack = new TRectangle(FUserPage);
    FUserLoginBack->setObjectName(QStringLiteral("rctngl_User_LoginBack"));
    FUserLoginBack->setGeometry(0, 56, ClientWidth - SideBarWidth, ClientHeight - 56);
    FUserLoginBack->SetFillBitmap(ResBitmap(QStringLiteral("Login_BG")), TRectangle::TWrapMode::Tile);
    auto* loginBack = new TImage(FUserLoginBack);
    loginBack->setObjectName(QStringLiteral("img_User_LoginBack"));
    loginBack->SetBitmap(ResBitmap(QStringLiteral("Account_BG")));
    loginBack->setGeometry((ClientWidth - SideBarWidth - 400) / 2, 90, 400, 360);

    FMsgPage = makePage("rctngl_Msg_Back", "rctngl_Msg_Title", "lbl_Msg_Title", "Message");
    auto* refresh = new TImage(FMsgPage->findChild<QWidget*>(QStringLiteral("rctngl_Msg_Title")));
    refresh->setObjectName(QStringLiteral("img_Msg_Title_Refresh"));
    refresh->setGeometry(ClientWidth - SideBarWidth - 52, 12, 32, 32);
    refresh->setCursor(Qt::PointingHandCursor);
    auto* newsList = new TRectangle(FMsgPage);
    newsList->setObjectName(QStringLiteral("rctngl_Msg_Newslist"));
    newsList->setGeometry(40, 76, ClientWidth - SideBarWidth - 80, ClientHeight - 96);
    newsList->SetCornerRadius(8);

    FMorePage = makePage("rctngl_More_Back", "rctngl_More_Title", "lbl_More_Title", "More");
    BuildMorePage();
}

void Tfrm_Main::BuildMorePage() {
    const int w = ClientWidth - SideBarWidth;
    const int left = (w - 600) / 2;

    auto* langRow = new TRectangle(FMorePage);
    langRow->setObjectName(QStringLiteral("rctngl_More_Lang"));
    langRow->setGeometry(left, 80, 600, 50);
    langRow->SetCornerRadius(8);
    auto* langLabel = MakeLabel(langRow, QStringLiteral("lbl_More_Lang"), QStringLiteral("Language 语言"),
                                QRect(20, 0, 300, 50));
    langLabel->setFont(PixelFont(16, true));
    SetTextColor(langLabel, ColorTitle);
    FLangSwitch = new TImageSwitch(langRow, SwitchPicture(true, false), SwitchPicture(false, true),
                                   SwitchPicture(false, false), 530, 7, 60, 36);
    FLangSwitch->setObjectName(QStringLiteral("swh_Msg_Lang_State"));
    FLangSwitch->OnSwhClick = [this](TImageSwitch*) { swh_Msg_Lang_StateSwitch(); };
    auto* langState = MakeLabel(langRow, QStringLiteral("lbl_Msg_Lang_State"), QStringLiteral("English"),
                                QRect(380, 0, 140, 50), Qt::AlignRight | Qt::AlignVCenter);
    SetTextColor(langState, ColorBar);

    auto* about = MakeButton(FMorePage, QStringLiteral("img_More_AboutUs"), QStringLiteral("About us"), 2,
                             QRect(left, 140, 600, 50), QStringLiteral("ListButton"));
    about->Lbl_Text()->setIndent(20);
    connect(about, &TImage::clicked, this, [this] { Img_MorClick(2); });

    auto* lockRow = new TRectangle(FMorePage);
    lockRow->setObjectName(QStringLiteral("rctngl_More_LockRow"));
    lockRow->setGeometry(left, 200, 600, 50);
    lockRow->SetCornerRadius(8);
    auto* lockLabel = MakeLabel(lockRow, QStringLiteral("lbl_More_Lock"), QStringLiteral("Lock screen"),
                                QRect(20, 0, 300, 50));
    lockLabel->setFont(PixelFont(16, true));
    SetTextColor(lockLabel, ColorTitle);
    auto* lock = MakeButton(lockRow, QStringLiteral("img_More_Lock"), QStringLiteral("Lock"), 5,
                            QRect(600 - 130, 5, 120, 40));
    connect(lock, &TImage::clicked, this, [this] { Img_MorClick(5); });

    auto* unlock = MakeButton(FMorePage, QStringLiteral("img_More_Unlock"), QStringLiteral("Unlock screen"),
                              6, QRect(left, 260, 600, 50), QStringLiteral("ListButton"));
    unlock->Lbl_Text()->setIndent(20);
    connect(unlock, &TImage::clicked, this, [this] { Img_MorClick(6); });

    auto* feedTitle = MakeLabel(FMorePage, QStringLiteral("lbl_More_Feedback"), QStringLiteral("Feedback"),
                                QRect(left, 326, 600, 30));
    feedTitle->setFont(PixelFont(16, true));
    SetTextColor(feedTitle, ColorTitle);
    auto* memo = new QPlainTextEdit(FMorePage);
    memo->setObjectName(QStringLiteral("mmo_More_Msg"));
    memo->setGeometry(left, 360, 600, 130);
    memo->setStyleSheet(MemoStyle);
    memo->setFont(PixelFont(15));
    auto* contact = MakeLabel(FMorePage, QStringLiteral("lbl_More_Contact"), QStringLiteral("Contact"),
                              QRect(left, 500, 110, 40));
    SetTextColor(contact, ColorTitle);
    auto* contactEdit =
        MakeEdit(FMorePage, QStringLiteral("edt_More_Contact"), QRect(left + 110, 500, 490, 40));
    Text(contactEdit, QStringLiteral("(Email , QQ , Telphone ... )"));
    auto* send =
        MakeButton(FMorePage, QStringLiteral("img_Msg_FeedBack"), QStringLiteral("Anonymous feedback"), 3,
                   QRect(left, 556, 600, 50), QStringLiteral("ListButton"));
    send->Lbl_Text()->setAlignment(Qt::AlignCenter);
    connect(send, &TImage::clicked, this, [this] { Img_MorClick(3); });
}

void Tfrm_Main::BuildOverlays() {
    FSearching = new TRectangle(FContent);
    FSearching->setObjectName(QStringLiteral("img_Searching_back"));
    static_cast<TRectangle*>(FSearching)->SetFillColor(QColor(11, 67, 104, 170));
    FSearching->hide();
    auto* panel = new TRectangle(FSearching);
    panel->setObjectName(QStringLiteral("rctngl_Searching_Panel"));
    panel->SetFillColor(QColor(11, 67, 104, 235));
    panel->SetCornerRadius(14);
    panel->resize(460, 200);
    FSearchingBusy = new TBusyIndicator(panel);
    FSearchingBusy->setObjectName(QStringLiteral("andctr_Searching"));
    FSearchingBusy->setGeometry(200, 24, 60, 60);
    FSearchTips1 = new QLabel(panel);
    FSearchTips1->setObjectName(QStringLiteral("lbl_Searching_Tips1"));
    FSearchTips1->setGeometry(10, 100, 440, 36);
    FSearchTips1->setAlignment(Qt::AlignCenter);
    FSearchTips1->setFont(PixelFont(19, true));
    SetTextColor(FSearchTips1, Qt::white);
    FSearchTips2 = new QLabel(panel);
    FSearchTips2->setObjectName(QStringLiteral("lbl_Searching_Tips2"));
    FSearchTips2->setGeometry(10, 140, 440, 30);
    FSearchTips2->setAlignment(Qt::AlignCenter);
    FSearchTips2->setFont(PixelFont(14));
    SetTextColor(FSearchTips2, QColor(200, 228, 246));

    FMsging = new TRectangle(FContent);
    FMsging->setObjectName(QStringLiteral("img_Msging_back"));
    static_cast<TRectangle*>(FMsging)->SetFillColor(QColor(255, 255, 255, 200));
    FMsging->hide();
    FMsgingBusy = new TBusyIndicator(FMsging);
    FMsgingBusy->setObjectName(QStringLiteral("andctr_Msging"));
    FMsgingBusy->SetColor(ColorBar);
    FMsgingBusy->resize(56, 56);
    auto* loading = MakeLabel(FMsging, QStringLiteral("lbl_Msging"), QStringLiteral("Loading ..."),
                              QRect(0, 0, 300, 30), Qt::AlignCenter);
    SetTextColor(loading, ColorTitle);

    FPopBack = new TRectangle(FContent);
    FPopBack->setObjectName(QStringLiteral("rctngl_Pop_Back"));
    FPopBack->SetFillColor(QColor(0, 0, 0, 128));
    FPopBack->SetTag(0);
    FPopBack->hide();
    connect(FPopBack, &TRectangle::clicked, this, [this] { img_PopClick(0); });
}

TRectangle* Tfrm_Main::MakePop(int n, const QString& name, const QString& title, const QSize& size,
                               const QString& closeName, int closeTag) {
    auto* pop = new TRectangle(FContent);
    pop->setObjectName(name);
    pop->resize(size);
    pop->SetCornerRadius(10);
    pop->SetFillColor(Qt::white);
    pop->hide();
    auto* bar = new TRectangle(pop);
    bar->setObjectName(name + QStringLiteral("_Title"));
    bar->setGeometry(0, 0, size.width(), 50);
    bar->SetFillColor(ColorBar);
    bar->SetCornerRadius(10);
    auto* caption =
        MakeLabel(bar, name + QStringLiteral("_Caption"), title, QRect(20, 0, size.width() - 80, 50));
    caption->setFont(PixelFont(18, true));
    SetTextColor(caption, Qt::white);
    if (!closeName.isEmpty()) {
        auto* close = new TImage(bar);
        close->setObjectName(closeName);
        close->SetTag(closeTag);
        close->setGeometry(size.width() - 44, 9, 32, 32);
        close->setCursor(Qt::PointingHandCursor);
        connect(close, &TImage::clicked, this, [this, closeTag] { img_PopClick(closeTag); });
    }
    FPops.insert(n, pop);
    return pop;
}

void Tfrm_Main::BuildPopups() {
    auto field = [this](QWidget* pop, const QString& label, const QString& name, int y, bool masked,
                        int enterTag, int labelWidth = 150) {
        auto* l = MakeLabel(pop, name + QStringLiteral("_Label"), label, QRect(30, y, labelWidth, 40),
                            Qt::AlignRight | Qt::AlignVCenter);
        SetTextColor(l, ColorTitle);
        return MakeEdit(pop, name, QRect(40 + labelWidth, y, pop->width() - 70 - labelWidth, 40), masked,
                        enterTag);
    };
    auto buttons = [this](QWidget* pop, const QString& yes, const QString& yesText, int yesTag,
                          const QString& no, const QString& noText, int noTag) {
        const int y = pop->height() - 64;
        const int mid = pop->width() / 2;
        auto* b1 = MakeButton(pop, yes, yesText, yesTag, QRect(mid - 140, y, 120, 40));
        connect(b1, &TImage::clicked, this, [this, yesTag] { img_PopClick(yesTag); });
        auto* b2 = MakeButton(pop, no, noText, noTag, QRect(mid + 20, y, 120, 40));
        connect(b2, &TImage::clicked, this, [this, noTag] { img_PopClick(noTag); });
    };

    auto* add =
        MakePop(POP_ADD, QStringLiteral("rctngl_Pop_Add"), QStringLiteral("Add Device"), {520, 260}, {}, 2);
    add->SetFillBitmap(ResBitmap(QStringLiteral("Pop_BG")), TRectangle::TWrapMode::Tile);
    field(add, QStringLiteral("Device MAC:"), QStringLiteral("edt_PopAdd_MAC"), 74, false, 1);
    field(add, QStringLiteral("Activation code:"), QStringLiteral("edt_PopAdd_Activation"), 126, false, 1);
    buttons(add, QStringLiteral("img_PopAdd_Yes"), QStringLiteral("Add"), 1, QStringLiteral("img_PopAdd_No"),
            QStringLiteral("Cancel"), 2);
    // A board the search cannot find (another subnet, a VPN, a router) is added by its address.
    auto* byAddress = new TUnderLineLbl(add);
    byAddress->setObjectName(QStringLiteral("lbl_PopAdd_ByAddress"));
    byAddress->setFont(PixelFont(14, true));
    byAddress->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    byAddress->setGeometry(add->width() - 190, 168, 160, 24);
    Text(byAddress, QStringLiteral("By address"));
    connect(byAddress, &TUnderLineLbl::clicked, this, [this] { img_PopClick(41); });

    auto* password = MakePop(POP_PASSWORD, QStringLiteral("rctngl_Pop_Password"),
                             QStringLiteral("Change password"), {480, 310}, {}, 13);
    password->SetFillBitmap(ResBitmap(QStringLiteral("Pop_BG")), TRectangle::TWrapMode::Tile);
    field(password, QStringLiteral("Old:"), QStringLiteral("edt_PopPassword_OldPassword"), 70, true, 12, 100);
    field(password, QStringLiteral("New:"), QStringLiteral("edt_PopPassword_NewPassword"), 120, true, 12,
          100);
    field(password, QStringLiteral("Retype:"), QStringLiteral("edt_PopPassword_Retype"), 170, true, 12, 100);
    buttons(password, QStringLiteral("img_PopPassword_Yes"), QStringLiteral("OK"), 12,
            QStringLiteral("img_PopPassword_No"), QStringLiteral("Cancel"), 13);

    auto* reg = MakePop(POP_REGISTER, QStringLiteral("rctngl_Pop_Register"), QStringLiteral("Register"),
                        {520, 360}, QStringLiteral("img_Pop_Register_Close"), 15);
    field(reg, QStringLiteral("Account:"), QStringLiteral("edt_Register_Account"), 76, false, 14);
    field(reg, QStringLiteral("Password:"), QStringLiteral("edt_Register_Password"), 128, true, 14);
    field(reg, QStringLiteral("Retype:"), QStringLiteral("edt_Register_Retype"), 180, true, 14);
    buttons(reg, QStringLiteral("img_Register_Yes"), QStringLiteral("Register"), 14,
            QStringLiteral("img_Register_No"), QStringLiteral("Cancel"), 15);

    auto* devInfo =
        MakePop(POP_DEVINFO, QStringLiteral("rctngl_Pop_DevInfo"), QStringLiteral("Device setting"),
                {700, 560}, QStringLiteral("img_Pop_DevInfo_Close"), 19);
    devInfo->SetFillColor(ColorBar);
    auto* devInfoBody = new TRectangle(devInfo);
    devInfoBody->setObjectName(QStringLiteral("rctngl_Pop_DevInfo_Body"));
    devInfoBody->setGeometry(10, 56, 680, 494);
    devInfoBody->SetCornerRadius(8);
    BuildDevInfo(devInfoBody);

    auto* cloud =
        MakePop(POP_CLOUDDEV, QStringLiteral("rctngl_Pop_CloudDev"), QStringLiteral("Cloud devices"),
                {700, 520}, QStringLiteral("img_Pop_CloudDev_Close"), 22);
    cloud->findChild<TRectangle*>(QStringLiteral("rctngl_Pop_CloudDev_Title"))->SetFillColor(ColorTitle);
    cloud->SetFillBitmap(ResBitmap(QStringLiteral("Pop_BG")), TRectangle::TWrapMode::Tile);
    auto* finish = MakeButton(cloud, QStringLiteral("img_Pop_CloudDev_Finish"), QStringLiteral("Finish"), 22,
                              QRect(290, 456, 120, 40));
    connect(finish, &TImage::clicked, this, [this] { img_PopClick(22); });

    auto* rename = MakePop(POP_RENAME, QStringLiteral("rctngl_Pop_ReName"), QStringLiteral("Change IO name"),
                           {480, 210}, {}, 10);
    rename->SetFillBitmap(ResBitmap(QStringLiteral("Pop_BG")), TRectangle::TWrapMode::Tile);
    field(rename, QStringLiteral("New name:"), QStringLiteral("edt_Pop_Input_Text"), 76, false, 9, 110);
    buttons(rename, QStringLiteral("img_Pop_Input_Yes"), QStringLiteral("OK"), 9,
            QStringLiteral("img_Pop_Input_No"), QStringLiteral("Cancel"), 10);

    auto* feed =
        MakePop(POP_FEEDLIST, QStringLiteral("rctngl_Pop_FeedList"), QStringLiteral("Feedback Information"),
                {600, 520}, QStringLiteral("img_Pop_FeedList_Close"), 29);
    auto* feedList = new QWidget(feed);
    feedList->setObjectName(QStringLiteral("rctngl_Pop_FeedList_Body"));
    feedList->setGeometry(20, 60, 560, 380);
    MakeEdit(feed, QStringLiteral("edt_Pop_FeedList_Text"), QRect(20, 456, 420, 40), false, 28);
    auto* send = MakeButton(feed, QStringLiteral("img_Pop_FeedList_Send"), QStringLiteral("Send"), 28,
                            QRect(460, 456, 120, 40));
    connect(send, &TImage::clicked, this, [this] { img_PopClick(28); });

    auto* red = MakePop(POP_REDSTUDY, QStringLiteral("rctngl_Pop_RedStudy"), QStringLiteral("Infrared study"),
                        {420, 330}, {}, 35);
    red->SetFillBitmap(ResBitmap(QStringLiteral("Pop_BG")), TRectangle::TWrapMode::Tile);
    const char* const redTexts[] = {"A single learning", "Double learning", "Three learning", "Cancel"};
    for (int i = 0; i < 4; ++i) {
        const int tag = 32 + i;
        auto* b =
            MakeButton(red, QStringLiteral("img_RedStudy_PopBtn%1").arg(i + 1), QLatin1String(redTexts[i]),
                       tag, QRect(30, 66 + i * 62, 360, 50), QStringLiteral("ListButton"));
        b->Lbl_Text()->setAlignment(Qt::AlignCenter);
        connect(b, &TImage::clicked, this, [this, tag] { img_PopClick(tag); });
    }

    auto* mini = MakePop(POP_ADDMINI, QStringLiteral("rctngl_Pop_Addmini"), QStringLiteral("Add Device"),
                         {520, 360}, QStringLiteral("img_Pop_Addmini_Close"), 40);
    field(mini, QStringLiteral("MAC:"), QStringLiteral("edt_PopAddmini_MAC"), 70, false, 39);
    field(mini, QStringLiteral("IP/DNS:"), QStringLiteral("edt_PopAddmini_IP"), 120, false, 39);
    field(mini, QStringLiteral("Port:"), QStringLiteral("edt_PopAddmini_Port"), 170, false, 39);
    field(mini, QStringLiteral("Password:"), QStringLiteral("edt_PopAddmini_PSD"), 220, true, 39);
    buttons(mini, QStringLiteral("img_Addmini_Yes"), QStringLiteral("Add"), 39,
            QStringLiteral("img_Addmini_No"), QStringLiteral("Cancel"), 40);

    // The device control menu and the infrared cell menu.
    auto menu = [this](const QString& name, const QList<std::tuple<const char*, const char*, int>>& items) {
        auto* m = new TAnchorMenu(FContent);
        m->setObjectName(name);
        m->SetFillBitmap(ResBitmap(QStringLiteral("Pop_BG")), TRectangle::TWrapMode::Tile);
        m->SetCornerRadius(10);
        m->SetStroke(QColor(19, 121, 185, 120), 1);
        m->resize(180, 16 + int(items.size()) * 48);
        int y = 12;
        for (const auto& [btnName, english, tag] : items) {
            auto* b =
                MakeButton(m, QLatin1String(btnName), QLatin1String(english), tag, QRect(20, y, 140, 40));
            connect(b, &TImage::clicked, this, [this, tag = tag] { img_PopClick(tag); });
            y += 48;
        }
        return m;
    };
    FMenuLight = menu(QStringLiteral("Pop_DevCtrl_Light"), {{"img_DevCtrl_PopBtn1", "All ON", 7},
                                                            {"img_DevCtrl_PopBtn2", "All OFF", 8},
                                                            {"img_DevCtrl_PopBtn3", "Touch mode", 11},
                                                            {"img_DevCtrl_PopBtn4", "Start mode", 31},
                                                            {"img_DevCtrl_PopBtn5", "Add infrared", 36}});
    FMenuRed = menu(QStringLiteral("Pop_DevCtrl_Red"),
                    {{"img_DevCtrl_ReStudy", "Re learning", 37}, {"img_DevCtrl_Remove", "Remove", 38}});
    // The touch-mode button's caption is chosen by language and mode, not looked up.
    FTexts.removeIf(
        [](const TLabelText& t) { return t.Target && t.Target->objectName() == u"img_DevCtrl_PopBtn3"; });
    ShowTouchMode(true);
}

void Tfrm_Main::ShowTouchMode(bool touch) {
    auto* b = findChild<TImageButton*>(QStringLiteral("img_DevCtrl_PopBtn3"));
    FTouchShown = touch;
    b->SetBitmaps({}, ResBitmap(touch ? QStringLiteral("Button_N") : QStringLiteral("Button_HL")),
                  ResBitmap(touch ? QStringLiteral("Button_N") : QStringLiteral("Button_HL")));
    b->SetText(LangChoose(touch ? TLangChoice::TouchMode : TLangChoice::JogMode));
}

void Tfrm_Main::BuildDevInfo(QWidget* body) {
    auto label = [this, body](const QString& name, const char* english, const QRect& r,
                              bool heading = false) {
        auto* l = MakeLabel(body, name, QLatin1String(english), r,
                            heading ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
        l->setFont(PixelFont(heading ? 16 : 15, heading));
        SetTextColor(l, ColorTitle);
        return l;
    };
    auto button = [this, body](const char* name, const char* english, int tag, const QRect& r) {
        auto* b = MakeButton(body, QLatin1String(name), QLatin1String(english), tag, r);
        connect(b, &TImage::clicked, this, [this, tag] { img_PopClick(tag); });
        return b;
    };

    auto* picture = new TRectangle(body);
    picture->setObjectName(QStringLiteral("rctngl_Pop_DevInfo_NewImg"));
    picture->setGeometry(20, 20, 200, 200);
    picture->SetCornerRadius(8);
    picture->SetStroke(QColor(156, 195, 221), 1);
    button("img_Pop_DevInfo_AddNewImg", "New Image", 23, QRect(20, 232, 112, 38));
    button("img_Pop_DevInfo_NewImg", "Change", 24, QRect(140, 232, 80, 38));
    button("img_Pop_DevInfo_ACT", "Activation", 18, QRect(20, 290, 200, 40));

    label(QStringLiteral("lbl_Pop_DevInfo_DevName"), "Device name:", QRect(236, 16, 140, 36));
    MakeEdit(body, QStringLiteral("edt_Pop_DevInfo_DevName"), QRect(384, 16, 170, 36), false, 16);
    button("img_Pop_DevInfo_DevName", "Change", 16, QRect(564, 14, 100, 40));

    label(QStringLiteral("lbl_Pop_DevInfo_Old"), "Old:", QRect(236, 62, 140, 36));
    MakeEdit(body, QStringLiteral("edt_Pop_DevInfo_Old"), QRect(384, 62, 170, 36), true, 17);
    label(QStringLiteral("lbl_Pop_DevInfo_New"), "New:", QRect(236, 104, 140, 36));
    MakeEdit(body, QStringLiteral("edt_Pop_DevInfo_New"), QRect(384, 104, 170, 36), true, 17);
    label(QStringLiteral("lbl_Pop_DevInfo_Retype"), "Retype:", QRect(236, 146, 140, 36));
    MakeEdit(body, QStringLiteral("edt_Pop_DevInfo_Retype"), QRect(384, 146, 170, 36), true, 17);
    button("img_Pop_DevInfo_PSD", "Change", 17, QRect(564, 144, 100, 40));

    auto* io = new QWidget(body);
    io->setObjectName(QStringLiteral("rctngl_Pop_DevInfo_IO"));
    io->setGeometry(236, 194, 440, 146);
    {
        auto* head = MakeLabel(io, QStringLiteral("lbl_Pop_DevInfo_IOSetting"), QStringLiteral("IO setting:"),
                               QRect(0, 0, 200, 30));
        head->setFont(PixelFont(16, true));
        SetTextColor(head, ColorTitle);
        const std::tuple<const char*, const char*, int, int> spins[] = {
            {"spnbx_Pop_DevInfo_Out", "Output:", 0, 36},
            {"spnbx_Pop_DevInfo_In", "Input:", 170, 36},
            {"spnbx_Pop_DevInfo_PWM", "PWM:", 0, 76},
            {"spnbx_Pop_DevInfo_AD", "REG:", 170, 76},
        };
        for (const auto& [name, english, x, y] : spins) {
            auto* l = MakeLabel(io, QLatin1String(name) + QStringLiteral("_Label"), QLatin1String(english),
                                QRect(x, y, 80, 34), Qt::AlignRight | Qt::AlignVCenter);
            SetTextColor(l, ColorTitle);
            auto* spin = new QSpinBox(io);
            spin->setObjectName(QLatin1String(name));
            spin->setRange(0, 255);
            spin->setGeometry(x + 88, y, 70, 34);
            spin->setFont(PixelFont(15));
        }
        auto* autoSave = new QCheckBox(io);
        autoSave->setObjectName(QStringLiteral("chk_Pop_DevInfo_IO_Save"));
        autoSave->setGeometry(20, 112, 200, 28);
        autoSave->setFont(PixelFont(15));
        Text(autoSave, QStringLiteral("Auto save"));
        auto* change = MakeButton(io, QStringLiteral("img_Pop_DevInfo_IO"), QStringLiteral("Change"), 25,
                                  QRect(328, 104, 100, 40));
        connect(change, &TImage::clicked, this, [this] { img_PopClick(25); });
    }

    auto* router = new QWidget(body);
    router->setObjectName(QStringLiteral("rctngl_Pop_DevInfo_Router"));
    router->setGeometry(236, 346, 440, 140);
    {
        auto* head = MakeLabel(router, QStringLiteral("lbl_Pop_DevInfo_Router"),
                               QStringLiteral("Add to router:"), QRect(0, 0, 300, 30));
        head->setFont(PixelFont(16, true));
        SetTextColor(head, ColorTitle);
        auto* nameLabel =
            MakeLabel(router, QStringLiteral("lbl_Pop_DevInfo_RouterName"), QStringLiteral("SSID Name:"),
                      QRect(0, 38, 140, 36), Qt::AlignRight | Qt::AlignVCenter);
        SetTextColor(nameLabel, ColorTitle);
        auto* names = new QComboBox(router);
        names->setObjectName(QStringLiteral("edt_Pop_DevInfo_RouterSearch"));
        names->setEditable(true);
        names->setGeometry(148, 38, 170, 36);
        names->setFont(PixelFont(15));
        auto* search = MakeButton(router, QStringLiteral("img_Pop_DevInfo_RouterSearch"),
                                  QStringLiteral("Search"), 42, QRect(328, 36, 100, 40));
        connect(search, &TImage::clicked, this, [this] { img_PopClick(42); });
        auto* pwdLabel =
            MakeLabel(router, QStringLiteral("lbl_Pop_DevInfo_RouterPWD"), QStringLiteral("SSID Password:"),
                      QRect(0, 84, 140, 36), Qt::AlignRight | Qt::AlignVCenter);
        SetTextColor(pwdLabel, ColorTitle);
        MakeEdit(router, QStringLiteral("edt_Pop_DevInfo_RouterPWD"), QRect(148, 84, 170, 36), true, 43);
        auto* add = MakeButton(router, QStringLiteral("img_Pop_DevInfo_RouterAdd"), QStringLiteral("Add"), 43,
                               QRect(328, 82, 100, 40));
        connect(add, &TImage::clicked, this, [this] { img_PopClick(43); });
    }
}

void Tfrm_Main::BuildLock() {
    FLock = new TRectangle(this);
    FLock->setObjectName(QStringLiteral("rctngl_Lock"));
    FLock->SetFillBitmap(ResBitmap(QStringLiteral("Login_BG")), TRectangle::TWrapMode::Tile);
    FLock->hide();
    auto* panel = new TRectangle(FLock);
    panel->setObjectName(QStringLiteral("rctngl_Lock_Panel"));
    panel->SetFillColor(QColor(11, 67, 104, 235));
    panel->SetCornerRadius(16);
    panel->resize(420, 330);
    auto* icon = new TImage(panel);
    icon->setObjectName(QStringLiteral("img_Lock_Icon"));
    icon->SetBitmap(ResBitmap(QStringLiteral("Lock")));
    icon->setGeometry(174, 28, 72, 72);
    auto* caption = MakeLabel(panel, QStringLiteral("lbl_Lock_Unlock"), QStringLiteral(" Unlock screen "),
                              QRect(0, 112, 420, 36), Qt::AlignCenter);
    caption->setFont(PixelFont(20, true));
    SetTextColor(caption, Qt::white);
    FLockEdit = MakeEdit(panel, QStringLiteral("edt_Lock_Unlock"), QRect(80, 168, 260, 42), true, 30);
    Text(FLockEdit, QStringLiteral("Lock password"));
    auto* unlock = MakeButton(panel, QStringLiteral("img_Lock_Unlock"), QStringLiteral("Unlock"), 30,
                              QRect(110, 236, 200, 44), QStringLiteral("LoginBtn"));
    connect(unlock, &TImage::clicked, this, [this] { img_PopClick(30); });
}

void Tfrm_Main::LoadMainImages() {
    FSideBar->SetFillColor(ColorBar);
    for (const char* name : {"rctngl_Msg_Back", "rctngl_More_Back", "rctngl_User_Back"})
        findChild<TRectangle*>(QLatin1String(name))->SetFillColor(ColorPage);
    for (const char* name : {"rctngl_Msg_Title", "rctngl_More_Title", "rctngl_User_Title"})
        findChild<TRectangle*>(QLatin1String(name))->SetFillColor(ColorTitle);
    findChild<TRectangle*>(QStringLiteral("rctngl_Msg_Newslist"))->SetFillColor(QColor(250, 237, 227));
    findChild<TImage*>(QStringLiteral("img_MainSetting_Title"))
        ->SetBitmap(ResBitmap(QStringLiteral("Log_BG")));
    findChild<TImage*>(QStringLiteral("img_Msg_Title_Refresh"))
        ->SetBitmap(ResBitmap(QStringLiteral("Refresh_N")));
    LoadCtrlListImgs();
    // Press pictures of every named button of the frame.
    static const TPressPictures press;
    press.AttachByName(this);
    ResetMainTabs();
    SelectMainTab(TAB_DEVICE);
    UpdateLoginState();
}

void Tfrm_Main::SaveDevList() {
    if (FShutDown || !FDevList)
        return;
    const TIniSaveResult saved = FIni->IniWriteDevs(FDevList->GetIniDevs());
    // One message per kind of failure, not one per search.
    if (!saved.Repeated)
        ShowSaveResult(saved.Ok, saved.Message);
}

void Tfrm_Main::SaveDevListSoon() {
    if (FDevListSavePending)
        return;
    FDevListSavePending = true;
    // The end of a search updates the list and connects its boards; the disk flush of the save
    // then waits for the next pass instead of lengthening that one.
    QTimer::singleShot(0, this, [this] {
        FDevListSavePending = false;
        SaveDevList();
    });
}

void Tfrm_Main::CreateSearch() {
    const quint16 port = FEnv.SearchPort.value_or(FIni->IniUDPSCanPort());
    FIOTUDP = new TNEV_IOTUDP(port, FEnv.SearchBroadcast, FEnv.SearchTargetPort, this);
    FIOTUDP->setSearchWindowMs(FEnv.SearchWindowMs);
    FIOTUDP->OnUDPReceive = [this](const TUDPRcvRcd& rcd) {
        if (OnSearchAnswer)
            OnSearchAnswer(rcd);
    };
    FIOTUDP->OnUDPTimeOut = [this] {
        ShowSearching(false);
        if (OnSearchEnd)
            OnSearchEnd();
    };
    SearchDevices();
}

// ---------------------------------------------------------------------------------------------
// Frame operations

void Tfrm_Main::LayoutFrame() {
    const QRect all = rect();
    FContent->setGeometry(all);
    FSideBar->setGeometry(0, 0, SideBarWidth, height());
    FLangCN->move(FLangCN->x(), height() - 58);
    FLangEN->move(FLangEN->x(), height() - 58);
    FPageArea->setGeometry(SideBarWidth, 0, width() - SideBarWidth, height());
    if (FDevListView)
        FDevListView->setGeometry(QRect(QPoint(0, 0), FPageArea->size()));
    for (QWidget* page : {FDevPage, static_cast<QWidget*>(FUserPage), static_cast<QWidget*>(FMsgPage),
                          static_cast<QWidget*>(FMorePage)}) {
        if (FSlide && page == FSlide->targetObject()) // the slide keeps its own position
            page->resize(FPageArea->size());
        else
            page->setGeometry(QRect(QPoint(0, 0), FPageArea->size()));
    }
    for (QWidget* overlay : {FSearching, static_cast<QWidget*>(FPopBack), static_cast<QWidget*>(FLock),
                             static_cast<QWidget*>(FStartup)})
        overlay->setGeometry(all);
    FStartup->findChild<QWidget*>(QStringLiteral("img_Startup_Logo"))
        ->move((width() - 160) / 2, (height() - 200) / 2 - 30);
    FStartup->findChild<QWidget*>(QStringLiteral("lbl_Startup_Title"))
        ->setGeometry(0, (height() + 200) / 2 - 20, width(), 40);
    FSearching->findChild<QWidget*>(QStringLiteral("rctngl_Searching_Panel"))
        ->move((width() - 460) / 2, (height() - 200) / 2);
    FLock->findChild<QWidget*>(QStringLiteral("rctngl_Lock_Panel"))
        ->move((width() - 420) / 2, (height() - 330) / 2);
    FMsging->setGeometry(SideBarWidth, 56, width() - SideBarWidth, height() - 56);
    FMsgingBusy->move((FMsging->width() - 56) / 2, FMsging->height() / 2 - 60);
    FMsging->findChild<QWidget*>(QStringLiteral("lbl_Msging"))
        ->move((FMsging->width() - 300) / 2, FMsging->height() / 2 + 6);
    for (QWidget* pop : std::as_const(FPops))
        pop->move((width() - pop->width()) / 2, (height() - pop->height()) / 2);
    // The news list stays centred in its page.
    if (auto* news = FMsgPage->findChild<QWidget*>(QStringLiteral("rctngl_Msg_Newslist")))
        news->move((FMsgPage->width() - news->width()) / 2, news->y());
    for (const char* t : {"rctngl_Msg_Title", "rctngl_More_Title", "rctngl_User_Title"})
        findChild<QWidget*>(QLatin1String(t))->resize(FPageArea->width(), 56);
}

void Tfrm_Main::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (FContent)
        LayoutFrame();
}

void Tfrm_Main::TCPSend(const QByteArray& ABuf) {
    TNEV_IOTDevConn* dev = SelectedDevice ? SelectedDevice() : nullptr;
    if (!dev)
        return;
    const QByteArray frame = BuildFrame(ABuf);
    if (!frame.isEmpty())
        dev->TCPSend(frame);
}

bool Tfrm_Main::Locked() const {
    return FLock && !FLock->isHidden();
}

void Tfrm_Main::LockScreen(bool aBool) {
    if (aBool) {
        BeforeModal();
        // Nothing behind the lock takes focus, keys or clicks while it is up.
        FContent->setEnabled(false);
        FLock->show();
        FLock->raise();
        CloseMenus();
        FLockEdit->setFocus(Qt::OtherFocusReason);
    } else {
        FLock->hide();
        FLock->lower();
        FLockEdit->clear();
        FContent->setEnabled(true);
    }
}

void Tfrm_Main::ShowPop(int n) {
    QWidget* pop = FPops.value(n);
    if (!pop)
        return;
    FPopBack->show();
    FPopBack->raise();
    pop->show();
    pop->raise();
}

void Tfrm_Main::HidePop(int n) {
    QWidget* pop = FPops.value(n);
    if (!pop)
        return;
    pop->hide();
    ClearPasswordBoxes(pop);
    FPopBack->hide();
}

void Tfrm_Main::HideAllPops() {
    FPopBack->hide();
    for (auto it = FPops.cbegin(); it != FPops.cend(); ++it) {
        it.value()->hide();
        ClearPasswordBoxes(it.value());
    }
}

void Tfrm_Main::CloseMenus() {
    if (FPopImgLst)
        FPopImgLst->ClosePopup();
    if (FMenuLight)
        FMenuLight->Close();
    if (FMenuRed)
        FMenuRed->Close();
}

bool Tfrm_Main::PopVisible(int n) const {
    QWidget* pop = FPops.value(n);
    return pop && !pop->isHidden();
}

void Tfrm_Main::SlideInPage(QWidget* page, std::function<void()> finished) {
    if (!page)
        return;
    if (FSlide)
        FSlide->stop(); // its page stays where it got to; the new page covers it
    page->setGeometry(0, FPageArea->height(), FPageArea->width(), FPageArea->height());
    page->show();
    page->raise();
    auto* anim = new QPropertyAnimation(page, "pos", this);
    anim->setDuration(qMax(0, FEnv.SlideMs));
    anim->setStartValue(page->pos());
    anim->setEndValue(QPoint(0, 0));
    anim->setEasingCurve(QEasingCurve::OutCirc);
    FSlide = anim;
    QPointer<QWidget> guard(page);
    connect(anim, &QPropertyAnimation::finished, this, [this, guard, finished = std::move(finished)] {
        if (!guard)
            return;
        guard->move(0, 0);
        // Pages under the one shown leave the focus chain.
        for (QWidget* other : {FDevPage, static_cast<QWidget*>(FUserPage), static_cast<QWidget*>(FMsgPage),
                               static_cast<QWidget*>(FMorePage)})
            if (other != guard)
                other->hide();
        if (finished)
            finished();
    });
    anim->start(QAbstractAnimation::DeleteWhenStopped);
}

void Tfrm_Main::ShowSearching(bool on, const QString& line1, const QString& line2) {
    if (on) {
        FSearchTips1->setText(LangLookup(line1));
        FSearchTips2->setText(LangLookup(line2));
        FSearchTips1->setProperty("english", line1);
        FSearchTips2->setProperty("english", line2);
        FSearching->show();
        FSearching->raise();
        FSearchingBusy->Start();
    } else {
        FSearchingBusy->Stop();
        FSearching->lower();
        FSearching->hide();
    }
}

void Tfrm_Main::ShowLoading(bool on) {
    if (on) {
        FMsging->show();
        FMsging->raise();
        FMsgingBusy->Start();
    } else {
        FMsgingBusy->Stop();
        FMsging->hide();
    }
}

void Tfrm_Main::ResetMainTabs() {
    const QHash<int, QString> icons{{TAB_DEVICE, QStringLiteral("Home")},
                                    {TAB_USER, QStringLiteral("Setting")},
                                    {TAB_MESSAGE, QStringLiteral("Message")},
                                    {TAB_MORE, QStringLiteral("More")}};
    for (auto it = icons.cbegin(); it != icons.cend(); ++it) {
        auto* row = static_cast<TImage*>(FTabRows.value(it.key()));
        row->SetBitmap(ResBitmap(QStringLiteral("MainSettingBG_N")));
        row->findChild<TImage*>()->SetBitmap(ResBitmap(it.value() + QStringLiteral("_N")));
    }
}

void Tfrm_Main::SelectMainTab(int tag) {
    static const QHash<int, QString> icons{{TAB_DEVICE, QStringLiteral("Home")},
                                           {TAB_USER, QStringLiteral("Setting")},
                                           {TAB_MESSAGE, QStringLiteral("Message")},
                                           {TAB_MORE, QStringLiteral("More")}};
    if (!icons.contains(tag))
        return;
    ResetMainTabs();
    auto* row = static_cast<TImage*>(FTabRows.value(tag));
    row->raise();
    row->SetBitmap(ResBitmap(QStringLiteral("MainSettingBG_S")));
    row->findChild<TImage*>()->SetBitmap(ResBitmap(icons.value(tag) + QStringLiteral("_S")));
}

// ---------------------------------------------------------------------------------------------
// Tabs, language, More page

void Tfrm_Main::img_MainSettingClick(int tag) {
    if (Sliding() || Locked())
        return;
    // The language buttons switch the language on the page that is shown; they are no page.
    if (tag == TAB_CN || tag == TAB_EN) {
        FLangSwitch->SetisON(tag == TAB_CN);
        swh_Msg_Lang_StateSwitch();
        return;
    }
    if (tag == FNowMainPage)
        return;
    const int left = FNowMainPage;
    FLastMainPage = FNowMainPage;
    FNowMainPage = tag;
    if (OnLeaveDevicePage)
        OnLeaveDevicePage(left == TAB_DEVICE);
    SelectMainTab(tag);
    switch (tag) {
    case TAB_DEVICE:
        SlideInPage(FDevPage, [this] {
            if (OnDevicePageShown)
                OnDevicePageShown();
        });
        break;
    case TAB_USER:
        if (!CloudSession.Logged) {
            FUserLoginBack->show();
            FUserLoginBack->raise();
        } else {
            FUserLoginBack->hide();
            FUserLoginBack->lower();
        }
        SlideInPage(FUserPage);
        break;
    case TAB_MESSAGE:
        // Loaded once the product list came; a failed load (or refresh) loads again on showing.
        if (!OnLoadNews || (FMessages && FMessages->MsgLoaded())) {
            SlideInPage(FMsgPage);
        } else {
            ShowLoading(true);
            SlideInPage(FMsgPage, [this] {
                OnLoadNews();
                ShowLoading(false);
            });
        }
        break;
    case TAB_MORE:
        SlideInPage(FMorePage);
        break;
    default:
        break;
    }
}

void Tfrm_Main::swh_Msg_Lang_StateSwitch() {
    const bool cn = FLangSwitch->isON();
    FLangCN->SetFillColor(cn ? ColorTitle : ColorBar);
    FLangEN->SetFillColor(cn ? ColorBar : ColorTitle);
    SetLanguage(cn ? LangCn : LangEn);
    Relabel();
}

void Tfrm_Main::UpdateLoginState() {
    // Decided from the session: an account may well be called "Unlogged".
    if (CloudSession.Logged)
        FLoginLabel->setText(CloudSession.CloudAccount());
    else
        FLoginLabel->setText(LangChoose(TLangChoice::Unlogged));
    FLogState->SetBitmap(
        ResBitmap(CloudSession.Logged ? QStringLiteral("Log_ON") : QStringLiteral("Log_OFF")));
    // Unread replies belong to the account that logged out.
    if (!CloudSession.Logged && FMessages)
        FMessages->SetUnreadReplies({});
}

void Tfrm_Main::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange && FContent)
        Relabel();
    QWidget::changeEvent(event);
}

void Tfrm_Main::BeforeModal() {
    // A held jog output must not stay on while a box takes the pointer.
    if (OnBeforeModal)
        OnBeforeModal();
}

void Tfrm_Main::Msg(const QString& english) {
    BeforeModal();
    FEnv.Messages->ShowMessage(this, LangText(english));
}

bool Tfrm_Main::ShowSaveResult(bool ok, const QString& message) {
    if (!ok && !message.isEmpty())
        Msg(message);
    return ok;
}

void Tfrm_Main::Img_MorClick(int tag) {
    if (Locked())
        return;
    switch (tag) {
    case 2: {
        QUrl about = FCloud->Server();
        about.setPath(QStringLiteral("/index.php/Page/detail/item/about"));
        OpenURL(about.toString());
        break;
    }
    case 3:
        if (OnAnonymousFeedback)
            OnAnonymousFeedback();
        break;
    case 5:
        Lock();
        break;
    case 6:
        RemoveLock();
        break;
    default:
        break;
    }
}

void Tfrm_Main::Lock() {
    if (!FIni->IniReadLock().isEmpty()) {
        LockScreen(true);
        return;
    }
    BeforeModal();
    const auto answer = FEnv.Messages->InputQuery(this, LangText(QStringLiteral("Lock screen")),
                                                  LangText(QStringLiteral("Lock password")), {}, true);
    if (!answer)
        return;
    if (answer->isEmpty()) {
        Msg(QStringLiteral("Please enter the lock screen password!"));
        return;
    }
    BeforeModal();
    FEnv.Messages->ShowMessage(this, LangChoose(TLangChoice::LockPasswordReminder) + *answer);
    const TIniSaveResult saved = FIni->IniWriteLock(*answer);
    LockScreen(true);
    ShowSaveResult(saved.Ok, saved.Message);
}

void Tfrm_Main::RemoveLock() {
    if (FIni->IniReadLock().isEmpty()) {
        Msg(QStringLiteral("The lock screen password function has been canceled!"));
        return;
    }
    BeforeModal();
    const auto answer = FEnv.Messages->InputQuery(this, LangText(QStringLiteral("Lock screen")),
                                                  LangText(QStringLiteral("Lock password")), {}, true);
    if (!answer)
        return;
    if (*answer == FIni->IniReadLock()) {
        const TIniSaveResult saved = FIni->IniWriteLock({});
        if (ShowSaveResult(saved.Ok, saved.Message))
            Msg(QStringLiteral("The lock screen password function has been canceled!"));
    } else {
        Msg(QStringLiteral("Please enter the lock screen password!"));
    }
}

void Tfrm_Main::Unlock() {
    const QString typed = FLockEdit->text();
    FLockEdit->clear();
    if (typed != FIni->IniReadLock() || typed.isEmpty()) {
        Msg(QStringLiteral("Input lock screen password error!"));
        if (Locked())
            FLockEdit->setFocus(Qt::OtherFocusReason);
        return;
    }
    LockScreen(false);
}

// ---------------------------------------------------------------------------------------------
// Popup buttons

void Tfrm_Main::SetPopHandler(int tag, std::function<void()> handler) {
    if (handler)
        FPopHandlers.insert(tag, std::move(handler));
    else
        FPopHandlers.remove(tag);
}

void Tfrm_Main::img_PopClick(int tag) {
    // While locked only the unlock button acts.
    if (Locked() && tag != 30)
        return;
    if (auto it = FPopHandlers.find(tag); it != FPopHandlers.end()) {
        const auto handler = it.value(); // the handler may replace itself
        handler();
        return;
    }
    switch (tag) {
    case 0:
        HideAllPops();
        CloseMenus();
        break;
    case 2:
        HidePop(POP_ADD);
        break;
    case 10:
        HidePop(POP_RENAME);
        break;
    case 13:
        HidePop(POP_PASSWORD);
        for (QLineEdit* e : FPops.value(POP_PASSWORD)->findChildren<QLineEdit*>())
            e->clear();
        break;
    case 15:
        HidePop(POP_REGISTER);
        break;
    case 19:
        HidePop(POP_DEVINFO);
        break;
    case 22:
        HidePop(POP_CLOUDDEV);
        break;
    case 29:
        HidePop(POP_FEEDLIST);
        break;
    case 30:
        Unlock();
        break;
    case 35:
        HidePop(POP_REDSTUDY);
        break;
    case 40:
        HidePop(POP_ADDMINI);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Search, other copies, keys, shutdown

bool Tfrm_Main::SearchDevices() {
    if (FShutDown || !FIOTUDP)
        return false;
    if (OnSearchStart)
        OnSearchStart();
    // A router port taken at start is tried again, without a word when it still is.
    if (FAddRouter && !FAddRouter->isListening())
        FAddRouter->Listen();
    const bool active = FIOTUDP->Active() || FIOTUDP->setActive(true);
    if (!active) {
        ShowSearching(false);
        Msg(QStringLiteral("1901 search port is occupied!"));
        return false;
    }
    const bool sent = FIOTUDP->SearchDevice();
    // The overlay goes with the search window, which runs whether or not the request left.
    if (FIOTUDP->Searching())
        ShowSearching(true, QStringLiteral("Search for devices ..."),
                      QStringLiteral("Tip: Login to control remote devices"));
    if (!sent) {
        Msg(QStringLiteral("1901 search port is occupied!"));
        return false;
    }
    return true;
}

void Tfrm_Main::ShowFromOtherCopy() {
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
    if (Locked())
        LockScreen(true);
}

void Tfrm_Main::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && !Locked()) {
        HideAllPops();
        CloseMenus();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Tfrm_Main::closeEvent(QCloseEvent* event) {
    Shutdown(true);
    QWidget::closeEvent(event);
}

void Tfrm_Main::Shutdown(bool report) {
    if (FShutDown)
        return;
    FShutDown = true;
    // Nothing may call into the window from here on: timers, the search, the router join and the
    // devices are stopped or detached before anything is saved or freed.
    FTmrRed->stop();
    FTmrRedClose->stop();
    if (FSlide)
        FSlide->stop();
    if (FIOTUDP) {
        FIOTUDP->OnUDPReceive = nullptr;
        FIOTUDP->OnUDPTimeOut = nullptr;
        FIOTUDP->setActive(false);
    }
    if (FAddRouter) {
        FAddRouter->OnRouterList = nullptr;
        FAddRouter->OnRouterSearchEnd = nullptr;
        FAddRouter->OnJoinResult = nullptr;
    }
    if (OnShutdown)
        OnShutdown();
    if (FDevList) {
        FDevList->OnIOTListClick = nullptr;
        FDevList->OnIOTListBeforeClick = nullptr;
        FDevList->OnIOTListSave = nullptr;
        FDevList->setUi({});
    }

    const bool chinese = FLangSwitch->isON();
    // Without the pages that edit them, the stored values are written back as they were.
    const TIniDevs devs = CollectDevs ? CollectDevs() : FIni->IniDevs();
    const TFeedMsgs msgs = CollectFeedMsgs ? CollectFeedMsgs() : TFeedMsgs{};
    const auto* remember = findChild<QWidget*>(QStringLiteral("chk_User_Login_RemPSS"));
    const auto* autoLog = findChild<QWidget*>(QStringLiteral("chk_User_Login_AutoLog"));
    const bool remPss = remember ? remember->property("checked").toBool() : FIni->IniRemPss();
    const bool autoLogin = autoLog ? autoLog->property("checked").toBool() : FIni->IniAutoLog();
    const TIniSaveResult saved = FIni->IniShutdown(chinese, CloudSession, remPss, autoLogin, msgs, devs);
    if (report)
        ShowSaveResult(saved.Ok, saved.Message);
    FreeCtrlListImgs();

    delete FPopImgLst;
    FPopImgLst = nullptr;
    delete FIOTUDP;
    FIOTUDP = nullptr;
    FGPIOAPI.reset();
    delete FAddRouter;
    FAddRouter = nullptr;
    delete FCloud;
    FCloud = nullptr;
}
