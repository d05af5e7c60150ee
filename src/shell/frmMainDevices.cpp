// The Device page of the main window: the device list, the control list of the selected board,
// its task popup and the controller that talks to the board, wired to the frame's popups and menus.
#include "frmMain.h"
#include "frmMainDevSink.h"

#include "untAddRouter.h"
#include "untAnchorMenu.h"
#include "untDevEvents.h"
#include "untIOTCtrlList.h"
#include "untIOTDevList.h"
#include "untIOTDevListView.h"
#include "untIni.h"
#include "untLang.h"
#include "untPopImgLst.h"
#include "untResImages.h"
#include "untTaskList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGraphicsOpacityEffect>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QSpinBox>

TNEV_IOTCtrlCell* Tfrm_Main::Cell(TIOTYPE AIOType, int Index) const {
    return FCtrlList->Items(AIOType, Index);
}

void Tfrm_Main::CreateLists() {
    FDevSink = std::make_unique<TMainDevSink>(*this);
    FDevEvents = std::make_unique<TDevEvents>(*FDevSink);
    FDevEvents->setRedIntervals(FEnv.RedMs, FEnv.RedCloseMs);
    FDevEvents->setChainStepMs(FEnv.ChainStepMs);

    FDevList = new TNEV_IOTDevList(this);
    FDevList->setObjectName(QStringLiteral("IOTDevListCore"));
    FDevList->setCloudHost(FIni->IniCloudHost());
    FDevList->setLanPort(FIni->IniTCPLANPort());
    TDevListUi ui;
    ui.ShowMessage = [this](const QString& text) { Msg(text); };
    ui.InputText = [this](const QString& title, const QString& label) {
        ReleaseJog();
        // Device passwords are typed masked.
        return FEnv.Messages->InputQuery(this, LangText(title), LangText(label), {}, true);
    };
    FDevList->setUi(std::move(ui));
    FDevListView = new TIOTDevListView(FDevList, FDevPage);
    FDevListView->setGeometry(FDevPage->rect());

    FCtrlList = new TNEV_IOTCtrlList(FDevPage);
    FCtrlList->setObjectName(QStringLiteral("IOTCtrlList"));
    FCtrlList->SetSlideDuration(FEnv.SlideMs);
    FDevListView->setAnimatedLang(TNEV_IOTCtrlList::PanelWidth);
    FCtrlList->raise();

    // The task popup stands in the frame's popup place for the task list; it sends its own
    // requests to the selected board and takes the board's task replies from the controller.
    FTaskPopup = new TTaskPopup(FContent);
    FPops.insert(POP_TASK, FTaskPopup);
    FTaskPopup->SetClock(FEnv.Clock);
    TTaskDialogs dialogs;
    dialogs.Message = [this](const QString& text) {
        BeforeModal();
        FEnv.Messages->ShowMessage(this, text);
    };
    dialogs.Confirm = [this](const QString& text, std::function<void(bool)> answer) {
        BeforeModal();
        const bool yes = FEnv.Messages->Confirm(this, text);
        answer(yes);
    };
    FTaskPopup->SetDialogs(dialogs);
    FTaskPopup->OnSend = [this](const QByteArray& payload) { FDevEvents->TCPSend(payload); };
    FTaskPopup->OnClosed = [this] { HidePop(POP_TASK); };
    for (int tag : {TTaskPopup::TagAdd, TTaskEditor::TagOK, TTaskEditor::TagCancel})
        SetPopHandler(tag, [this, tag] { FTaskPopup->PopClick(tag); });
    SetPopHandler(TTaskPopup::TagClose, [this] { FTaskPopup->PopClick(TTaskPopup::TagClose); });

    // The device list.
    FDevList->OnIOTListBeforeClick = [this](bool& doClick) {
        if (Sliding() || Locked()) {
            doClick = false;
            return;
        }
        if (FCtrlList->Appeared()) {
            // This click only closes the control panel.
            FDevEvents->Select(nullptr);
            FCtrlList->SetAppeared(false);
            FDevList->setAnimated(false);
            doClick = false;
            return;
        }
        doClick = true;
    };
    FDevList->OnIOTListDisConnect = [this](QObject*) {
        if (FCtrlList->Appeared())
            FCtrlList->SetAppeared(false);
    };
    FDevList->OnIOTListClick = [this](int index, int tag) { ListClick(index, tag); };
    FDevList->OnIOTListSave = [this](const TIniDevs&) { SaveDevListSoon(); };

    // The control list.
    FCtrlList->OnIOTCtrlClick = [this](QObject* sender, int index, int tag, TIOTYPE type) {
        CtrlClick(sender, index, tag, type);
    };
    FCtrlList->OnIOTJogMode = [this](int index, bool isOn) { FDevEvents->JogMode(index, isOn); };
    FPopImgLst->OnImgClick = [this](QObject*, quint16 index) {
        const TNowCtrl now = FCtrlList->NowCtrl;
        if (TNEV_IOTCtrlCell* cell = Cell(now.IOType, now.TypeIndex))
            FDevEvents->SetChannelPicture(now.IOType, now.TypeIndex, cell->IOName(), quint8(index));
    };

    // The frame's hooks.
    SelectedDevice = [this] { return FDevEvents->Selected(); };
    OnSearchAnswer = [this](const TUDPRcvRcd& rcd) { FDevList->Add(rcd); };
    OnSearchEnd = [this] {
        FDevList->SearchFinished();
        if (CloudSession.Logged)
            FDevList->CnntSvr();
    };
    OnSearchStart = [this] {
        FTaskPopup->ForgetRequests();
        FCtrlList->SetAppeared(false);
        FDevList->RefreshClick();
    };
    OnBeforeModal = [this] { ReleaseJog(); };
    OnLeaveDevicePage = [this](bool fromDevice) {
        ReleaseJog();
        FDevList->setAnimated(false);
        FCtrlList->SetAppeared(false);
        if (fromDevice) {
            FDevEvents->Select(nullptr);
            FDevList->ItemIndexInit();
        }
    };
    OnDevicePageShown = [this] { FCtrlList->raise(); };
    CollectDevs = [this] { return FDevList->GetIniDevs(); };
    OnShutdown = [this] {
        // The controller detaches from the selected device; the others only report to the list.
        FDevEvents->Select(nullptr);
        FDevList->OnIOTListClick = nullptr;
        FDevList->OnIOTListBeforeClick = nullptr;
        FDevList->OnIOTListDisConnect = nullptr;
        FDevList->OnIOTListSave = nullptr;
        for (int i = 0; i < FDevList->DevCount(); ++i)
            if (TIOTDevItem* item = FDevList->Item(i))
                item->OnIOTDevState = nullptr;
        FCtrlList->OnIOTCtrlClick = nullptr;
        FCtrlList->OnIOTJogMode = nullptr;
    };

    // The popup and menu buttons of the Device page.
    SetPopHandler(7, [this] { FDevEvents->AllOn(); });
    SetPopHandler(8, [this] { FDevEvents->AllOff(); });
    SetPopHandler(9, [this] {
        FDevEvents->RenameChannel(TmpIOType, TmpIndex, TmpIOName,
                                  findChild<QLineEdit*>(QStringLiteral("edt_Pop_Input_Text"))->text());
        HidePop(POP_RENAME);
    });
    SetPopHandler(11, [this] {
        FDevEvents->ToggleTouchMode();
        ShowTouchMode(FCtrlList->TouchMode());
    });
    SetPopHandler(16, [this] {
        FDevEvents->ChangeName(findChild<QLineEdit*>(QStringLiteral("edt_Pop_DevInfo_DevName"))->text());
    });
    SetPopHandler(17, [this] {
        auto text = [this](const char* name) { return findChild<QLineEdit*>(QLatin1String(name))->text(); };
        FDevEvents->ChangePassword(text("edt_Pop_DevInfo_Old"), text("edt_Pop_DevInfo_New"),
                                   text("edt_Pop_DevInfo_Retype"));
    });
    SetPopHandler(25, [this] {
        auto text = [this](const char* name) { return findChild<QSpinBox*>(QLatin1String(name))->text(); };
        FDevEvents->ChangeIO(text("spnbx_Pop_DevInfo_Out"), text("spnbx_Pop_DevInfo_In"),
                             text("spnbx_Pop_DevInfo_PWM"), text("spnbx_Pop_DevInfo_AD"));
    });
    SetPopHandler(19, [this] {
        ClearDevInfoPicture();
        HidePop(POP_DEVINFO);
    });
    SetPopHandler(23, [this] { PickImageFile(); });
    SetPopHandler(24, [this] { ApplyDevPicture(); });
    SetPopHandler(31, [this] { FDevEvents->SaveState(); });
    for (int mode = 1; mode <= 3; ++mode)
        SetPopHandler(31 + mode, [this, mode] {
            FDevEvents->StudyRed(RedStudyNum, quint8(mode));
            HidePop(POP_REDSTUDY);
        });
    SetPopHandler(36, [this] { FDevEvents->CreateRed(); });
    SetPopHandler(39, [this] { AddByAddress(); });
    SetPopHandler(41, [this] {
        HidePop(POP_ADD);
        ShowPop(POP_ADDMINI);
        findChild<QLineEdit*>(QStringLiteral("edt_PopAddmini_MAC"))->setFocus();
    });
    SetPopHandler(37, [this] {
        MenuRed()->Close();
        ShowPop(POP_REDSTUDY);
    });
    SetPopHandler(38, [this] {
        MenuRed()->Close();
        FDevEvents->RemoveRed(RedStudyNum);
    });

    // The stored boards.
    FDevList->Add(FIni->IniDevs());
}

