// The text of program.ini held in memory: sections and keys matched without regard to case,
// the order, comments and unknown entries of the file kept, values coded so that no value can
// ever add a line, a key or a section to the file.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

// Longest value a read gives back, in UTF-16 code units; the rest is cut off.
inline constexpr qsizetype IniMaxValueLength = 2047;

class TIniDocument {
public:
    TIniDocument();
    ~TIniDocument();
    TIniDocument(const TIniDocument&) = delete;
    TIniDocument& operator=(const TIniDocument&) = delete;
    TIniDocument(TIniDocument&&) noexcept;
    TIniDocument& operator=(TIniDocument&&) noexcept;

    // Any bytes: UTF-8 with or without a byte-order mark; bytes that are not UTF-8 are read as
    // GB18030 (files of the older Windows program on a Chinese system). Never fails.
    static TIniDocument FromBytes(const QByteArray& bytes);
    // UTF-8, no byte-order mark, "\n" line ends.
    QByteArray ToBytes() const;

    // The first value of the key; nullopt when the section or key is missing.
    std::optional<QString> Value(const QString& section, const QString& key) const;
    // Replaces every value of the key (or adds it at the end of its section, adding the section
    // at the end of the file when needed).
    void SetValue(const QString& section, const QString& key, const QString& value);
    // Removes every value of the key; nothing when there is none.
    void RemoveValue(const QString& section, const QString& key);
    bool HasSection(const QString& section) const;

    // How a value is written after "=" and read back. Plain text stays as it is; a text with
    // control characters, outer blanks or outer quotes is put in double quotes with escapes.
    static QString EncodeValue(const QString& value);
    static QString DecodeValue(const QString& stored);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
