// Tfrm_Main: the program's one window. It owns every long-lived object (settings, LAN search,
// router join, cloud client, command encoder and reply decoder, the lists), builds the page frame
// from the named pictures (side bar, sliding pages, overlays, numbered popups), re-labels itself on
// a language switch, locks behind a password, and saves everything when it closes.
#pragma once

#include "nevGPIOAPI.h"
#include "untMainEnv.h"
#include "untPublic.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class CloudClient;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPropertyAnimation;
class QTimer;
class TAddRouter;
class TAnchorMenu;
class TBusyIndicator;
class TImage;
class TImageButton;
class TImageSwitch;
class TMainAccount;
class TIniSettings;
class TMainMessages;
class TNEV_GPIOAPI;
class TNEV_IOTDevConn;
class TNEV_IOTDevList;
class TIOTDevListView;
class TNEV_IOTUDP;
class TPopImageList;
class TRectangle;
class TDevEvents;
class TMainDevSink;
class TNEV_IOTCtrlList;
class TNEV_IOTCtrlCell;
class TTaskPopup;

// Theme colours.
inline const QColor ColorTitle{11, 67, 104};
inline const QColor ColorBar{19, 121, 185};
inline const QColor ColorPage{80, 189, 245};
inline const QColor ColorBadge{250, 104, 6};

// Numbers of the popups (ShowPop, HidePop).
enum : int {
    POP_ADD = 0,
    POP_TASK = 1,
    // 2 was the task editor: it opens inside the task popup.
    POP_PASSWORD = 4,
    POP_REGISTER = 5,
    POP_DEVINFO = 6,
    POP_CLOUDDEV = 7,
    POP_RENAME = 8,
    POP_FEEDLIST = 9,
    POP_REDSTUDY = 10,
    POP_ADDMINI = 11,
};

// Tab numbers of the side bar.
enum : int { TAB_DEVICE = 1, TAB_USER = 2, TAB_MESSAGE = 3, TAB_MORE = 4, TAB_CN = 5, TAB_EN = 6 };

class Tfrm_Main : public QWidget {
    Q_OBJECT
    friend class TMainDevSink;
    friend class TMainAccount; // builds the account pages with the frame's makers

public:
    static constexpr int ClientWidth = 1024;
    static constexpr int ClientHeight = 680;
    static constexpr int SideBarWidth = 230;

    explicit Tfrm_Main(TMainEnv env, QWidget* parent = nullptr);
    // Saves and releases everything unless a close already did.
    ~Tfrm_Main() override;

    // One command payload to the selected device; dropped when none is selected or it is not
    // connected. Nothing is reported.
    void TCPSend(const QByteArray& ABuf);
    void LockScreen(bool aBool);
    bool Locked() const;
    void ShowPop(int n);
    void HidePop(int n);
    void HideAllPops();
    bool PopVisible(int n) const;
    // Brings the page in from below; `finished` runs when it is in place (not when the page went
    // away meanwhile).
    void SlideInPage(QWidget* page, std::function<void()> finished = {});
    bool Sliding() const { return !FSlide.isNull(); }
    void ShowSearching(bool on, const QString& line1 = {}, const QString& line2 = {});
    void ShowLoading(bool on);
    // The anchored menus and the picture picker close.
    void CloseMenus();
    TAnchorMenu* MenuLight() const { return FMenuLight; }
    TAnchorMenu* MenuRed() const { return FMenuRed; }
    // The touch-mode button of the device control menu: its picture and caption for the mode.
    void ShowTouchMode(bool touch);
    void ResetMainTabs();
    void SelectMainTab(int tag);

    // Side-bar tabs and language buttons, by tag.
    void img_MainSettingClick(int tag);
    // Applies the language switch's state: colours, title, every text.
    void swh_Msg_Lang_StateSwitch();
    // More page buttons, by tag.
    void Img_MorClick(int tag);
    // Every popup and menu button, by tag. Tags the frame does not handle itself go to the
    // handler set for them (SetPopHandler); a tag without one does nothing.
    void img_PopClick(int tag);
    void SetPopHandler(int tag, std::function<void()> handler);

