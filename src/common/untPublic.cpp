#include "untPublic.h"

#include <QRegularExpression>

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTimeZone>
#include <QUrl>

#include <cstring>
#include <limits>

TCloudSession CloudSession;

namespace {

// Removes every leading and trailing character at or below the space character.
QString TrimControl(const QString& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && s.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && s.at(e - 1).unicode() <= 0x20)
        --e;
    return s.mid(b, e - b);
}

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

} // namespace

std::optional<TUDPRcvRcd> TUDPRcvRcd::FromBytes(const QByteArray& bytes) {
    if (bytes.size() != Size)
        return std::nullopt;
    const auto* p = reinterpret_cast<const quint8*>(bytes.constData());
    TUDPRcvRcd r;
    std::memcpy(r.Head.data(), p + 0, 3);
    r.DevType = p[3];
    r.DevID = p[4];
    std::memcpy(r.DevIP.data(), p + 5, 4);
    std::memcpy(r.DevMAC.data(), p + 9, 6);
    std::memcpy(r.SoftVer.data(), p + 15, 2);
    std::memcpy(r.HardVer.data(), p + 17, 2);
    std::memcpy(r.DevName.data(), p + 19, 16);
    r.CHK = p[35];
    return r;
}

QByteArray TUDPRcvRcd::ToBytes() const {
    QByteArray b(Size, '\0');
    auto* p = reinterpret_cast<quint8*>(b.data());
    std::memcpy(p + 0, Head.data(), 3);
    p[3] = DevType;
    p[4] = DevID;
    std::memcpy(p + 5, DevIP.data(), 4);
    std::memcpy(p + 9, DevMAC.data(), 6);
    std::memcpy(p + 15, SoftVer.data(), 2);
    std::memcpy(p + 17, HardVer.data(), 2);
    std::memcpy(p + 19, DevName.data(), 16);
    p[35] = CHK;
    return b;
}

QString TCloudSession::Account() const {
    return Utf8BufToStr(AccountBuf);
}
QString TCloudSession::Password() const {
    return Utf8BufToStr(PasswordBuf);
}
bool TCloudSession::SetAccount(const QString& text) {
    AccountText = text;
    return StrToBuf16(text, AccountBuf);
}
bool TCloudSession::SetPassword(const QString& text) {
    PasswordText = text;
    return StrToBuf16(text, PasswordBuf);
}

bool BitIsSet(const QByteArray& bytes, quint16 index) {
    const int byte = index / 8;
    if (byte >= bytes.size())
        return false;
    return (quint8(bytes.at(byte)) & BitMasks[index % 8]) != 0;
}

bool SameBytes(const QByteArray& a, const QByteArray& b, int n) {
    if (n <= 0)
        return true;
    if (a.size() < n || b.size() < n)
        return false;
    return std::memcmp(a.constData(), b.constData(), size_t(n)) == 0;
}

QString IPBufToStr(const TBUF4& ip) {
    return QStringLiteral("%1.%2.%3.%4").arg(ip[0]).arg(ip[1]).arg(ip[2]).arg(ip[3]);
}

QString Utf8BufToStr(const QByteArray& bytes, int n) {
    if (n <= 0)
        return {};
    const QByteArray part = bytes.left(n);
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = dec.decode(part);
    if (dec.hasError())
        return {};
    return TrimControl(text);
}

QByteArray StrToUtf8Buf(const QString& text) {
    return TrimControl(text).toUtf8();
}

bool StrToBuf16(const QString& text, TBUF16& out) {
    out.fill(0);
    const QByteArray utf8 = StrToUtf8Buf(text);
    const auto n = std::min<qsizetype>(utf8.size(), qsizetype(out.size()));
    std::memcpy(out.data(), utf8.constData(), size_t(n));
    return utf8.size() <= qsizetype(out.size());
}

