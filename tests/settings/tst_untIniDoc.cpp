// The in-memory INI text: value coding, case-blind names, duplicates, and keeping what it does
// not understand.
#include "untIniDoc.h"

#include <QtTest>

class tst_IniDoc : public QObject {
    Q_OBJECT

private slots:
    void valueRoundTrip_data();
    void valueRoundTrip();
    void storedForm_data();
    void storedForm();
    void readsLegacyValues_data();
    void readsLegacyValues();
    void valueCannotAddLines();
    void namesIgnoreCase();
    void firstOfDuplicateKeysWins();
    void keepsCommentsOrderAndUnknownEntries();
    void newKeysAndSectionsGoAtTheEnd();
    void valueCutAt2047KeepsSurrogatePairs();
    void brokenSectionLineIsKeptAsAComment();
    void blankSectionNameIsKeptAsAComment();
    void encodingOfTheFile_data();
    void encodingOfTheFile();
};

void tst_IniDoc::valueRoundTrip_data() {
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << QStringLiteral("Office relay");
    QTest::newRow("empty") << QString();
    QTest::newRow("chinese") << QStringLiteral("客厅灯 控制器");
    QTest::newRow("line breaks") << QStringLiteral("line one\nline two\r\nthree");
    QTest::newRow("tab and control bytes") << QStringLiteral("a\tb") + QChar(1) + QChar(0x7F) + QChar(0);
    QTest::newRow("outer blanks") << QStringLiteral("  padded  ");
    QTest::newRow("outer double quotes") << QStringLiteral("\"quoted\"");
    QTest::newRow("outer single quotes") << QStringLiteral("'quoted'");
    QTest::newRow("inner quotes") << QStringLiteral("say \"hi\" now");
    QTest::newRow("backslashes with line break") << QStringLiteral("C:\\new\\table\n\\x41\\");
    QTest::newRow("backslashes alone") << QStringLiteral("C:\\new\\table");
    QTest::newRow("one quote") << QStringLiteral("\"");
    QTest::newRow("comment and section look-alikes") << QStringLiteral("; not a comment [System]");
    QTest::newRow("emoji") << QStringLiteral("🙂 ok");
}

void tst_IniDoc::valueRoundTrip() {
    QFETCH(QString, value);
    TIniDocument doc;
    doc.SetValue(QStringLiteral("S"), QStringLiteral("K"), value);
    const TIniDocument back = TIniDocument::FromBytes(doc.ToBytes());
    QCOMPARE(back.Value(QStringLiteral("S"), QStringLiteral("K")).value_or(QStringLiteral("<missing>")),
             value);
}

void tst_IniDoc::storedForm_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("stored");
    // Ordinary values are written exactly as the older program wrote them.
    QTest::newRow("plain") << QStringLiteral("abc def") << QStringLiteral("abc def");
    QTest::newRow("backslash alone stays") << QStringLiteral("a\\nb") << QStringLiteral("a\\nb");
    QTest::newRow("chinese") << QStringLiteral("你好") << QStringLiteral("你好");
    QTest::newRow("line break") << QStringLiteral("a\nb") << QStringLiteral("\"a\\nb\"");
    QTest::newRow("control byte") << (QStringLiteral("a") + QChar(2)) << QStringLiteral("\"a\\x02\"");
    QTest::newRow("leading blank") << QStringLiteral(" a") << QStringLiteral("\" a\"");
    QTest::newRow("outer quotes") << QStringLiteral("\"a\"") << QStringLiteral("\"\"a\"\"");
}

void tst_IniDoc::storedForm() {
    QFETCH(QString, value);
    QFETCH(QString, stored);
    QCOMPARE(TIniDocument::EncodeValue(value), stored);
    QCOMPARE(TIniDocument::DecodeValue(stored), value);
}

void tst_IniDoc::readsLegacyValues_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("value");
    QTest::newRow("blanks around") << QByteArray("K =  spaced out  ") << QStringLiteral("spaced out");
    QTest::newRow("double quotes taken off") << QByteArray("K=\"x y\"") << QStringLiteral("x y");
    QTest::newRow("single quotes taken off") << QByteArray("K='x y'") << QStringLiteral("x y");
    QTest::newRow("unknown escape kept") << QByteArray("K=\"C:\\q\\\"") << QStringLiteral("C:\\q\\");
    QTest::newRow("unquoted escapes literal") << QByteArray("K=a\\nb") << QStringLiteral("a\\nb");
    QTest::newRow("heredoc marker literal") << QByteArray("K=<<<END") << QStringLiteral("<<<END");
    QTest::newRow("empty") << QByteArray("K=") << QString();
}

