// MAC, UTF-8 and time text helpers on arbitrary input: no crash, and the outputs keep their shape.
#include "untPublic.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const QString text = QString::fromUtf8(bytes);

    TBUF6 mac;
    QString error;
    const bool ok = MACStrToBuf(text, mac, &error);
    if (ok == !error.isEmpty())
        std::abort();
    if (!ok && mac != TBUF6{})
        std::abort();
    if (IsMACText(text)) {
        if (!ok || MACBufToStr(mac) != text.toUpper())
            std::abort();
    }
    const QString formatted = FormatMACStr(text);
    if (formatted.count(QLatin1Char('-')) < 5)
        std::abort();
    (void)CompactMACStr(text);

    const int n = size ? int(data[0]) - 16 : 0;
    const QString decoded = Utf8BufToStr(bytes, n);
    if (!decoded.isEmpty() && (decoded.front().unicode() <= 0x20 || decoded.back().unicode() <= 0x20))
        std::abort();
    (void)StrToUtf8Buf(text);
    (void)UnixStrToDateStr(text, int(size % 27) - 13);
    (void)BitIsSet(bytes, quint16(size * 7));
    return 0;
}
