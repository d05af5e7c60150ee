// PC1 letter form on arbitrary letters under an arbitrary key: no crash, the output keeps its
// shape, and what is enciphered comes back.
#include "PC1_128_Text.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // First byte: key length (0..31, over 16 exercises the cut); then key; the rest is the input.
    const size_t keyLen = std::min<size_t>(data[0] % 32, size - 1);
    const QByteArrayView key(reinterpret_cast<const char*>(data + 1), qsizetype(keyLen));
    const QByteArray rest(reinterpret_cast<const char*>(data + 1 + keyLen), qsizetype(size - 1 - keyLen));

    const QString letters = QString::fromUtf8(rest);
    const QByteArray plain = PC1TextDecrypt(key, letters);
    if (plain.size() > letters.size() / 2 || plain.contains('\0'))
        std::abort();
    if (PC1TextDecrypt(key, letters) != plain)
        std::abort();

    const QString cipher = PC1TextEncrypt(key, rest);
    if (rest.isEmpty() || rest.size() > PC1TextMaxBytes) {
        if (!cipher.isEmpty())
            std::abort();
    } else {
        if (cipher.size() != rest.size() * 2)
            std::abort();
        for (const QChar c : cipher)
            if (c < u'a' || c > u'p')
                std::abort();
        const QByteArray back = PC1TextDecrypt(key, cipher);
        const qsizetype zero = rest.indexOf('\0');
        if (back != (zero < 0 ? rest : rest.left(zero)))
            std::abort();
    }

    const QString text = QString::fromUtf8(rest);
    const QString stored = IniEncrypt(text, key);
    if (!stored.isEmpty() && IniDecrypt(stored, key) != text)
        std::abort();
    (void)IniDecrypt(letters, key);
    return 0;
}