void tst_IniDoc::readsLegacyValues() {
    QFETCH(QByteArray, line);
    QFETCH(QString, value);
    const TIniDocument doc = TIniDocument::FromBytes("[S]\n" + line + "\nNext=1\n");
    QCOMPARE(doc.Value(QStringLiteral("S"), QStringLiteral("K")).value_or(QStringLiteral("<missing>")),
             value);
    QCOMPARE(doc.Value(QStringLiteral("S"), QStringLiteral("Next")), QStringLiteral("1"));
}

void tst_IniDoc::valueCannotAddLines() {
    // A device name or a feedback text must never become a section or key of its own.
    TIniDocument doc;
    doc.SetValue(QStringLiteral("Device0"), QStringLiteral("Name"),
                 QStringLiteral("evil\n[System]\nLock=owned\rCloudServer=http://x\nEND_OF_TEXT"));
    const QByteArray bytes = doc.ToBytes();
    QCOMPARE(bytes.count('\n'), 2); // the section line and the key line
    const TIniDocument back = TIniDocument::FromBytes(bytes);
    QVERIFY(!back.HasSection(QStringLiteral("System")));
    QVERIFY(!back.Value(QStringLiteral("System"), QStringLiteral("Lock")));
}

void tst_IniDoc::namesIgnoreCase() {
    TIniDocument doc = TIniDocument::FromBytes("[SYSTEM]\nlanguage=0\n[device0]\nMAC=AA\n");
    QCOMPARE(doc.Value(QStringLiteral("System"), QStringLiteral("Language")), QStringLiteral("0"));
    QCOMPARE(doc.Value(QStringLiteral("Device0"), QStringLiteral("mac")), QStringLiteral("AA"));
    QVERIFY(doc.HasSection(QStringLiteral("system")));

    doc.SetValue(QStringLiteral("System"), QStringLiteral("LANGUAGE"), QStringLiteral("1"));
    const QByteArray bytes = doc.ToBytes();
    QCOMPARE(bytes.toLower().count("language="), 1); // replaced, not added
    QCOMPARE(TIniDocument::FromBytes(bytes).Value(QStringLiteral("system"), QStringLiteral("language")),
             QStringLiteral("1"));
}

void tst_IniDoc::firstOfDuplicateKeysWins() {
    TIniDocument doc = TIniDocument::FromBytes("[S]\nK=first\nk=second\n[s]\nK=third\n");
    QCOMPARE(doc.Value(QStringLiteral("S"), QStringLiteral("K")), QStringLiteral("first"));
    doc.SetValue(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("new"));
    const QByteArray bytes = doc.ToBytes();
    QVERIFY2(!bytes.contains("second") && !bytes.contains("third"), bytes.constData());
    QCOMPARE(TIniDocument::FromBytes(bytes).Value(QStringLiteral("S"), QStringLiteral("K")),
             QStringLiteral("new"));
}

void tst_IniDoc::keepsCommentsOrderAndUnknownEntries() {
    const QByteArray text = "; written by hand\n\n"
                            "[Other]\nKeep=me\n\n"
                            "[System]\n; the language\nLanguage=1\nZeta=z\nAlpha=a\n\n"
                            "[Device0]\nName=one\n";
    TIniDocument doc = TIniDocument::FromBytes(text);
    doc.SetValue(QStringLiteral("System"), QStringLiteral("Language"), QStringLiteral("0"));
    QByteArray expected = text;
    expected.replace("Language=1", "Language=0");
    expected.replace("[System]\n;", "[System]\n\n;"); // a key's comment gets a blank line above it
    QCOMPARE(doc.ToBytes(), expected);
}

void tst_IniDoc::newKeysAndSectionsGoAtTheEnd() {
    TIniDocument doc = TIniDocument::FromBytes("[System]\nLanguage=1\n");
    doc.SetValue(QStringLiteral("Device0"), QStringLiteral("Name"), QStringLiteral("a"));
    doc.SetValue(QStringLiteral("System"), QStringLiteral("DevListCount"), QStringLiteral("1"));
    doc.SetValue(QStringLiteral("Device1"), QStringLiteral("Name"), QStringLiteral("b"));
    QCOMPARE(doc.ToBytes(), QByteArray("[System]\nLanguage=1\nDevListCount=1\n\n"
                                       "[Device0]\nName=a\n\n[Device1]\nName=b\n"));
}