void Tfrm_Main::ReleaseJog() {
    if (FDevEvents)
        FDevEvents->ReleaseJog();
}

void Tfrm_Main::ListClick(int, int tag) {
    switch (tag) {
    case 0:
        FCtrlList->SetAppeared(false);
        break;
    case 1:
        SearchDevices();
        break;
    case 2:
        if (CloudSession.Logged)
            ShowPop(POP_ADD);
        else
            Msg(QStringLiteral("Login first please"));
        break;
    case 3:
        FCtrlList->SetAppeared(false);
        FDevList->setAnimated(false);
        break;
    case 4: {
        QPointer<TNEV_IOTDevConn> dev = FDevList->NowDev();
        if (!dev)
            break;
        FDevEvents->Select(nullptr);
        FTaskPopup->ForgetRequests();
        // The panel slides away first; the new board is read once it is gone.
        FCtrlList->SetAppearedWait(false, [this, dev] {
            if (!dev || FShutDown || FDevList->NowDev() != dev)
                return;
            FCtrlList->SetDevParam(dev->DevParam());
            ShowTouchMode(dev->DevParam().TouchMode);
            FDevEvents->Select(dev);
        });
        break;
    }
    case 5:
        SaveDevList();
        break;
    default:
        break;
    }
}

void Tfrm_Main::CtrlClick(QObject* sender, int index, int tag, TIOTYPE type) {
    if (Locked())
        return;
    const quint8 n = quint8(index + 1);
    switch (tag) {
    case 1:
        if (auto* cell = FCtrlList->OutItems(index))
            FDevEvents->SwitchOutput(index, cell->isOn());
        break;
    case 2:
        if (TNEV_IOTCtrlCell* cell = Cell(type, index)) {
            TmpIOName = cell->IOName();
            TmpIOType = type;
            TmpIndex = index;
            auto* edit = findChild<QLineEdit*>(QStringLiteral("edt_Pop_Input_Text"));
            edit->setText(cell->CtrlName());
            ShowPop(POP_RENAME);
            edit->setFocus();
        }
        break;
    case 3:
        if (auto* anchor = qobject_cast<QWidget*>(sender)) {
            for (int i = 0; i < CtrlListImgCount; ++i)
                FPopImgLst->AddImg(CtrlListImg(i));
            FPopImgLst->SetPlacementTarget(anchor);
            FPopImgLst->Popup();
        }
        break;
    case 4:
        FTaskPopup->Open(index);
        ShowPop(POP_TASK);
        break;
    case 5: {
        const TNEV_IOTDevConn* dev = FDevEvents->Selected();
        if (auto* add = findChild<QWidget*>(QStringLiteral("img_DevCtrl_PopBtn5")))
            add->setEnabled(dev && dev->DevType() == 1);
        ShowTouchMode(FCtrlList->TouchMode());
        MenuLight()->OpenAt(FCtrlList->Img_Light(), TAnchorMenu::TSide::Left);
        break;
    }
    case 6:
        FillDevInfo();
        ShowPop(POP_DEVINFO);
        break;
    case 7:
        if (auto* cell = FCtrlList->PWMItems(index)) {
            ReleaseJog();
            const auto text = FEnv.Messages->InputQuery(
                this, LangText(QStringLiteral("Change PWM frequency (715~65535)")),
                LangText(QStringLiteral("Value:")), QString::number(cell->PinLv()), false);
            if (text)
                FDevEvents->SetPWMFrequency(index, *text);
        }
        break;
    case 8:
        if (auto* cell = FCtrlList->PWMItems(index))
            FDevEvents->SetPWMDuty(index, quint8(std::clamp(cell->Duty(), 0, 100)));
        break;
    case 9:
        FDevEvents->LocksChanged();
        break;
    case 10:
        if (auto* cell = FCtrlList->RedItems(index)) {
            if (cell->isStudied()) {
                FDevEvents->SendRed(n);
            } else {
                RedStudyNum = n;
                ShowPop(POP_REDSTUDY);
            }
        }
        break;
    case 11:
        if (auto* anchor = qobject_cast<QWidget*>(sender)) {
            RedStudyNum = n;
            MenuRed()->OpenAt(anchor, TAnchorMenu::TSide::Left);
        }
        break;
    default:
        break;
    }
}

