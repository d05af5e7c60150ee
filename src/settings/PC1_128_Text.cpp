#include "PC1_128_Text.h"

#include "MachineKey.h"

TPC1Key PC1TextKey(QByteArrayView key) {
    TPC1Key k{};
    const qsizetype n = std::min<qsizetype>(key.size(), qsizetype(k.size()));
    for (qsizetype i = 0; i < n; ++i)
        k[std::size_t(i)] = quint8(key[i]);
    return k;
}

QString PC1TextEncrypt(QByteArrayView key, QByteArrayView input) {
    if (input.isEmpty() || input.size() > PC1TextMaxBytes)
        return {};
    TPC1_128 pc1(PC1TextKey(key));
    QString out(input.size() * 2, Qt::Uninitialized);
    QChar* letter = out.data();
    for (const char plain : input) {
        const quint8 c = pc1.EncryptByte(quint8(plain));
        *letter++ = QChar(u'a' + (c >> 4));
        *letter++ = QChar(u'a' + (c & 0x0F));
    }
    return out;
}

namespace {
quint8 LetterValue(QChar letter) {
    const char16_t u = letter.unicode();
    return (u >= u'a' && u <= u'p') ? quint8(u - u'a') : 0;
}
} // namespace

QByteArray PC1TextDecrypt(QByteArrayView key, QStringView letters) {
    TPC1_128 pc1(PC1TextKey(key));
    QByteArray out;
    out.reserve(letters.size() / 2);
    for (qsizetype i = 0; i + 1 < letters.size(); i += 2) {
        const quint8 c = quint8(LetterValue(letters[i]) << 4 | LetterValue(letters[i + 1]));
        const quint8 plain = pc1.DecryptByte(c);
        if (plain == 0)
            break;
        out.append(char(plain));
    }
    return out;
}

QString IniEncrypt(const QString& text, QByteArrayView key) {
    const QByteArray bytes = text.toUtf8();
    if (bytes.contains('\0'))
        return {};
    return PC1TextEncrypt(key, bytes);
}

QString IniDecrypt(QStringView letters, QByteArrayView key) {
    if (letters.isEmpty())
        return {};
    return QString::fromUtf8(PC1TextDecrypt(key, letters));
}

QString IniEncrypt(const QString& text) {
    return IniEncrypt(text, MachineKey().toLatin1());
}

QString IniDecrypt(QStringView letters) {
    return IniDecrypt(letters, MachineKey().toLatin1());
}
