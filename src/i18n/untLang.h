// The interface languages: the English -> Chinese string table, the active language ("en" or
// "cn"), the explicit lookup for texts composed at run time, the texts the code picks by
// language itself, and a translator that puts the table behind tr() and the .ui labels so that
// switching the language re-labels every control without a restart.
#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QTranslator>

#include <optional>
#include <span>

inline const QString LangEn = QStringLiteral("en");
inline const QString LangCn = QStringLiteral("cn");

// One row of the built-in table, UTF-8.
struct TLangEntry {
    const char* English;
    const char* Chinese;
};
// The built-in Chinese table in build order.
std::span<const TLangEntry> LangTableEntries();

// Registered languages with their tables and the active language code.
class TLangTable {
public:
    void Clear();
    // Registers `code` with an empty table (keeps an existing one).
    void RegisterLang(const QString& code);
    bool HasLang(const QString& code) const { return FTables.contains(code); }
    // Sets one translation; a key set twice keeps the later text. Registers `code` if needed.
    void SetEntry(const QString& code, const QString& english, const QString& text);
    qsizetype EntryCount(const QString& code) const;

    const QString& Lang() const { return FLang; }
    void SetLang(const QString& code) { FLang = code; }

    // The active language's text for `english`, if it has one.
    std::optional<QString> Find(const QString& english) const;
    // Explicit lookup: `text` when the active language is "en" or has no table; otherwise its
    // translation, or an empty text when it has none.
    QString Lookup(const QString& text) const;
    // Display translation: the translation when there is one, else `text` unchanged.
    QString Display(const QString& text) const;

private:
    QHash<QString, QHash<QString, QString>> FTables;
    QString FLang = LangEn;
};

// The program's language component.
TLangTable& Lang1();

// Clears Lang1's tables, registers "en" (empty) and "cn", and fills "cn" from LangTableEntries().
// Keeps the active language.
void BuildLangTable();

QString LangLookup(const QString& text);
QString LangText(const QString& text);
bool LangIsCn();

// The language switch: sets Lang1's code and, when an application object exists, installs the
// table translator while "cn" is active and removes it otherwise. Installing or removing makes
// Qt send every widget a LanguageChange event, on which windows re-label their controls.
void SetLanguage(const QString& code);

// Texts the code chooses by language itself (not in the table).
enum class TLangChoice {
    WindowTitle,          // "Quillet for Windows V1.2.6"
    Unlogged,             // login state label when logged out
    TouchMode,            // touch-mode button, touch mode
    JogMode,              // the same button, jog mode
    LockPasswordReminder, // followed by the lock password
    ManualInput,          // first item of the router name list
};
QString LangChoose(TLangChoice choice);
// The refusal text when another account activated the device.
QString LangActivatedBy(const QString& account);

// Serves the active language's table to QCoreApplication::translate(), whatever the context.
class TLangTranslator : public QTranslator {
    Q_OBJECT

public:
    explicit TLangTranslator(QObject* parent = nullptr) : QTranslator(parent) {}
    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                      int n = -1) const override;
    bool isEmpty() const override;
};

// The translator SetLanguage installs; nullptr while none is installed.
TLangTranslator* InstalledLangTranslator();