    // The device list's refresh: activates the LAN search if needed, searches and shows the
    // progress overlay for the search window. A router port that was taken is tried again
    // quietly. False when the search could not start (the user was told).
    bool SearchDevices();
    // The login state label and picture, from the session.
    void UpdateLoginState();
    // Another copy asked for the window: show, raise and activate it (still locked if locked).
    void ShowFromOtherCopy();

    // Saves the settings and stops everything that could still call into the window. Runs once;
    // a failed write is shown when `report` is set.
    void Shutdown(bool report);

    const TMainEnv& Env() const { return FEnv; }
    TIniSettings& Settings() const { return *FIni; }
    TNEV_IOTUDP* IOTUDP() const { return FIOTUDP; }
    TAddRouter* AddRouter() const { return FAddRouter; }
    CloudClient* Cloud() const { return FCloud; }
    TNEV_GPIOAPI& GPIOAPI() const { return *FGPIOAPI; }
    TPopImageList* PopImgLst() const { return FPopImgLst; }
    QTimer* tmr_Red() const { return FTmrRed; }
    QTimer* tmr_RedClose() const { return FTmrRedClose; }
    int NowMainPage() const { return FNowMainPage; }
    int LastMainPage() const { return FLastMainPage; }
    QWidget* Pop(int n) const { return FPops.value(n); }
    // Where the device list and the control list are placed (the Device page).
    QWidget* DevicePage() const { return FDevPage; }
    TNEV_IOTDevList* IOTDevList() const { return FDevList; }
    TNEV_IOTCtrlList* IOTCtrlList() const { return FCtrlList; }
    TTaskPopup* TaskPopup() const { return FTaskPopup; }
    // The selected board's controller.
    TDevEvents* DevEvents() const { return FDevEvents.get(); }
    // The account pages, the account's boards in the cloud.
    TMainAccount* Account() const { return FAccount; }
    // A message box with the text in the active language.
    void Msg(const QString& english);
    // Registers a text to re-label on every language switch and shows it now.
    void Text(QObject* target, const QString& english);
    // The message page, news, anonymous feedback and the feedback conversation.
    TMainMessages* Messages() const { return FMessages; }
    // Every modal box and the lock go through here first.
    void BeforeModal();