void Tfrm_Main::FillDevInfo() {
    const TNEV_IOTDevConn* dev = FDevEvents->Selected();
    findChild<QLineEdit*>(QStringLiteral("edt_Pop_DevInfo_DevName"))
        ->setText(dev ? dev->DevNameStr() : QString());
    for (const char* name : {"edt_Pop_DevInfo_Old", "edt_Pop_DevInfo_New", "edt_Pop_DevInfo_Retype"})
        findChild<QLineEdit*>(QLatin1String(name))->clear();
    const std::pair<const char*, int> counts[] = {{"spnbx_Pop_DevInfo_Out", FCtrlList->OutCount()},
                                                  {"spnbx_Pop_DevInfo_In", FCtrlList->InCount()},
                                                  {"spnbx_Pop_DevInfo_PWM", FCtrlList->PWMCount()},
                                                  {"spnbx_Pop_DevInfo_AD", FCtrlList->REGCount()}};
    for (const auto& [name, count] : counts)
        findChild<QSpinBox*>(QLatin1String(name))->setValue(count);
    const quint8 ctrl = dev ? dev->CtrlByte() : 0;
    // A part that is off is faded as a whole: the picture buttons and labels have no disabled look.
    auto setPart = [this](const char* name, bool on) {
        auto* part = findChild<QWidget*>(QLatin1String(name));
        part->setEnabled(on);
        if (on) {
            part->setGraphicsEffect(nullptr);
        } else if (!part->graphicsEffect()) {
            auto* fade = new QGraphicsOpacityEffect(part);
            fade->setOpacity(0.4);
            part->setGraphicsEffect(fade);
        }
    };
    setPart("rctngl_Pop_DevInfo_IO", ctrl & 0x02);
    // Without the router port (another program holds it) the router part stays off until a
    // search of the device list takes the port again.
    setPart("rctngl_Pop_DevInfo_Router", (ctrl & 0x04) && FAddRouter && FAddRouter->isListening());
    FDevInfoPicture = QImage();
    if (dev) {
        const TBitmap model = ResBitmap(QStringLiteral("Device_Type%1").arg(dev->DevType()));
        const QImage own = LoadDevImage(dev->DevMACStr());
        FDevInfoPicture = !own.isNull() ? own : model.toImage(QSize(200, 200));
    }
    ShowDevInfoPicture();
}

