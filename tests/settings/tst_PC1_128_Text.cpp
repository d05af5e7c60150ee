#include "MachineKey.h"
#include "PC1_128_Text.h"

#include <QRandomGenerator>
#include <QTest>

// Known answers were worked out independently of this code, with a short Python transcription
// of the PC1 mixing step, key schedule and letter coding.
namespace {

QByteArray RandomNonZeroBytes(qsizetype n, quint32 seed) {
    QRandomGenerator rng(seed);
    QByteArray out(n, Qt::Uninitialized);
    for (auto& c : out)
        c = char(1 + rng.bounded(255));
    return out;
}

bool OnlyLettersAToP(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'a' && c <= u'p'; });
}

} // namespace

class TestPC1_128_Text : public QObject {
    Q_OBJECT

private slots:
    void knownAnswers_data() {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QString>("letters");
        QTest::newRow("key 'A' padded, 'A'") << QByteArray("A") << QByteArray("A") << QStringLiteral("ef");
        QTest::newRow("empty key, 'A'") << QByteArray() << QByteArray("A") << QStringLiteral("cf");
        QTest::newRow("16-letter key, 'abc'")
            << QByteArray("abcdefghijklmnop") << QByteArray("abc") << QStringLiteral("dpgigl");
        QTest::newRow("short key, 'Hi!'")
            << QByteArray("key") << QByteArray("Hi!") << QStringLiteral("nkkfgi");
        QTest::newRow("machine-key shape, default password")
            << QByteArray("001122AABBCC0000") << QByteArray("qorvu") << QStringLiteral("ecipikiijk");
        QTest::newRow("bytes 01 FF 80 under FF key")
            << QByteArray(16, '\xFF') << QByteArray::fromHex("01FF80") << QStringLiteral("fpjcmb");
    }
    void knownAnswers() {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, plain);
        QFETCH(QString, letters);
        QCOMPARE(PC1TextEncrypt(key, plain), letters);
        QCOMPARE(PC1TextDecrypt(key, letters), plain);
    }

    void roundTrip_data() {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("plain");
        QTest::newRow("1 byte") << QByteArray("0123456789ABCDEF") << QByteArray("x");
        QTest::newRow("2 bytes, key of 5") << QByteArray("short") << QByteArray("\x01\xFF");
        QTest::newRow("17 random bytes") << QByteArray("AABBCCDDEEFF0000") << RandomNonZeroBytes(17, 1);
        QTest::newRow("limit, 16500 bytes")
            << QByteArray("AABBCCDDEEFF0000") << RandomNonZeroBytes(PC1TextMaxBytes, 2);
        QTest::newRow("high bytes, zero key") << QByteArray() << QByteArray(300, '\x80');
    }
    void roundTrip() {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, plain);
        const QString letters = PC1TextEncrypt(key, plain);
        QCOMPARE(letters.size(), plain.size() * 2);
        QVERIFY(OnlyLettersAToP(letters));
        QCOMPARE(PC1TextDecrypt(key, letters), plain);
        // A fresh state for every call: the same input gives the same letters.
        QCOMPARE(PC1TextEncrypt(key, plain), letters);
    }

    void refusesWhatCannotBeStoredWhole() {
        QVERIFY(PC1TextEncrypt("key", QByteArray()).isEmpty());
        QVERIFY(PC1TextEncrypt("key", RandomNonZeroBytes(PC1TextMaxBytes + 1, 3)).isEmpty());
    }

    void oddLengthIgnoresLastLetter_data() {
        QTest::addColumn<QString>("letters");
        QTest::addColumn<QByteArray>("plain");
        QTest::newRow("pair") << QStringLiteral("gp") << QByteArray("k");
        QTest::newRow("pair + letter") << QStringLiteral("gpz") << QByteArray("k");
        QTest::newRow("pair + 'a'") << QStringLiteral("gpa") << QByteArray("k");
        QTest::newRow("one letter") << QStringLiteral("g") << QByteArray();
        QTest::newRow("none") << QString() << QByteArray();
    }
    void oddLengthIgnoresLastLetter() {
        QFETCH(QString, letters);
        QFETCH(QByteArray, plain);
        QCOMPARE(PC1TextDecrypt("A", letters), plain);
    }

    // Characters outside 'a'..'p' count as 0, like 'a'.
    void foreignCharactersCountAsZero() {
        const QString letters = PC1TextEncrypt("A", "Hello");
        QString foreign = letters;
        QString asA = letters;
        const QList<QChar> replacements{u'q', u'A', u'9', QChar(0x6F9C), QChar(0)};
        for (int i = 0; i < replacements.size(); ++i) {
            foreign[2 * i + 1] = replacements[i];
            asA[2 * i + 1] = u'a';
        }
        QCOMPARE(PC1TextDecrypt("A", foreign), PC1TextDecrypt("A", asA));
    }

    void zeroByteEndsTheText() {
        const QString letters = PC1TextEncrypt("key", QByteArray("ab\0cd", 5));
        QCOMPARE(letters.size(), 10);
        QCOMPARE(PC1TextDecrypt("key", letters), QByteArray("ab"));
    }

    void keyIsZeroPaddedAndCutAt16() {
        const QByteArray plain("secret");
        QCOMPARE(PC1TextEncrypt("AB", plain), PC1TextEncrypt(QByteArray("AB\0\0", 4), plain));
        QCOMPARE(PC1TextEncrypt("0123456789ABCDEFXYZ", plain), PC1TextEncrypt("0123456789ABCDEF", plain));
        QVERIFY(PC1TextEncrypt("0123456789ABCDEF", plain) != PC1TextEncrypt("0123456789ABCDEE", plain));
    }

    void wrongKeyGivesOtherBytesWithoutError() {
        const QString letters = PC1TextEncrypt("AABBCCDDEEFF0000", "password");
        QVERIFY(PC1TextDecrypt("AABBCCDDEEFF0001", letters) != QByteArray("password"));
        QVERIFY(!IniDecrypt(letters, "AABBCCDDEEFF0001").contains(u"password"));
    }

    // --- settings file wrappers -------------------------------------------------------------

    void iniEmptyStaysEmpty() {
        QCOMPARE(IniEncrypt(QString(), "AABBCCDDEEFF0000"), QString());
        QCOMPARE(IniDecrypt(QString(), "AABBCCDDEEFF0000"), QString());
        QCOMPARE(IniEncrypt(QString()), QString());
        QCOMPARE(IniDecrypt(QString()), QString());
    }

    void iniRoundTrip_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << QStringLiteral("qorvu");
        QTest::newRow("chinese") << QStringLiteral("澜桥匣密码");
        QTest::newRow("mixed with emoji") << QStringLiteral("Zhang 张三 \U0001F511 é");
        QTest::newRow("longest chinese text") << QString(PC1TextMaxBytes / 3, QChar(0x6F9C));
    }
    void iniRoundTrip() {
        QFETCH(QString, text);
        const QString letters = IniEncrypt(text, "001122AABBCC0000");
        QVERIFY(!letters.isEmpty());
        QVERIFY(OnlyLettersAToP(letters));
        QCOMPARE(IniDecrypt(letters, "001122AABBCC0000"), text);
    }

    // Texts go in as UTF-8: ASCII keeps its bytes, Chinese its UTF-8 bytes (E6 BE 9C E6 A1 A5).
    void iniUsesUtf8() {
        QCOMPARE(IniEncrypt(QStringLiteral("qorvu"), "001122AABBCC0000"), QStringLiteral("ecipikiijk"));
        QCOMPARE(IniEncrypt(QStringLiteral("澜桥"), "0000000000000000"), QStringLiteral("cflmkkffkhhj"));
        QCOMPARE(IniDecrypt(u"cflmkkffkhhj", "0000000000000000"), QStringLiteral("澜桥"));
    }

    void iniRefusesTextsThatWouldNotComeBack_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("NUL inside") << QStringLiteral("ab") + QChar(0) + QStringLiteral("cd");
        QTest::newRow("UTF-8 over the limit") << QString(PC1TextMaxBytes / 3 + 1, QChar(0x6F9C));
    }
    void iniRefusesTextsThatWouldNotComeBack() {
        QFETCH(QString, text);
        QCOMPARE(IniEncrypt(text, "001122AABBCC0000"), QString());
    }

    void iniDefaultsToTheMachineKey() {
        SetMachineKey(QStringLiteral("001122AABBCC"));
        QCOMPARE(MachineKey(), QStringLiteral("001122AABBCC0000"));
        QCOMPARE(IniEncrypt(QStringLiteral("qorvu")), QStringLiteral("ecipikiijk"));
        QCOMPARE(IniDecrypt(u"ecipikiijk"), QStringLiteral("qorvu"));
    }

    void iniBadUtf8IsReadWithoutError() {
        // Letters of a lone continuation byte, as a wrong key may produce.
        const QString letters = PC1TextEncrypt("K", QByteArray("\x80\xC3", 2));
        const QString text = IniDecrypt(letters, "K");
        QCOMPARE(text.size(), 2);
        QVERIFY(text.contains(QChar::ReplacementCharacter));
    }
};

QTEST_GUILESS_MAIN(TestPC1_128_Text)
#include "tst_PC1_128_Text.moc"
