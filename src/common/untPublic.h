// Device vocabulary shared by every layer: byte buffers, connection enumerations, the LAN search
// answer, the stored device record, the cloud login and the byte/text helpers.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

using TBUF2 = std::array<quint8, 2>;
using TBUF3 = std::array<quint8, 3>;
using TBUF4 = std::array<quint8, 4>;
using TBUF6 = std::array<quint8, 6>;
using TBUF16 = std::array<quint8, 16>;
using TIDBuf = std::array<quint8, 2>;
using TBooleans = QList<bool>;
using TBools = QList<bool>;
using TBools7 = std::array<bool, 7>;

enum class TIOTNETSTYLE : quint8 { NET_LAN = 0, NET_REMOTE = 1, NET_DEFAULT = 2 };

enum class TIOTNETSTATE : quint8 {
    NET_CNNT = 0,       // TCP up, login sent, no answer yet
    NET_CNNTING = 1,    // TCP connection being opened
    NET_DISCNNT = 2,    // no connection
    NET_PSDERR = 3,     // password refused (device or account)
    NET_TIMEOUT = 4,    // connect time-out (has a text, never entered)
    NET_OK = 5,         // logged in
    NET_OFFLINE = 6,    // relay reports the board off-line
    NET_NOPER = 7,      // relay refuses this account control of the board
    NET_CNNTFAILED = 8, // TCP connection could not be opened
};

// The 36-byte answer of a board to the LAN search, in wire order.
struct TUDPRcvRcd {
    static constexpr int Size = 36;
    TBUF3 Head{};
    quint8 DevType = 0;
    quint8 DevID = 0;
    TBUF4 DevIP{};
    TBUF6 DevMAC{};
    TBUF2 SoftVer{};
    TBUF2 HardVer{};
    TBUF16 DevName{};
    quint8 CHK = 0;

    // Exactly 36 bytes laid out as on the wire; nullopt for any other length.
    static std::optional<TUDPRcvRcd> FromBytes(const QByteArray& bytes);
    QByteArray ToBytes() const;
};

struct TDevParam {
    TBooleans LockArr;     // one lock flag per output, index 0 = output 1
    bool TouchMode = true; // true: click toggles; false: jog (on while held)
    bool operator==(const TDevParam&) const = default;
};

// One stored board, as the settings file and the device list keep it.
struct TIniDev {
    QString Name;
    QString MAC; // "AA-BB-CC-DD-EE-FF"
    QString IP;  // relay server host for NET_REMOTE
    quint16 Port = 8900;
    QString DevPassword;
    quint8 DevType = 0;
    quint8 CtrlByte = 0;
    bool Activation = false;
    TDevParam DevParam;
    // A board added by address: a LAN board reached at LanHost:LanPort instead of the address
    // its search answer gives (other subnets, VPNs, routers). Empty for boards found by search.
    QString LanHost;
    quint16 LanPort = 0;
    bool operator==(const TIniDev&) const = default;
};
using TIniDevs = QList<TIniDev>;

struct TFeedMsg {
    bool _Type = false; // which side of the feedback conversation wrote it
    QString Msg;
    QString Id = {}; // the server's id of a support reply; empty for the user's messages
    bool operator==(const TFeedMsg&) const = default;
};
using TFeedMsgs = QList<TFeedMsg>;

// Ports used when the settings file names none; the settings unit returns the ones it read and
// whoever connects is given them.
inline constexpr quint16 DefaultTCPLANPort = 8899;
inline constexpr quint16 DefaultTCPRemotePort = 8900;
inline constexpr quint16 DefaultUDPSCanPort = 1901;
inline constexpr quint16 RouterJoinPort = 1902;

inline constexpr int SearchWindowMs = 3000;
inline const QByteArray SearchRequest = QByteArray::fromHex("FF010102");
inline constexpr char DefaultDevPassword[] = "qorvu";
inline constexpr char MACSeparator = '-';
inline constexpr std::array<quint8, 8> BitMasks{1, 2, 4, 8, 16, 32, 64, 128};
inline constexpr std::array<quint8, 16> RelayLoginKey{0x5E, 0x0C, 0x93, 0xA7, 0x1B, 0x68, 0xD4, 0x2F,
                                                      0x80, 0xE5, 0x37, 0xC9, 0x4A, 0x16, 0xFB, 0x72};

// A cloud login: account, password and the server's user ID.
struct TCloudSession {
    bool Logged = false;
    TBUF16 AccountBuf{};
    TBUF16 PasswordBuf{};
    QString UserID;

    // The texts as typed: the cloud calls and the remembered login use these whole; only the
    // relay login block is limited to the 16-byte fields.
    QString AccountText;
    QString PasswordText;

    // The 16-byte fields as text.
    QString Account() const;
    QString Password() const;
    // The whole texts (the fields' texts when none was set).
    QString CloudAccount() const { return AccountText.isEmpty() ? Account() : AccountText; }
    QString CloudPassword() const { return PasswordText.isEmpty() ? Password() : PasswordText; }
    // Keeps the whole text and stores the trimmed UTF-8 text, zero padded, in the field; returns
    // false (and stores the first 16 bytes) when the text does not fit.
    bool SetAccount(const QString& text);
    bool SetPassword(const QString& text);
    void Clear() { *this = TCloudSession{}; }
};
// The one login of the running program. Process-wide only until the cloud commands of
// quillet-ctl take their account as a value; the device connection and the settings unit are
// given a session explicitly and never touch it.
extern TCloudSession CloudSession;

// --- byte and text helpers -------------------------------------------------------------------

bool BitIsSet(const QByteArray& bytes, quint16 index);
bool SameBytes(const QByteArray& a, const QByteArray& b, int n);
QString IPBufToStr(const TBUF4& ip);
QString Utf8BufToStr(const QByteArray& bytes, int n);
template <std::size_t N> QString Utf8BufToStr(const std::array<quint8, N>& buf) {
    return Utf8BufToStr(QByteArray(reinterpret_cast<const char*>(buf.data()), int(N)), int(N));
}
QByteArray StrToUtf8Buf(const QString& text);
// Copies the trimmed UTF-8 text into a zero-filled 16-byte buffer; false when it had to be cut.
bool StrToBuf16(const QString& text, TBUF16& out);

// Six "-"-separated hexadecimal parts into bytes (low 8 bits of each). Fewer than six parts give
// six zero bytes without error; an empty or non-hexadecimal part among the first six is an error:
// the result is then false, `out` is zeroed and `error` (when given) says which part.
bool MACStrToBuf(const QString& text, TBUF6& out, QString* error = nullptr);
QString MACBufToStr(const TBUF6& mac);
QString FormatMACStr(const QString& text);
QString CompactMACStr(const QString& text);
// True for exactly "AA-BB-CC-DD-EE-FF" with hexadecimal digits (either case).
bool IsMACText(const QString& text);
// A host a board can be reached at: a host name (letters, digits and "-" in dot-separated labels
// of 1 to 63 characters, at most 253 in all), an IPv4 address, or an IPv6 address. No blanks.
bool IsValidLanHost(const QString& text);

// Whole hours of the local standard zone east of UTC (no daylight saving, truncated).
int TimeZoneHours();
QString UnixStrToDateStr(const QString& unixText);
QString UnixStrToDateStr(const QString& unixText, int zoneHours);

QString EnsureDir(const QString& path);
QString ExistingFile(const QString& path);

// Opens a web address in the user's browser; failures are ignored.
void OpenURL(const QString& url);