void Tfrm_Main::ShowDevInfoPicture() {
    auto* target = findChild<TRectangle*>(QStringLiteral("rctngl_Pop_DevInfo_NewImg"));
    if (FDevInfoPicture.isNull())
        target->SetNoFill();
    else
        target->SetFillBitmap(TBitmap::FromImage(FDevInfoPicture));
}

void Tfrm_Main::ClearDevInfoPicture() {
    FDevInfoPicture = QImage();
    ShowDevInfoPicture();
}

void Tfrm_Main::PickImageFile() {
    ReleaseJog();
    const QString file = QFileDialog::getOpenFileName(
        this, {}, {}, QStringLiteral("Image Files (*.jpg *.jpeg *.bmp *.png *.gif)"));
    if (file.isEmpty())
        return;
    const QImage chosen(file);
    if (chosen.isNull()) {
        Msg(QStringLiteral("Input error!"));
        return;
    }
    QImage picture(200, 200, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter p(&picture);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRect(0, 0, 200, 200), chosen);
    p.end();
    FDevInfoPicture = picture;
    ShowDevInfoPicture();
}

void Tfrm_Main::ApplyDevPicture() {
    TNEV_IOTDevConn* dev = FDevEvents->Selected();
    if (!dev || FDevInfoPicture.isNull())
        return;
    const TIniSaveResult saved = SaveDevImage(dev->DevMACStr(), FDevInfoPicture);
    // Success only when the picture was written.
    if (!saved.Ok) {
        ShowSaveResult(false, saved.Message);
        return;
    }
    FDevList->DropPictureFetch(dev->DevMACStr());
    Msg(QStringLiteral("Change the picture Success!"));
}

