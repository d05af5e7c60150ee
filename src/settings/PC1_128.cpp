#include "PC1_128.h"

namespace {
constexpr quint16 MulA = 0x015A; // 346
constexpr quint16 MulB = 0x4E35; // 20021
} // namespace

void TPC1_128::PC1Init(const TPC1Key& key) {
    K = key;
    S = 0;
    X = 0;
    W.fill(0);
}

quint16 TPC1_128::Mix(int i) {
    // Arithmetic in unsigned int, cut to 16 bits: quint16 * quint16 would promote to a signed int
    // and could overflow.
    const unsigned a = W[i];
    const unsigned s0 = S;
    const unsigned d = (unsigned(X) + unsigned(i)) & 0xFFFFu;
    S = quint16((MulA * a) & 0xFFFFu);
    X = quint16((MulA * a + MulB * d + s0) & 0xFFFFu);
    W[i] = quint16((MulB * a + 1u) & 0xFFFFu);
    return quint16(W[i] ^ X);
}

quint8 TPC1_128::KeystreamByte() {
    W[0] = quint16(K[0] << 8 | K[1]);
    quint16 t = Mix(0);
    for (int j = 1; j < 8; ++j) {
        W[j] = quint16(W[j - 1] ^ (K[2 * j] << 8 | K[2 * j + 1]));
        t ^= Mix(j);
    }
    return quint8((t >> 8) ^ (t & 0xFF));
}

void TPC1_128::FoldIntoKey(quint8 plain) {
    for (auto& k : K)
        k ^= plain;
}

quint8 TPC1_128::EncryptByte(quint8 plain) {
    const quint8 out = plain ^ KeystreamByte();
    FoldIntoKey(plain);
    return out;
}

quint8 TPC1_128::DecryptByte(quint8 cipher) {
    const quint8 plain = cipher ^ KeystreamByte();
    FoldIntoKey(plain);
    return plain;
}

void TPC1_128::PC1EncryptBuf(quint8* buf, std::size_t len) {
    for (std::size_t n = 0; n < len; ++n)
        buf[n] = EncryptByte(buf[n]);
}

void TPC1_128::PC1EncryptBuf(QByteArray& buf) {
    PC1EncryptBuf(reinterpret_cast<quint8*>(buf.data()), std::size_t(buf.size()));
}

void TPC1_128::PC1DecryptBuf(quint8* buf, std::size_t len) {
    for (std::size_t n = 0; n < len; ++n)
        buf[n] = DecryptByte(buf[n]);
}

void TPC1_128::PC1DecryptBuf(QByteArray& buf) {
    PC1DecryptBuf(reinterpret_cast<quint8*>(buf.data()), std::size_t(buf.size()));
}

QByteArray PC1EncryptBytes(const TPC1Key& key, QByteArray buf) {
    TPC1_128 pc1(key);
    pc1.PC1EncryptBuf(buf);
    return buf;
}

QByteArray PC1DecryptBytes(const TPC1Key& key, QByteArray buf) {
    TPC1_128 pc1(key);
    pc1.PC1DecryptBuf(buf);
    return buf;
}
