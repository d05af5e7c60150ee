#include "untIOTDevList.h"

#include "untIni.h"

#include <QDir>
#include <QLoggingCategory>
#include <QSet>

#include <algorithm>

Q_LOGGING_CATEGORY(lcDevList, "quillet.devlist")

namespace {

template <class F, class... A> void Raise(const F& event, A&&... args) {
    if (!event)
        return;
    auto h = event;
    h(std::forward<A>(args)...);
}

// A password goes out as one text line: only printable ASCII keeps the login line whole.
bool IsPrintableAscii(const QString& AText) {
    return std::all_of(AText.begin(), AText.end(),
                       [](QChar c) { return c.unicode() >= 0x20 && c.unicode() <= 0x7E; });
}

} // namespace

std::optional<QString> NormalizeMACText(const QString& AText) {
    QString hex;
    hex.reserve(12);
    for (const QChar c : AText) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('-') || c == QLatin1Char(':') || c == QLatin1Char('.'))
            continue;
        const char16_t u = c.unicode();
        const bool isHex = (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
        if (!isHex)
            return std::nullopt;
        hex.append(c.toUpper());
    }
    if (hex.size() != 12)
        return std::nullopt;
    QString out;
    out.reserve(17);
    for (int i = 0; i < 12; i += 2) {
        if (i)
            out.append(QLatin1Char(MACSeparator));
        out.append(QStringView(hex).mid(i, 2));
    }
    return out;
}

std::optional<quint8> ParseDevType(const QString& AText) {
    bool ok = false;
    const int v = AText.trimmed().toInt(&ok, 10);
    if (!ok || v < 0 || v > 255)
        return std::nullopt;
    return quint8(v);
}

TIOTDevItem::TIOTDevItem(QObject* parent) : QObject(parent), FConn(new TNEV_IOTDevConn(this)) {}

TNEV_IOTDevList::TNEV_IOTDevList(QObject* parent) : QObject(parent) {}

TNEV_IOTDevList::~TNEV_IOTDevList() {
    // Items go with this object; nothing is reported while they do.
    OnIOTListClick = nullptr;
    OnIOTListBeforeClick = nullptr;
    OnIOTListDisConnect = nullptr;
    OnIOTListSave = nullptr;
    OnItemFadeOut = nullptr;
    for (TIOTDevItem* item : FItems) {
        item->OnIOTDevState = nullptr;
        item->FConn->OnIOTDevState = nullptr;
        item->FConn->OnIOTDevChange = nullptr;
    }
}

void TNEV_IOTDevList::setLanPort(quint16 APort) {
    FLanPort = APort;
    for (TIOTDevItem* item : FItems)
        item->FConn->setLanPort(APort);
}

TNEV_IOTDevConn* TNEV_IOTDevList::DevItems(int Index) const {
    const TIOTDevItem* item = Item(Index);
    return item ? item->FConn : nullptr;
}

TIOTDevItem* TNEV_IOTDevList::Item(int Index) const {
    if (Index < 0 || Index >= DevCount())
        return nullptr;
    return FItems[size_t(Index)];
}

int TNEV_IOTDevList::IndexOf(const TIOTDevItem* AItem) const {
    if (!AItem)
        return -1;
    const auto it = std::find(FItems.begin(), FItems.end(), AItem);
    return it == FItems.end() ? -1 : int(it - FItems.begin());
}

int TNEV_IOTDevList::IndexOf(const TNEV_IOTDevConn* AConn) const {
    if (!AConn)
        return -1;
    const auto it = std::find_if(FItems.begin(), FItems.end(),
                                 [AConn](const TIOTDevItem* i) { return i->FConn == AConn; });
    return it == FItems.end() ? -1 : int(it - FItems.begin());
}

TNEV_IOTDevConn* TNEV_IOTDevList::NowDev() const {
    return FNow ? FNow->FConn : nullptr;
}

