// The device list without widgets: every known board as one item (its connection plus how it is
// shown), the merges by MAC of LAN search answers, stored records and cloud records, the selected
// device, remove mode, the clicks on the list and its items, and the records to save. The visible
// list (src/controls/untIOTDevListView) only draws it and reports where the pointer went;
// quillet-ctl and the tests use it directly.
#pragma once

#include "nevIOTJSONAPI.h"
#include "untIOTDev.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

enum class TREMOVESTATE : quint8 {
    REMOVE_DEFAULT, // remove button covered
    REMOVE_READY,   // remove button shown (remove mode)
    REMOVE_GO,      // fading out; the item takes no more clicks
};

// Tags of the parts of the list and of its items, as the click events report them.
namespace DevListTag {
inline constexpr int Panel = 0;   // panel, title bar, empty list area; an item's state label
inline constexpr int Refresh = 1; // refresh icon
inline constexpr int Add = 2;     // add icon
inline constexpr int Del = 3;     // remove-mode icon
inline constexpr int Device = 4;  // an item's background, name, MAC or network picture
inline constexpr int Remove = 5;  // an item's remove button
inline constexpr int Picture = 6; // an item's picture
inline constexpr int OpenURL = 7; // an item's "Open URL" button
} // namespace DevListTag

// What the list needs from the window: modal boxes and the browser. Texts are the English ones
// of the string table; the window translates them. Tests record the calls instead.
struct TDevListUi {
    // A message box with one text.
    std::function<void(const QString& AText)> ShowMessage;
    // A text prompt (title, label, empty field); nullopt when the user cancelled.
    std::function<std::optional<QString>(const QString& ATitle, const QString& ALabel)> InputText;
    // Opens a web address; when unset, OpenURL of the common helpers.
    std::function<void(const QString& AUrl)> OpenUrl;
};

// One device of the list: its connection and the state of its row.
class TIOTDevItem : public QObject {
    Q_OBJECT

public:
    using TIOTDevStateEvent = TNEV_IOTDevConn::TIOTDevStateEvent;

    TNEV_IOTDevConn* Conn() const { return FConn; }
    TREMOVESTATE RemoveState() const { return FRemoveState; }
    // The picture is turned aside and the "Open URL" button shown.
    bool ImgAnimated() const { return FImgAnimated; }
    // This is the list's selected device (drawn highlighted).
    bool ClickState() const { return FConn->ClickState(); }
    // The picture is the user's own (devimg/<MAC>.jpg), not the model picture.
    bool isCustomImg() const { return FisCustomImg; }

    // The window's handler of the connection state. The connection's own event belongs to the
    // list, which redraws the row and then passes the change on here.
    TIOTDevStateEvent OnIOTDevState;

private:
    friend class TNEV_IOTDevList;
    explicit TIOTDevItem(QObject* parent);

    TNEV_IOTDevConn* FConn;
    TREMOVESTATE FRemoveState = TREMOVESTATE::REMOVE_DEFAULT;
    bool FImgAnimated = false;
    bool FisCustomImg = false;
};

// The MAC text of the list ("AA-BB-CC-DD-EE-FF") for twelve hexadecimal digits written with or
// without separators (spaces, '-', ':', '.') in either case; nullopt for anything else.
std::optional<QString> NormalizeMACText(const QString& AText);
// A cloud "_type": a decimal number from 0 to 255, else nullopt.
std::optional<quint8> ParseDevType(const QString& AText);

class TNEV_IOTDevList : public QObject {
    Q_OBJECT

public:
    using TIOTListClickEvent = std::function<void(int ItemIndex, int Tag)>;
    using TIOTListBeforeClickEvent = std::function<void(bool& aisDoClick)>;
    using TIOTListDisConnectEvent = std::function<void(QObject* Sender)>;
    using TIOTListSaveEvent = std::function<void(const TIniDevs& ADevs)>;
    // Starts fetching a cloud picture for AContext; ADone gets it later (null when it could not
    // be had), or never once AContext is gone.
    using TImageFetch = std::function<void(const QString& AUrl, QObject* AContext,
                                           std::function<void(const QImage& APicture)> ADone)>;
    using TItemFadeOut = std::function<void(TIOTDevItem* AItem)>;

    explicit TNEV_IOTDevList(QObject* parent = nullptr);
    ~TNEV_IOTDevList() override;

    // --- the window's environment ----------------------------------------------------------
    void setUi(TDevListUi AUi) { FUi = std::move(AUi); }
    // Host of the relay server given to devices that come from the cloud.
    // Where devices known from the cloud are reached: the relay server's host and port.
    void setCloudHost(const QString& AHost, quint16 APort = DefaultTCPRemotePort) {
        FCloudHost = AHost;
        FCloudPort = APort;
    }
    QString CloudHost() const { return FCloudHost; }
    // Fetches cloud pictures in the background. Unset: no pictures.
    void setImageFetch(TImageFetch AFetch) { FImageFetch = std::move(AFetch); }
    // A picture the user chose for a device wins over a cloud picture still on its way to it.
    void DropPictureFetch(const QString& AMAC) { FPictureTickets.remove(AMAC); }
    // LAN login port of the devices (0: the standard port); for tests on loopback.
    void setLanPort(quint16 APort);
    // The cloud login the devices send to the relay server: given to every listed device and to
    // every device added later.
    void setRelaySession(const TCloudSession& ASession);

