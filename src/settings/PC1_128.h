// PC1-128 (Pukall Cipher 1, 128-bit key) keystream generator and its in-place byte form.
// Every call sequence starts with PC1Init; the state never carries over from one PC1Init to the
// next, so two ciphers under the same key always produce the same keystream.
#pragma once

#include <QByteArray>

#include <array>
#include <cstddef>
#include <cstdint>

using TPC1Key = std::array<quint8, 16>;

class TPC1_128 {
public:
    TPC1_128() = default;
    explicit TPC1_128(const TPC1Key& key) { PC1Init(key); }

    // Loads the key and clears S and X.
    void PC1Init(const TPC1Key& key);

    // Enciphers / deciphers in place, continuing the keystream of earlier calls since PC1Init.
    void PC1EncryptBuf(quint8* buf, std::size_t len);
    void PC1EncryptBuf(QByteArray& buf);
    void PC1DecryptBuf(quint8* buf, std::size_t len);
    void PC1DecryptBuf(QByteArray& buf);

    quint8 EncryptByte(quint8 plain);
    quint8 DecryptByte(quint8 cipher);

    // Keystream byte for the current key state; the state of S, X and W moves on, K does not.
    quint8 KeystreamByte();

private:
    quint16 Mix(int i);
    void FoldIntoKey(quint8 plain);

    TPC1Key K{};
    quint16 S = 0;
    quint16 X = 0;
    std::array<quint16, 8> W{};
};

// One-shot helpers: a fresh cipher under `key` over the whole buffer.
QByteArray PC1EncryptBytes(const TPC1Key& key, QByteArray buf);
QByteArray PC1DecryptBytes(const TPC1Key& key, QByteArray buf);