TIOTDevItem* TNEV_IOTDevList::NewDevItem() {
    auto* item = new TIOTDevItem(this);
    TNEV_IOTDevConn* conn = item->FConn;
    if (FLanPort)
        conn->setLanPort(FLanPort);
    conn->setRelaySession(FRelaySession);
    item->FRemoveState = FRemoveState ? TREMOVESTATE::REMOVE_READY : TREMOVESTATE::REMOVE_DEFAULT;
    QPointer<TIOTDevItem> guard(item);
    conn->OnIOTDevChange = [this, guard](TIOTDevField) {
        if (guard)
            emit itemChanged(guard);
    };
    conn->OnIOTDevState = [this, guard](TIOTNETSTYLE AStyle, TIOTNETSTATE AState) {
        if (!guard)
            return;
        emit itemChanged(guard);
        if (guard)
            Raise(guard->OnIOTDevState, AStyle, AState);
    };
    return item;
}

void TNEV_IOTDevList::Append(const std::vector<TIOTDevItem*>& AItems) {
    if (AItems.empty())
        return;
    const int first = DevCount();
    FItems.insert(FItems.end(), AItems.begin(), AItems.end());
    emit itemsInserted(first, int(AItems.size()));
}

TIOTDevItem* TNEV_IOTDevList::FindByMACBuf(const TBUF6& AMAC) const {
    for (auto it = FItems.rbegin(); it != FItems.rend(); ++it)
        if ((*it)->FConn->DevMACBuf() == AMAC)
            return *it;
    return nullptr;
}

TIOTDevItem* TNEV_IOTDevList::FindByMACText(const QString& AMAC) const {
    for (auto it = FItems.rbegin(); it != FItems.rend(); ++it)
        if ((*it)->FConn->DevMACStr() == AMAC)
            return *it;
    return nullptr;
}

void TNEV_IOTDevList::UpdateCustomImg(TIOTDevItem* AItem) {
    const bool custom = !ExistingDevImgFile(AItem->FConn->DevMACStr()).isEmpty();
    if (custom != AItem->FisCustomImg) {
        AItem->FisCustomImg = custom;
        emit itemChanged(AItem);
    }
}

TIniDev TNEV_IOTDevList::IniDevOf(const TNEV_IOTDevConn* AConn) {
    TIniDev d;
    d.Name = AConn->DevNameStr();
    d.MAC = AConn->DevMACStr();
    d.IP = AConn->NetIPStr();
    d.Port = AConn->NetPort();
    d.DevPassword = AConn->DevPasswordStr();
    d.DevType = AConn->DevType();
    d.CtrlByte = AConn->CtrlByte();
    // Activation is known from the cloud, not stored.
    d.DevParam = AConn->DevParam();
    d.LanHost = AConn->LanHost();
    d.LanPort = AConn->LanHostPort();
    return d;
}

void TNEV_IOTDevList::Add(const TUDPRcvRcd& ARxRcd) {
    TIOTDevItem* item = FindByMACBuf(ARxRcd.DevMAC);
    const bool isNew = !item;
    if (isNew) {
        item = NewDevItem();
        Append({item});
    }
    QPointer<TIOTDevItem> guard(item);
    const TIniDev before = IniDevOf(item->FConn);
    item->FConn->Init(ARxRcd);
    if (!guard)
        return;
    UpdateCustomImg(item);
    if (isNew || IniDevOf(item->FConn) != before)
        FLanDirty = true;
}