void Tfrm_Main::AddByAddress() {
    auto text = [this](const char* name) { return findChild<QLineEdit*>(QLatin1String(name))->text(); };
    const auto mac = NormalizeMACText(text("edt_PopAddmini_MAC"));
    const QString host = text("edt_PopAddmini_IP").trimmed();
    bool portOk = false;
    const int port = text("edt_PopAddmini_Port").trimmed().toInt(&portOk);
    const QString password = text("edt_PopAddmini_PSD");
    const bool passwordOk = !password.isEmpty() && password.size() <= 6 &&
                            std::all_of(password.begin(), password.end(),
                                        [](QChar c) { return c.unicode() >= 0x21 && c.unicode() <= 0x7E; });
    if (!mac || !IsValidLanHost(host) || !portOk || port < 1 || port > 65535 || !passwordOk) {
        Msg(QStringLiteral("Input error!"));
        return;
    }
    TIniDev dev;
    dev.MAC = *mac;
    dev.LanHost = host;
    dev.LanPort = quint16(port);
    dev.DevPassword = password;
    dev.IP = FDevList->CloudHost();
    dev.Port = FIni->IniTCPRemotePort();
    // A board already listed keeps its name, type and settings and gains the address.
    if (const int at = FDevList->IndexOfMAC(*mac); at >= 0) {
        TNEV_IOTDevConn* conn = FDevList->DevItems(at);
        conn->setLanAddress(host, dev.LanPort);
        conn->setDevPasswordStr(password);
        if (conn->NetStyle() == TIOTNETSTYLE::NET_LAN)
            conn->setNetStyle(TIOTNETSTYLE::NET_DEFAULT);
    } else {
        dev.Name = host.left(16);
        FDevList->Add(TIniDevs{dev});
    }
    FDevList->ConnectByAddress();
    SaveDevList();
    HidePop(POP_ADDMINI);
}

void Tfrm_Main::WireRouterJoin() {
    auto* names = findChild<QComboBox*>(QStringLiteral("edt_Pop_DevInfo_RouterSearch"));
    auto* search = findChild<QWidget*>(QStringLiteral("img_Pop_DevInfo_RouterSearch"));
    FAddRouter->OnRouterList = [this, names, search](const TRouterNets& nets) {
        // The whole list so far, after the manual entry; the text being typed stays.
        const QString typed = names->currentText();
        names->clear();
        names->addItem(LangChoose(TLangChoice::ManualInput));
        for (const TRouterNet& net : nets)
            names->addItem(net.Caption());
        names->setEditText(typed);
        search->setEnabled(true);
        if (!std::exchange(FRouterListTold, true))
            Msg(QStringLiteral("Search finished, please select or enter a SSID name."));
    };
    FAddRouter->OnRouterSearchEnd = [search] { search->setEnabled(true); };
    FAddRouter->OnJoinResult = [this](TRouterJoinResult result) {
        if (std::exchange(FRouterJoinTold, true))
            return;
        switch (result) {
        case TRouterJoinResult::JOIN_NOSSID:
            Msg(QStringLiteral("SSID not exist!"));
            break;
        case TRouterJoinResult::JOIN_PSDERR:
            Msg(QStringLiteral("SSID password error!"));
            break;
        case TRouterJoinResult::JOIN_OK:
            Msg(QStringLiteral("Add SSID success!"));
            break;
        }
    };
    SetPopHandler(42, [this] { RouterSearch(); });
    SetPopHandler(43, [this] { RouterAdd(); });
}

void Tfrm_Main::RouterSearch() {
    auto* names = findChild<QComboBox*>(QStringLiteral("edt_Pop_DevInfo_RouterSearch"));
    names->clear();
    names->addItem(LangChoose(TLangChoice::ManualInput));
    names->setEditText({});
    FRouterListTold = false;
    if (!FAddRouter->Search())
        return;
    // Back with the first list, or when the search window ends without one.
    findChild<QWidget*>(QStringLiteral("img_Pop_DevInfo_RouterSearch"))->setEnabled(false);
}

void Tfrm_Main::RouterAdd() {
    const auto* names = findChild<QComboBox*>(QStringLiteral("edt_Pop_DevInfo_RouterSearch"));
    const QString text = names->currentText();
    // The manual entry itself is no network name.
    if (text.trimmed().isEmpty() || (names->count() > 0 && text == names->itemText(0))) {
        Msg(QStringLiteral("Input SSID name first!"));
        return;
    }
    // A listed network is joined by its name as the board sent it; anything typed, as typed.
    const int index = names->currentIndex();
    const int listed = index >= 1 && names->itemText(index) == text ? index : 0;
    FRouterJoinTold = false;
    FAddRouter->Add(listed, text, findChild<QLineEdit*>(QStringLiteral("edt_Pop_DevInfo_RouterPWD"))->text());
}