    // --- the devices -------------------------------------------------------------------------
    int DevCount() const { return int(FItems.size()); }
    // The connection at a position; nullptr when the position is negative or past the end.
    TNEV_IOTDevConn* DevItems(int Index) const;
    TIOTDevItem* Item(int Index) const;
    // Position of an item or of a connection; -1 when it is not (or no longer) in the list.
    int IndexOf(const TIOTDevItem* AItem) const;
    int IndexOf(const TNEV_IOTDevConn* AConn) const;
    // Position of the device with this MAC ("AA-BB-CC-DD-EE-FF"), -1 when none.
    int IndexOfMAC(const QString& AMAC) const;
    // The selected device (follows its device when others are removed); nullptr when none.
    TNEV_IOTDevConn* NowDev() const;
    TIOTDevItem* NowItem() const { return FNow; }
    int NowSelect() const { return IndexOf(FNow.data()); }

    // Merges a LAN search answer: the device with the same MAC bytes is updated (and goes to the
    // LAN), else a new one is appended.
    void Add(const TUDPRcvRcd& ARxRcd);
    // Stored records at start-up: appended unconnected. A MAC given twice: the last record wins.
    void Add(const TIniDevs& AIniDevs);
    // A device activated to the cloud account or listed by it; false when its MAC is not valid.
    // A device already listed keeps its parameters and, while online on the LAN, its connection.
    bool Add(const TDevInfoData& AData);
    // The cloud list merged into this one; records without a valid MAC are skipped.
    void Down2local(const TCloudDevs& ACloudDevs);
    // One record per device, in list order, for program.ini.
    TIniDevs GetIniDevs() const;
    // Devices not connected yet go through the relay server (after a login).
    void CnntSvr();
    // Back to the title position, every device disconnected and its picture turned back.
    void RefreshClick();
    // Title back, remove mode off, nothing selected.
    void ItemIndexInit();

    // The end of a LAN search window: when answers changed what is stored, OnIOTListSave is
    // raised once with the whole list (instead of a save after every answer).
    void SearchFinished();
    // Boards added by address that the search did not connect are connected at their address.
    void ConnectByAddress();
    bool HasUnsavedAnswers() const { return FLanDirty; }

    // The title icons moved aside for the control panel. false also clears the selection.
    bool Animated() const { return FAnimated; }
    void setAnimated(bool AValue);
    // Remove mode: every item's remove button shown or covered.
    bool RemoveState() const { return FRemoveState; }
    void setRemoveState(bool AValue);
    // Selects the device at a position (or nothing for an invalid one); the only place that
    // changes which item is highlighted.
    void SetSelected(int Index);

    // A click on the panel, title bar, empty area (-1, 0) or a title icon (-1, 1..3).
    void DoListClick(int Index, int Tag);
    // A click on a part of an item (DevListTag). Clicks on an item that is being removed are
    // ignored.
    void ItemClick(TIOTDevItem* AItem, int Tag);
    // The view's fade of a removed item has ended: take it out and report it.
    void FinishRemove(TIOTDevItem* AItem);

    // The view's fade-out of a removed item; it calls FinishRemove when the fade ends. Without
    // a view the item is taken out at once.
    TItemFadeOut OnItemFadeOut;

    TIOTListClickEvent OnIOTListClick;
    TIOTListBeforeClickEvent OnIOTListBeforeClick;
    TIOTListDisConnectEvent OnIOTListDisConnect;
    TIOTListSaveEvent OnIOTListSave;

signals:
    void itemsInserted(int AFirst, int ACount);
    void itemRemoved(int AIndex);
    // Something shown in the row changed (name, MAC, picture, state).
    void itemChanged(TIOTDevItem* AItem);
    void itemRemoveStateChanged(TIOTDevItem* AItem);
    void itemImgAnimatedChanged(TIOTDevItem* AItem);
    void selectionChanged();
    void removeModeChanged(bool AOn);
    void animatedChanged(bool AOn);
    // The user's picture of this MAC was saved again: drop any decoded copy.
    void customImageChanged(const QString& AMAC);

private:
    TIOTDevItem* NewDevItem();
    TCloudSession FRelaySession;
    void Append(const std::vector<TIOTDevItem*>& AItems);
    TIOTDevItem* FindByMACBuf(const TBUF6& AMAC) const;
    TIOTDevItem* FindByMACText(const QString& AMAC) const;
    void SetItemRemoveState(TIOTDevItem* AItem, TREMOVESTATE AValue);
    void SetImgAnimated(TIOTDevItem* AItem, bool AValue);
    void SetSelectedItem(TIOTDevItem* AItem);
    void UpdateCustomImg(TIOTDevItem* AItem);
    bool BeforeClick();
    void RaiseClick(int Index, int Tag);
    void DeviceClick(TIOTDevItem* AItem);
    void AskPassword(TIOTDevItem* AItem);
    void BeginRemove(TIOTDevItem* AItem);
    void Message(const QString& AText);
    // The picture of a cloud record, fetched in the background; when it arrives it goes to the
    // device of that MAC, if the list still holds it.
    void FetchPicture(const QString& AUrl, const QString& AMAC);
    void PictureArrived(const QString& AMAC, quint64 ATicket, const QImage& APicture);
    TIniDev CloudIniDev(const TDevInfoData& AData, const QString& AMAC, quint8 AType) const;
    static TIniDev IniDevOf(const TNEV_IOTDevConn* AConn);

    std::vector<TIOTDevItem*> FItems; // owned (children of this object)
    QPointer<TIOTDevItem> FNow;
    bool FRemoveState = false;
    bool FAnimated = false;
    bool FLanDirty = false;
    quint16 FLanPort = 0;
    QString FCloudHost;
    quint16 FCloudPort = DefaultTCPRemotePort;
    TDevListUi FUi;
    TImageFetch FImageFetch;
    // The latest fetch per MAC: an older one that arrives later is dropped.
    QHash<QString, quint64> FPictureTickets;
    quint64 FLastTicket = 0;
};