void tst_IniDoc::valueCutAt2047KeepsSurrogatePairs() {
    const QString emoji = QStringLiteral("🙂"); // two UTF-16 units
    QString longText = QString(IniMaxValueLength - 1, u'x') + emoji + QStringLiteral("tail");
    TIniDocument doc;
    doc.SetValue(QStringLiteral("S"), QStringLiteral("K"), longText);
    const QString back =
        *TIniDocument::FromBytes(doc.ToBytes()).Value(QStringLiteral("S"), QStringLiteral("K"));
    QCOMPARE(back, QString(IniMaxValueLength - 1, u'x'));

    const QString exact(IniMaxValueLength, u'y');
    doc.SetValue(QStringLiteral("S"), QStringLiteral("K"), exact + QStringLiteral("z"));
    QCOMPARE(*TIniDocument::FromBytes(doc.ToBytes()).Value(QStringLiteral("S"), QStringLiteral("K")), exact);
}

void tst_IniDoc::brokenSectionLineIsKeptAsAComment() {
    // A "[" line without "]" once made the next key a section named "Broken\nKey" that grew by
    // one line at every save.
    const TIniDocument doc = TIniDocument::FromBytes("[A]\nX=1\n[Broken\nKey=2\n");
    QCOMPARE(doc.Value(QStringLiteral("A"), QStringLiteral("Key")), QStringLiteral("2"));
    const QByteArray once = doc.ToBytes();
    QVERIFY2(once.contains(";[Broken\nKey=2\n"), once.constData());
    QCOMPARE(TIniDocument::FromBytes(once).ToBytes(), once);
    QCOMPARE(once.count('['), 2);
}

void tst_IniDoc::blankSectionNameIsKeptAsAComment() {
    // A section "[]" was taken for the nameless top of the file and saved without its header,
    // so the comment above it moved on the first save and was lost on the second.
    for (const QByteArray& text :
         {QByteArray("#\n\0\n[\n[]", 8), QByteArray("; note\n[ ]\nK=1\n[B]\nX=2\n")}) {
        const QByteArray once = TIniDocument::FromBytes(text).ToBytes();
        QCOMPARE(TIniDocument::FromBytes(once).ToBytes(), once);
    }
    const TIniDocument doc = TIniDocument::FromBytes("; note\n[ ]\nK=1\n[B]\nX=2\n");
    QCOMPARE(doc.Value(QStringLiteral("B"), QStringLiteral("X")), QStringLiteral("2"));
    QVERIFY(doc.ToBytes().contains(";[ ]"));
}

void tst_IniDoc::encodingOfTheFile_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::newRow("utf-8") << QByteArray("[D]\nName=\xE5\xAE\xA2\xE5\x8E\x85\n") << QStringLiteral("客厅");
    QTest::newRow("utf-8 with byte-order mark")
        << QByteArray("\xEF\xBB\xBF[D]\nName=\xE5\xAE\xA2\xE5\x8E\x85\n") << QStringLiteral("客厅");
    QTest::newRow("GBK of the older program")
        << QByteArray("[D]\r\nName=\xBF\xCD\xCC\xFC\r\n") << QStringLiteral("客厅");
    QTest::newRow("byte-order mark after blanks and zero bytes")
        << QByteArray("\0\0\t[D]\n\t\xEF\xBB\xBFName=x\n", 18) << QStringLiteral("x");
    QTest::newRow("zero bytes dropped") << QByteArray("[D]\nName=a\0\0b\n\0\0", 16) << QStringLiteral("ab");
    QTest::newRow("carriage returns only") << QByteArray("[D]\rName=x\r") << QStringLiteral("x");
}

void tst_IniDoc::encodingOfTheFile() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    const TIniDocument doc = TIniDocument::FromBytes(bytes);
    QCOMPARE(doc.Value(QStringLiteral("D"), QStringLiteral("Name")).value_or(QStringLiteral("<missing>")),
             name);
    // Whatever came in, what goes out is UTF-8.
    QVERIFY(doc.ToBytes().contains(name.toUtf8()));
}

QTEST_GUILESS_MAIN(tst_IniDoc)
#include "tst_untIniDoc.moc"