void TNEV_IOTDevList::Add(const TIniDevs& AIniDevs) {
    // The last record of a MAC wins; earlier ones are dropped.
    QHash<QString, int> lastOf;
    std::vector<QString> macs(size_t(AIniDevs.size()));
    for (int n = 0; n < AIniDevs.size(); ++n) {
        const QString& raw = AIniDevs[n].MAC;
        macs[size_t(n)] = NormalizeMACText(raw).value_or(raw);
        lastOf.insert(macs[size_t(n)], n);
    }
    // One listing of the picture folder instead of a look-up per device.
    QSet<QString> pictures;
    {
        const QDir dir(DevImgDir());
        for (const QString& f : dir.entryList({QStringLiteral("*.jpg")}, QDir::Files))
            pictures.insert(f.chopped(4).toUpper());
    }
    std::vector<TIOTDevItem*> added;
    added.reserve(size_t(AIniDevs.size()));
    for (int n = 0; n < AIniDevs.size(); ++n) {
        const QString& mac = macs[size_t(n)];
        if (lastOf.value(mac) != n)
            continue;
        TIniDev rec = AIniDevs[n];
        rec.MAC = mac;
        TIOTDevItem* item = FindByMACText(mac);
        const bool existing = item != nullptr;
        if (!existing)
            item = NewDevItem();
        QPointer<TIOTDevItem> guard(item);
        item->FConn->Init(rec, true);
        if (!guard)
            continue;
        const bool custom = IsMACText(mac) && pictures.contains(mac.toUpper());
        if (existing) {
            if (custom != item->FisCustomImg) {
                item->FisCustomImg = custom;
                emit itemChanged(item);
            }
        } else {
            item->FisCustomImg = custom;
            added.push_back(item);
        }
    }
    Append(added);
}

TIniDev TNEV_IOTDevList::CloudIniDev(const TDevInfoData& AData, const QString& AMAC, quint8 AType) const {
    TIniDev d;
    d.Name = AData.name;
    d.MAC = AMAC;
    d.IP = FCloudHost;
    d.Port = FCloudPort;
    d.DevPassword = AData.pass;
    d.DevType = AType;
    d.CtrlByte = 255;
    d.Activation = true;
    return d;
}

void TNEV_IOTDevList::FetchPicture(const QString& AUrl, const QString& AMAC) {
    if (AUrl.isEmpty() || !FImageFetch)
        return;
    const quint64 ticket = ++FLastTicket;
    FPictureTickets.insert(AMAC, ticket);
    FImageFetch(AUrl, this,
                [this, mac = AMAC, ticket](const QImage& picture) { PictureArrived(mac, ticket, picture); });
}

void TNEV_IOTDevList::PictureArrived(const QString& AMAC, quint64 ATicket, const QImage& APicture) {
    if (FPictureTickets.value(AMAC) != ATicket)
        return; // a newer fetch for this board is under way
    FPictureTickets.remove(AMAC);
    // A picture that could not be had keeps what the board shows; a board removed meanwhile
    // gets nothing.
    TIOTDevItem* item = FindByMACText(AMAC);
    if (APicture.isNull() || !item)
        return;
    const TIniSaveResult saved = SaveDevImage(AMAC, APicture);
    if (!saved) {
        qCWarning(lcDevList) << "device picture not saved:" << saved.Message;
        return;
    }
    item->FisCustomImg = true;
    emit customImageChanged(AMAC);
    emit itemChanged(item);
}

bool TNEV_IOTDevList::Add(const TDevInfoData& AData) {
    const std::optional<QString> mac = NormalizeMACText(AData.mac);
    if (!mac) {
        qCDebug(lcDevList) << "cloud record without a valid MAC skipped:" << AData.mac;
        return false;
    }
    TIOTDevItem* item = FindByMACText(*mac);
    const std::optional<quint8> type = ParseDevType(AData._type);
    if (!item) {
        item = NewDevItem();
        Append({item});
        QPointer<TIOTDevItem> guard(item);
        item->FConn->Init(CloudIniDev(AData, *mac, type.value_or(0)), false);
        if (guard)
            UpdateCustomImg(item);
        FetchPicture(AData.img, *mac);
        return true;
    }
    FetchPicture(AData.img, *mac);
    // Already listed: the account's data only; locks, touch mode and the capability byte stay.
    QPointer<TIOTDevItem> guard(item);
    TNEV_IOTDevConn* conn = item->FConn;
    conn->setDevNameStr(AData.name);
    if (!guard)
        return true;
    if (!AData.pass.isEmpty())
        conn->setDevPasswordStr(AData.pass);
    if (type)
        conn->setDevType(*type);
    if (!guard)
        return true;
    conn->setNetIPStr(FCloudHost);
    conn->setNetPort(FCloudPort);
    conn->setActivation(true);
    const bool onLan = conn->NetStyle() == TIOTNETSTYLE::NET_LAN && conn->NetState() == TIOTNETSTATE::NET_OK;
    if (!onLan)
        conn->setNetStyle(TIOTNETSTYLE::NET_REMOTE);
    return true;
}

