// TMainAccount: the cloud account in the main window. It builds the User page (login panel,
// account entries, user information), the register and password popups and the cloud device
// popup, and drives the login state: login, registration, information and password changes,
// log-out, the remembered login, activation of boards, the account's board list in the cloud and
// the synchronisation of that list with the local one.
#pragma once

#include "nevIOTJSONAPI.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class TImage;
class TPictureFetch;
class TRectangle;
class Tfrm_Main;

// One row of the cloud device list: the picture, the name above and the MAC below.
class TCloudDevsCell : public QWidget {
    Q_OBJECT

public:
    static constexpr int CellHeight = 65;
    explicit TCloudDevsCell(QWidget* parent = nullptr);

    QString CellName() const;
    void SetCellName(const QString& text);
    QString CellMAC() const;
    void SetCellMAC(const QString& text);
    // The row's picture as fetched or uploaded (at most 200 x 200); null while it has none.
    QImage Picture() const { return FPicture; }
    void SetPicture(const QImage& picture);

private:
    TRectangle* FRctnglDev;
    QLabel* FLblName;
    QLabel* FLblMAC;
    QImage FPicture;
};

// Whether the account or the password is too long for the relay login block (16 bytes each).
bool RemoteLoginFits(const QString& account, const QString& password);
// Why a text cannot be an account or password of the cloud: empty when it can. The server's
// paths carry both, and it trims them.
QString AccountTextProblem(const QString& text);
// "yyyy-MM-dd hh:mm:ss" in local time for Unix seconds; empty for a text that is not a number.
QString CloudTimeText(const QString& unixSeconds);
// The cloud's form of a MAC (twelve lowercase hexadecimal digits) from a typed one with or without
// separators; empty when it is not twelve hexadecimal digits.
QString CloudMACText(const QString& typed);

class TMainAccount : public QObject {
    Q_OBJECT

public:
    // Popup tags handled here (besides the frame's popup tags 1, 2, 12-15 and 18).
    enum : int { TagCloudChange = 20, TagCloudRemove = 21, TagCloudImage = 26, TagCloudUpload = 27 };

    explicit TMainAccount(Tfrm_Main* frm);

    // Start-up: the remembered login into the login fields, and a silent login when asked.
    void StartUp();

    bool LoginAction(const QString& account, const QString& password, bool silent);
    bool RegisterAction();
    void ChangeInfoAction();
    bool ChangePasswordAction();
    // Asks first; true when logged out.
    bool LogOut();
    // The User page's entries, by the clicked widget's name.
    void img_User_LoginClick(const QString& name);

    // Activation, by MAC and code; the reply when it succeeded, else a record with status "0".
    TDevActive ActivateDevice(const QString& mac, const QString& code);
    bool AddDeviceAction();
    // The settings popup's "Activation": the add popup over it with the selected board's MAC.
    void ActivateSelected();
    bool DownloadCloudDevs();
    void FillCloudList();
    void ShowCloudDetails(int index);
    void ChangeCloudDev();
    void RemoveCloudDev();
    void ChooseCloudImage();
    void UploadCloudImage();
    void SyncToLocal();
    void SyncToCloud();

    const TCloudDevs& CloudDevs() const { return FCloudDevs; }
    // The cloud's pictures, fetched in the background for the popup's rows and the device list.
    TPictureFetch* Pictures() const { return FPictures; }
    // Forgets the downloaded list, empties the popup's list and drops its picture fetches; also
    // when the cloud popup or the device settings popup closes.
    void DiscardCloudDevs();
    QImage CloudPicture() const { return FCloudPicture; }
    // Shows the unread support replies on the Feedback entry; 0 or less hides the badge.
    void SetFeedCount(int count);

    // The file to picture a cloud device with; the desktop's file dialog unless replaced (tests).
    std::function<QString()> ChooseImageFile;
    // The Feedback entry (the feedback conversation).
    std::function<void()> OnFeedList;
    // After a log-out, when the selected board was reached through the relay.
    std::function<void()> OnRemoteSelectedLoggedOut;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildLoginPanel();
    void BuildUserPage();
    void BuildRegister();
    void BuildCloudPopup();
    void ShowUserFields(const TUserReadData& d);
    // The session (and every board's relay login) after a login or log-out.
    void ApplySession();
    void ConnectRelayDevices();
    void DisconnectRelayDevices();
    // A failed call's message: the connection or the reply; nothing when `silent`.
    void ReportFailure(const TCloudError& error);
    void ShowCloudPicture(const QImage& picture);
    // Empties the popup's list; the rows' pending picture fetches are dropped with them.
    void ClearCloudList();
    void CloudRowPicture(const QPointer<TCloudDevsCell>& cell, const QImage& picture);
    int SelectedRow() const;
    bool CheckSelection();
    void AfterAddPopup();
    QString UploadFile() const;

    Tfrm_Main* FFrm;
    TCloudDevs FCloudDevs;
    QImage FCloudPicture;
    // The popup picture is one the user chose ("New Image"), not the row's.
    bool FCloudPictureChosen = false;
    bool FDiscarding = false;
    TPictureFetch* FPictures = nullptr;

    QLineEdit* FLoginAccount = nullptr;
    QLineEdit* FLoginPassword = nullptr;
    QCheckBox* FRemPss = nullptr;
    QCheckBox* FAutoLog = nullptr;
    QWidget* FUserScroll = nullptr;
    QLabel* FAccountLabel = nullptr;
    QLineEdit* FNickName = nullptr;
    QLineEdit* FEmail = nullptr;
    QLineEdit* FUserName = nullptr;
    QLineEdit* FTel = nullptr;
    QLineEdit* FAddress = nullptr;
    QLineEdit* FRemark = nullptr;
    QLabel* FLastTime = nullptr;
    QLabel* FLastIP = nullptr;
    TRectangle* FFeedBadge = nullptr;
    QLabel* FFeedCount = nullptr;
    QListWidget* FCloudList = nullptr;
    QLabel* FCloudMAC = nullptr;
    QLineEdit* FCloudName = nullptr;
    QLineEdit* FCloudPSD = nullptr;
    QLabel* FCloudTime = nullptr;
    TRectangle* FCloudImg = nullptr;
    bool FAddOverSettings = false;
};
