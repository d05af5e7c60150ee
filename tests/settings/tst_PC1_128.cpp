#include "PC1_128.h"
#include "untPublic.h"

#include <QRandomGenerator>
#include <QTest>

// Known answers were worked out independently of this code, with a short Python transcription
// of the PC1 mixing step and key schedule. For key 'A' (zero padded) and plain byte 0x41 the
// first mixing step is A=4100 -> S=DA00 X=DA00 W=7501, the eight steps fold to T=0400, so the
// keystream byte is 04 and the cipher byte 45.
namespace {

TPC1Key KeyOf(const QByteArray& bytes) {
    TPC1Key k{};
    for (int i = 0; i < bytes.size() && i < 16; ++i)
        k[std::size_t(i)] = quint8(bytes[i]);
    return k;
}

const QByteArray RelayKey = QByteArray::fromHex("5E0C93A71B68D42F80E537C94A16FB72");

QByteArray RandomBytes(int n, quint32 seed) {
    QRandomGenerator rng(seed);
    QByteArray out(n, Qt::Uninitialized);
    for (auto& c : out)
        c = char(rng.bounded(256));
    return out;
}

} // namespace

class TestPC1_128 : public QObject {
    Q_OBJECT

private slots:
    void relayKeyConstantIsTheCipherKey() {
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(RelayLoginKey.data()), 16), RelayKey);
    }

    void knownAnswers_data() {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QByteArray>("cipher");
        QTest::newRow("key 'A', one byte") << QByteArray("A") << QByteArray("A") << QByteArray::fromHex("45");
        QTest::newRow("zero key, one byte") << QByteArray() << QByteArray("A") << QByteArray::fromHex("25");
        QTest::newRow("16-letter key, three bytes")
            << QByteArray("abcdefghijklmnop") << QByteArray("abc") << QByteArray::fromHex("3F686B");
        QTest::newRow("FF key, bytes 01 FF 80")
            << QByteArray(16, '\xFF') << QByteArray::fromHex("01FF80") << QByteArray::fromHex("5F92C1");
        QTest::newRow("relay key, 01..08")
            << RelayKey << QByteArray::fromHex("0102030405060708") << QByteArray::fromHex("CA59C670920FD3DA");
        QTest::newRow("relay key, 70 zero bytes")
            << RelayKey << QByteArray(70, '\0')
            << QByteArray::fromHex("CBB353555FC20828AE9ABEA143823AC07DC511270156B074AA02360FB99E02B8338BE3"
                                   "2987A2B4247EC286A57B027A6C1921F517C5BED44092FAC61FF58682BC439B9B250FEA");
    }
    void knownAnswers() {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, cipher);

        TPC1_128 pc1;
        pc1.PC1Init(KeyOf(key));
        QByteArray buf = plain;
        pc1.PC1EncryptBuf(reinterpret_cast<quint8*>(buf.data()), std::size_t(buf.size()));
        QCOMPARE(buf.toHex(), cipher.toHex());

        pc1.PC1Init(KeyOf(key));
        pc1.PC1DecryptBuf(buf);
        QCOMPARE(buf.toHex(), plain.toHex());
    }

    void decryptInvertsEncrypt_data() {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("plain");
        QTest::newRow("relay key, 70-byte block") << RelayKey << RandomBytes(70, 1);
        QTest::newRow("relay key, block with zero bytes") << RelayKey << QByteArray::fromHex("00AA0000FF00");
        QTest::newRow("short key, 4 KiB") << QByteArray("k") << RandomBytes(4096, 2);
        QTest::newRow("one byte") << RandomBytes(16, 3) << QByteArray::fromHex("00");
    }
    void decryptInvertsEncrypt() {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, plain);
        const QByteArray cipher = PC1EncryptBytes(KeyOf(key), plain);
        QCOMPARE(cipher.size(), plain.size());
        QVERIFY(cipher != plain);
        QCOMPARE(PC1DecryptBytes(KeyOf(key), cipher), plain);
    }

    // A block enciphered in pieces after one PC1Init is the same as in one go.
    void encryptContinuesAcrossCalls() {
        const QByteArray plain = RandomBytes(70, 4);
        TPC1_128 pc1(KeyOf(RelayKey));
        QByteArray head = plain.left(33), tail = plain.mid(33);
        pc1.PC1EncryptBuf(head);
        pc1.PC1EncryptBuf(tail);
        QCOMPARE(head + tail, PC1EncryptBytes(KeyOf(RelayKey), plain));
    }

    // Nothing of a previous run leaks into the next: PC1Init starts the keystream afresh.
    void initStartsAfresh() {
        const QByteArray plain = RandomBytes(40, 5);
        TPC1_128 pc1(KeyOf(RelayKey));
        QByteArray first = plain;
        pc1.PC1EncryptBuf(first);
        pc1.PC1Init(KeyOf(RelayKey));
        QByteArray second = plain;
        pc1.PC1EncryptBuf(second);
        QCOMPARE(second, first);
    }

    // The key absorbs each plain byte, so a change in one byte changes everything after it.
    void plainByteChangesTheRestOfTheStream() {
        QByteArray a = QByteArray(8, 'x');
        QByteArray b = a;
        b[2] = 'y';
        const QByteArray ca = PC1EncryptBytes(KeyOf(RelayKey), a);
        const QByteArray cb = PC1EncryptBytes(KeyOf(RelayKey), b);
        QCOMPARE(ca.left(2), cb.left(2));
        QVERIFY(ca.mid(3) != cb.mid(3));
    }

    void emptyBufferIsLeftAlone() {
        TPC1_128 pc1(KeyOf(RelayKey));
        QByteArray empty;
        pc1.PC1EncryptBuf(empty);
        QVERIFY(empty.isEmpty());
        pc1.PC1EncryptBuf(nullptr, 0);
    }
};

QTEST_GUILESS_MAIN(TestPC1_128)
#include "tst_PC1_128.moc"