void TNEV_IOTDevList::Down2local(const TCloudDevs& ACloudDevs) {
    for (const TDevInfoData& rec : ACloudDevs.data) {
        const std::optional<QString> mac = NormalizeMACText(rec.mac);
        if (!mac) {
            qCDebug(lcDevList) << "cloud record without a valid MAC skipped:" << rec.mac;
            continue;
        }
        TIOTDevItem* item = FindByMACText(*mac);
        if (!item) {
            Add(rec);
            continue;
        }
        QPointer<TIOTDevItem> guard(item);
        TNEV_IOTDevConn* conn = item->FConn;
        conn->setDevNameStr(rec.name);
        if (!guard)
            continue;
        // An empty password or a picture that cannot be had keeps what the device has.
        if (!rec.pass.isEmpty())
            conn->setDevPasswordStr(rec.pass);
        if (const auto type = ParseDevType(rec._type))
            conn->setDevType(*type);
        if (!guard)
            continue;
        FetchPicture(rec.img, *mac);
    }
}

TIniDevs TNEV_IOTDevList::GetIniDevs() const {
    TIniDevs devs;
    devs.reserve(DevCount());
    for (const TIOTDevItem* item : FItems)
        devs.append(IniDevOf(item->FConn));
    return devs;
}

void TNEV_IOTDevList::setRelaySession(const TCloudSession& ASession) {
    FRelaySession = ASession;
    for (TIOTDevItem* item : FItems)
        item->FConn->setRelaySession(ASession);
}

void TNEV_IOTDevList::CnntSvr() {
    std::vector<QPointer<TIOTDevItem>> items(FItems.begin(), FItems.end());
    for (const auto& item : items)
        if (item && item->FConn->NetStyle() == TIOTNETSTYLE::NET_DEFAULT)
            item->FConn->setNetStyle(TIOTNETSTYLE::NET_REMOTE);
}

void TNEV_IOTDevList::RefreshClick() {
    setAnimated(false);
    std::vector<QPointer<TIOTDevItem>> items(FItems.begin(), FItems.end());
    for (const auto& item : items) {
        if (item)
            item->FConn->setNetStyle(TIOTNETSTYLE::NET_DEFAULT);
        if (item)
            SetImgAnimated(item, false);
    }
}

void TNEV_IOTDevList::ItemIndexInit() {
    setAnimated(false);
    setRemoveState(false);
    SetSelectedItem(nullptr);
}

void TNEV_IOTDevList::ConnectByAddress() {
    std::vector<QPointer<TIOTDevItem>> items(FItems.begin(), FItems.end());
    for (const auto& item : items)
        if (item && !item->FConn->LanHost().isEmpty() && item->FConn->NetStyle() == TIOTNETSTYLE::NET_DEFAULT)
            item->FConn->setNetStyle(TIOTNETSTYLE::NET_LAN);
}

void TNEV_IOTDevList::SearchFinished() {
    ConnectByAddress();
    if (!FLanDirty)
        return;
    FLanDirty = false;
    if (OnIOTListSave)
        Raise(OnIOTListSave, GetIniDevs());
}

void TNEV_IOTDevList::setAnimated(bool AValue) {
    if (FAnimated == AValue)
        return;
    FAnimated = AValue;
    if (!AValue)
        SetSelectedItem(nullptr);
    emit animatedChanged(AValue);
}

void TNEV_IOTDevList::setRemoveState(bool AValue) {
    if (FRemoveState == AValue)
        return;
    FRemoveState = AValue;
    for (auto it = FItems.rbegin(); it != FItems.rend(); ++it) {
        TIOTDevItem* item = *it;
        if (item->FRemoveState == TREMOVESTATE::REMOVE_GO)
            continue; // already on its way out
        SetItemRemoveState(item, item->FRemoveState == TREMOVESTATE::REMOVE_DEFAULT
                                     ? TREMOVESTATE::REMOVE_READY
                                     : TREMOVESTATE::REMOVE_DEFAULT);
    }
    emit removeModeChanged(AValue);
}

