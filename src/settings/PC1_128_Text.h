// Text form of the PC1-128 cipher: bytes become two letters 'a'..'p' each (high nibble first)
// and back. Used for the passwords and the account name kept in program.ini.
#pragma once

#include "PC1_128.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Longest input PC1TextEncrypt accepts; longer input is refused with an empty result rather
// than cut, so nothing is stored that would not come back whole.
inline constexpr qsizetype PC1TextMaxBytes = 16500;

// A text key of up to 16 bytes, padded with zero bytes; bytes beyond the 16th are ignored.
TPC1Key PC1TextKey(QByteArrayView key);

// 1..PC1TextMaxBytes input bytes -> exactly twice as many letters. Empty input or input over
// the limit gives an empty text.
QString PC1TextEncrypt(QByteArrayView key, QByteArrayView input);

// Letters taken in pairs (an odd last letter is ignored; a character outside 'a'..'p' counts as
// 0) -> bytes, ending before the first zero byte deciphered. Never fails.
QByteArray PC1TextDecrypt(QByteArrayView key, QStringView letters);

// Settings file wrappers. Texts travel as UTF-8 bytes so that Chinese account names and
// passwords come back unchanged on every system (ASCII texts give their ASCII bytes).
// IniEncrypt gives an empty text for an empty text, and also refuses (empty text) a text that
// could not come back whole: one whose UTF-8 form is over PC1TextMaxBytes or holds a zero byte.
// IniDecrypt gives an empty text for empty letters; invalid UTF-8 (wrong key) is read with
// replacement characters, never an error.
QString IniEncrypt(const QString& text, QByteArrayView key);
QString IniDecrypt(QStringView letters, QByteArrayView key);
// The same under MachineKey().
QString IniEncrypt(const QString& text);
QString IniDecrypt(QStringView letters);