    // Hooks for the lists and pages placed into the frame.
    std::function<TNEV_IOTDevConn*()> SelectedDevice;
    std::function<void(const TUDPRcvRcd&)> OnSearchAnswer;
    std::function<void()> OnSearchStart; // before a search: hide the control list, ...
    std::function<void()> OnSearchEnd;   // the search window ended
    std::function<void(bool fromDevicePage)> OnLeaveDevicePage;
    std::function<void()> OnDevicePageShown; // the Device page is in place again
    std::function<void()> OnLoadNews;
    std::function<TIniDevs()> CollectDevs; // the device list as stored records
    std::function<TFeedMsgs()> CollectFeedMsgs;
    std::function<void()> OnShutdown;          // detach every device's handlers
    std::function<void()> OnAnonymousFeedback; // the More page's "Anonymous feedback"
    std::function<void()> OnBeforeModal;       // a box or the lock is about to take the pointer

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildSideBar();
    void BuildPages();
    void BuildMorePage();
    void BuildOverlays();
    void BuildPopups();
    void BuildLock();
    void BuildDevInfo(QWidget* body);
    TRectangle* MakePop(int n, const QString& name, const QString& title, const QSize& size,
                        const QString& closeName, int closeTag);
    TImageButton* MakeButton(QWidget* parent, const QString& name, const QString& english, int tag,
                             const QRect& r, const QString& picture = QStringLiteral("Button"));
    QLineEdit* MakeEdit(QWidget* parent, const QString& name, const QRect& r, bool masked = false,
                        int enterTag = -1);
    QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& english, const QRect& r,
                      Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter);
    void Relabel();
    void LayoutFrame();
    void LayoutTabs();
    void LoadMainImages();
    void CreateSearch();
    // The Device page: the lists, the task popup and the selected board's controller.
    void CreateLists();
    void ListClick(int index, int tag);
    void CtrlClick(QObject* sender, int index, int tag, TIOTYPE type);
    TNEV_IOTCtrlCell* Cell(TIOTYPE AIOType, int Index) const;
    void ReleaseJog();
    void FillDevInfo();
    void ShowDevInfoPicture();
    void ClearDevInfoPicture();
    void PickImageFile();
    void ApplyDevPicture();
    // The add-by-address popup's "Add".
    void AddByAddress();
    // The device settings' router part: "Search" lists the networks the boards see, "Add" joins.
    void WireRouterJoin();
    void RouterSearch();
    void RouterAdd();
    void SaveDevList();
    // Saves the list in a pass of its own, once however often it is asked before then.
    void SaveDevListSoon();
    void Unlock();
    void Lock();
    void RemoveLock();
    bool ShowSaveResult(bool ok, const QString& message);

    TMainEnv FEnv;
    std::unique_ptr<TIniSettings> FIni;
    std::unique_ptr<TNEV_GPIOAPI> FGPIOAPI;
    CloudClient* FCloud = nullptr;
    TNEV_IOTUDP* FIOTUDP = nullptr;
    TAddRouter* FAddRouter = nullptr;
    TPopImageList* FPopImgLst = nullptr;
    QTimer* FTmrRed = nullptr;
    QTimer* FTmrRedClose = nullptr;

    int FNowMainPage = TAB_DEVICE;
    int FLastMainPage = TAB_DEVICE;
    bool FShutDown = false;
    bool FDevListSavePending = false;
    QPointer<QPropertyAnimation> FSlide;

    struct TLabelText {
        QPointer<QObject> Target;
        QString English;
    };
    QList<TLabelText> FTexts;
    QHash<int, std::function<void()>> FPopHandlers;
    QHash<int, QWidget*> FPops;
    QHash<int, QWidget*> FTabRows;

    QWidget* FContent = nullptr; // everything the lock covers
    QWidget* FPageArea = nullptr;
    QWidget* FDevPage = nullptr;
    TRectangle* FUserPage = nullptr;
    TRectangle* FMsgPage = nullptr;
    TRectangle* FMorePage = nullptr;
    TRectangle* FSideBar = nullptr;
    TRectangle* FLangCN = nullptr;
    TRectangle* FLangEN = nullptr;
    TImage* FLogState = nullptr;
    QLabel* FLoginLabel = nullptr;
    TImageSwitch* FLangSwitch = nullptr;
    TRectangle* FPopBack = nullptr;
    TRectangle* FStartup = nullptr;
    TRectangle* FLock = nullptr;
    QLineEdit* FLockEdit = nullptr;
    QWidget* FSearching = nullptr;
    TBusyIndicator* FSearchingBusy = nullptr;
    QLabel* FSearchTips1 = nullptr;
    QLabel* FSearchTips2 = nullptr;
    QWidget* FMsging = nullptr;
    TBusyIndicator* FMsgingBusy = nullptr;
    TRectangle* FUserLoginBack = nullptr;
    TNEV_IOTDevList* FDevList = nullptr;
    TMainAccount* FAccount = nullptr;
    TIOTDevListView* FDevListView = nullptr;
    TNEV_IOTCtrlList* FCtrlList = nullptr;
    TTaskPopup* FTaskPopup = nullptr;
    std::unique_ptr<TMainDevSink> FDevSink;
    std::unique_ptr<TDevEvents> FDevEvents;
    // The cell a rename popup or an infrared menu was opened for.
    TIOName TmpIOName;
    TIOTYPE TmpIOType{};
    int TmpIndex = -1;
    quint8 RedStudyNum = 0;
    QImage FDevInfoPicture;
    TAnchorMenu* FMenuLight = nullptr;
    TAnchorMenu* FMenuRed = nullptr;
    bool FTouchShown = true;
    // Every board on the LAN answers a router broadcast; one message per search and per join.
    bool FRouterListTold = false;
    bool FRouterJoinTold = false;
    TMainMessages* FMessages = nullptr;
};