void TNEV_IOTDevList::SetItemRemoveState(TIOTDevItem* AItem, TREMOVESTATE AValue) {
    if (AItem->FRemoveState == AValue)
        return;
    AItem->FRemoveState = AValue;
    emit itemRemoveStateChanged(AItem);
}

void TNEV_IOTDevList::SetImgAnimated(TIOTDevItem* AItem, bool AValue) {
    if (AItem->FImgAnimated == AValue)
        return;
    AItem->FImgAnimated = AValue;
    emit itemImgAnimatedChanged(AItem);
}

void TNEV_IOTDevList::SetSelected(int Index) {
    SetSelectedItem(Item(Index));
}

void TNEV_IOTDevList::SetSelectedItem(TIOTDevItem* AItem) {
    if (FNow == AItem)
        return;
    TIOTDevItem* old = FNow;
    FNow = AItem;
    if (old) {
        old->FConn->setClickState(false);
        emit itemChanged(old);
    }
    if (AItem) {
        AItem->FConn->setClickState(true);
        emit itemChanged(AItem);
    }
    emit selectionChanged();
}

bool TNEV_IOTDevList::BeforeClick() {
    bool doClick = true;
    Raise(OnIOTListBeforeClick, doClick);
    return doClick;
}

void TNEV_IOTDevList::RaiseClick(int Index, int Tag) {
    Raise(OnIOTListClick, Index, Tag);
}

void TNEV_IOTDevList::DoListClick(int Index, int Tag) {
    QPointer<TNEV_IOTDevList> self(this);
    if (!BeforeClick() || !self)
        return;
    switch (Tag) {
    case DevListTag::Panel:
    case DevListTag::Refresh:
        ItemIndexInit();
        break;
    case DevListTag::Del:
        setRemoveState(!FRemoveState);
        break;
    case DevListTag::Device:
        if (Item(Index))
            SetSelected(Index);
        break;
    default:
        break;
    }
    if (self)
        RaiseClick(Index, Tag);
}

void TNEV_IOTDevList::Message(const QString& AText) {
    Raise(FUi.ShowMessage, AText);
}

void TNEV_IOTDevList::ItemClick(TIOTDevItem* AItem, int Tag) {
    if (IndexOf(AItem) < 0 || AItem->FRemoveState == TREMOVESTATE::REMOVE_GO)
        return;
    QPointer<TIOTDevItem> item(AItem);
    if (Tag != DevListTag::Picture) {
        if (!BeforeClick() || !item || item->FRemoveState == TREMOVESTATE::REMOVE_GO)
            return;
    }
    TNEV_IOTDevConn* conn = item->FConn;
    switch (Tag) {
    case DevListTag::Device:
        DeviceClick(item);
        break;
    case DevListTag::Remove:
        BeginRemove(item);
        break;
    case DevListTag::Picture:
        if (conn->NetStyle() == TIOTNETSTYLE::NET_LAN)
            SetImgAnimated(item, !item->FImgAnimated);
        break;
    case DevListTag::OpenURL:
        if (!conn->DevIPStr().isEmpty()) {
            const QString url = QStringLiteral("Http://") + conn->DevIPStr();
            if (FUi.OpenUrl)
                Raise(FUi.OpenUrl, url);
            else
                OpenURL(url);
        }
        if (item)
            SetImgAnimated(item, false);
        break;
    default:
        break;
    }
}