bool MACStrToBuf(const QString& text, TBUF6& out, QString* error) {
    out.fill(0);
    const QStringList parts = text.split(QLatin1Char(MACSeparator));
    if (parts.size() < 6)
        return true;
    TBUF6 result{};
    for (int i = 0; i < 6; ++i) {
        const QString& part = parts.at(i);
        unsigned value = 0;
        bool ok = !part.isEmpty();
        for (QChar c : part) {
            const int d = HexDigit(c);
            if (d < 0) {
                ok = false;
                break;
            }
            value = ((value << 4) | unsigned(d)) & 0xFFu; // only the low 8 bits are kept
        }
        if (!ok) {
            if (error)
                *error = QStringLiteral("'%1' is not a hexadecimal number").arg(part);
            return false;
        }
        result[size_t(i)] = quint8(value);
    }
    out = result;
    return true;
}

QString MACBufToStr(const TBUF6& mac) {
    QString s;
    for (size_t i = 0; i < mac.size(); ++i) {
        if (i)
            s += QLatin1Char(MACSeparator);
        s += QStringLiteral("%1").arg(mac[i], 2, 16, QLatin1Char('0')).toUpper();
    }
    return s;
}

QString FormatMACStr(const QString& text) {
    QString s = text;
    s.remove(QLatin1Char(' ')).remove(QLatin1Char(MACSeparator));
    s = s.toUpper();
    for (int k = 1; k <= 5; ++k) {
        if (k > s.size() + 1)
            continue;
        const int pos = 3 * k - 1; // 0-based position of character 3k
        if (pos >= s.size())
            s.append(QLatin1Char(MACSeparator));
        else
            s.insert(pos, QLatin1Char(MACSeparator));
    }
    return s;
}

QString CompactMACStr(const QString& text) {
    QString s = text;
    s.remove(QLatin1Char(' ')).remove(QLatin1Char(MACSeparator));
    return s.toLower();
}

bool IsMACText(const QString& text) {
    if (text.size() != 17)
        return false;
    for (int i = 0; i < 17; ++i) {
        const QChar c = text.at(i);
        if (i % 3 == 2) {
            if (c != QLatin1Char(MACSeparator))
                return false;
        } else if (HexDigit(c) < 0) {
            return false;
        }
    }
    return true;
}

int TimeZoneHours() {
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const int seconds = zone.standardTimeOffset(QDateTime::currentDateTimeUtc());
    return seconds / 3600; // truncates toward zero: a half-hour zone loses the half hour
}

QString UnixStrToDateStr(const QString& unixText) {
    return UnixStrToDateStr(unixText, TimeZoneHours());
}

QString UnixStrToDateStr(const QString& unixText, int zoneHours) {
    if (unixText.isEmpty())
        return {};
    bool ok = false;
    const qint64 secs = unixText.toLongLong(&ok, 10);
    if (!ok)
        return {};
    const qint64 shift = qint64(zoneHours) * 3600;
    if ((shift > 0 && secs > std::numeric_limits<qint64>::max() - shift) ||
        (shift < 0 && secs < std::numeric_limits<qint64>::min() - shift))
        return {};
    const QDateTime dt = QDateTime::fromSecsSinceEpoch(secs + shift, Qt::UTC);
    if (!dt.isValid())
        return {};
    return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString EnsureDir(const QString& path) {
    QDir().mkpath(path);
    return path;
}

QString ExistingFile(const QString& path) {
    return QFileInfo::exists(path) ? path : QString();
}

void OpenURL(const QString& url) {
    // The ARP cache flush of the original platform has no portable equivalent; only the browser
    // is asked to open the address.
    QDesktopServices::openUrl(QUrl::fromUserInput(url));
}

bool IsValidLanHost(const QString& text) {
    if (text.isEmpty() || text.size() > 253)
        return false;
    // IPv6: hexadecimal groups and colons (an IPv4 tail allowed).
    if (text.contains(u':')) {
        static const QRegularExpression v6(QStringLiteral("^[0-9A-Fa-f:.]+$"));
        return text.count(u':') >= 2 && v6.match(text).hasMatch();
    }
    static const QRegularExpression label(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?$"));
    const QStringList labels = text.split(u'.');
    for (const QString& l : labels)
        if (!label.match(l).hasMatch())
            return false;
    return true;
}