void TNEV_IOTDevList::DeviceClick(TIOTDevItem* AItem) {
    QPointer<TIOTDevItem> item(AItem);
    const TNEV_IOTDevConn* conn = AItem->FConn;
    const TIOTNETSTYLE style = conn->NetStyle();
    if (style == TIOTNETSTYLE::NET_DEFAULT) {
        // Not connected at all: a logged-in user learns that, instead of selecting a closed
        // connection that does nothing.
        Message(CloudSession.Logged ? QStringLiteral("The device is disconnected!")
                                    : QStringLiteral("Please login first!"));
        return;
    }
    switch (conn->NetState()) {
    case TIOTNETSTATE::NET_CNNT:
        Message(QStringLiteral("The device is not verified!"));
        break;
    case TIOTNETSTATE::NET_CNNTING:
        Message(QStringLiteral("The device is connecting!"));
        break;
    case TIOTNETSTATE::NET_DISCNNT:
        Message(QStringLiteral("The device is disconnected!"));
        break;
    case TIOTNETSTATE::NET_PSDERR:
        if (style == TIOTNETSTYLE::NET_LAN) {
            DoListClick(IndexOf(AItem), DevListTag::Device);
            if (item)
                AskPassword(item);
        } else {
            Message(QStringLiteral("Account password error!"));
        }
        break;
    case TIOTNETSTATE::NET_TIMEOUT:
        Message(QStringLiteral("The device connect overtime!"));
        break;
    case TIOTNETSTATE::NET_OK:
        DoListClick(IndexOf(AItem), DevListTag::Device);
        break;
    case TIOTNETSTATE::NET_OFFLINE:
        Message(QStringLiteral("The device is off-line!"));
        break;
    case TIOTNETSTATE::NET_NOPER:
        Message(QStringLiteral("No permission to control the device!"));
        break;
    case TIOTNETSTATE::NET_CNNTFAILED:
        Message(QStringLiteral("Device connection failed!"));
        break;
    }
}

void TNEV_IOTDevList::AskPassword(TIOTDevItem* AItem) {
    if (!FUi.InputText)
        return;
    QPointer<TIOTDevItem> item(AItem);
    const std::optional<QString> entered =
        FUi.InputText(QStringLiteral("Please input device password"), QStringLiteral("Password:"));
    // The item may have gone while the prompt was open.
    if (!item || IndexOf(item) < 0 || !entered || entered->isEmpty())
        return;
    if (!IsPrintableAscii(*entered)) {
        Message(QStringLiteral("The device password error!"));
        return;
    }
    item->FConn->setDevPasswordStr(*entered);
    item->FConn->setNetStyle(TIOTNETSTYLE::NET_LAN);
}

void TNEV_IOTDevList::BeginRemove(TIOTDevItem* AItem) {
    SetItemRemoveState(AItem, TREMOVESTATE::REMOVE_GO);
    if (OnItemFadeOut)
        Raise(OnItemFadeOut, AItem);
    else
        FinishRemove(AItem);
}

void TNEV_IOTDevList::FinishRemove(TIOTDevItem* AItem) {
    if (IndexOf(AItem) < 0)
        return;
    QPointer<TNEV_IOTDevList> self(this);
    QPointer<TIOTDevItem> item(AItem);
    const bool go = BeforeClick();
    if (!self || !item)
        return;
    if (!go) {
        // The window kept it: back to the remove button.
        SetItemRemoveState(item, FRemoveState ? TREMOVESTATE::REMOVE_READY : TREMOVESTATE::REMOVE_DEFAULT);
        return;
    }
    const int pos = IndexOf(item);
    if (pos < 0)
        return;
    if (FNow == item)
        SetSelectedItem(nullptr);
    FItems.erase(FItems.begin() + pos);
    item->OnIOTDevState = nullptr;
    item->FConn->OnIOTDevState = nullptr;
    item->FConn->OnIOTDevChange = nullptr;
    item->FConn->setClickState(false);
    item->deleteLater();
    emit itemRemoved(pos);
    if (FItems.empty() && FRemoveState) {
        FRemoveState = false; // the flag only: there is no item left to slide
        emit removeModeChanged(false);
    }
    RaiseClick(pos, DevListTag::Remove);
}

int TNEV_IOTDevList::IndexOfMAC(const QString& AMAC) const {
    const TIOTDevItem* item = FindByMACText(AMAC);
    return item ? IndexOf(item) : -1;
}
