#include "untPublic.h"

#include <QDateTime>
#include <QTest>

class TestUntPublic : public QObject {
    Q_OBJECT

private slots:
    void bitIsSet_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("expected");
        QTest::newRow("05 bit 0") << QByteArray::fromHex("05") << 0 << true;
        QTest::newRow("05 bit 1") << QByteArray::fromHex("05") << 1 << false;
        QTest::newRow("05 bit 2") << QByteArray::fromHex("05") << 2 << true;
        QTest::newRow("bit 8 is second byte's lsb") << QByteArray::fromHex("0001") << 8 << true;
        QTest::newRow("bit 8 clear") << QByteArray::fromHex("FF00") << 8 << false;
        QTest::newRow("bit 15 msb of second") << QByteArray::fromHex("0080") << 15 << true;
        QTest::newRow("beyond the bytes") << QByteArray::fromHex("FF") << 8 << false;
        QTest::newRow("empty") << QByteArray() << 0 << false;
    }
    void bitIsSet() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, index);
        QFETCH(bool, expected);
        QCOMPARE(BitIsSet(bytes, quint16(index)), expected);
    }

    void sameBytes() {
        QVERIFY(SameBytes({}, {}, 0));
        QVERIFY(SameBytes("abc", "xyz", 0));
        QVERIFY(SameBytes("abcd", "abxy", 2));
        QVERIFY(!SameBytes("abcd", "abxy", 3));
        QVERIFY(!SameBytes("ab", "abc", 3)); // too short is not equal, never a read past the end
    }

    void ipBufToStr() {
        QCOMPARE(IPBufToStr(TBUF4{0xC0, 0xA8, 0x01, 0x07}), QStringLiteral("192.168.1.7"));
        QCOMPARE(IPBufToStr(TBUF4{0, 0, 0, 0}), QStringLiteral("0.0.0.0"));
        QCOMPARE(IPBufToStr(TBUF4{255, 10, 0, 100}), QStringLiteral("255.10.0.100"));
    }

    void utf8BufToStr_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        QTest::newRow("five letters, zero padded")
            << QByteArray("Relay").append(11, '\0') << 16 << QStringLiteral("Relay");
        QTest::newRow("zero count") << QByteArray("Relay") << 0 << QString();
        QTest::newRow("negative count") << QByteArray("Relay") << -1 << QString();
        QTest::newRow("count cuts") << QByteArray("Relay") << 3 << QStringLiteral("Rel");
        QTest::newRow("blanks trimmed") << QByteArray("  a b \t") << 7 << QStringLiteral("a b");
        QTest::newRow("chinese") << QByteArray("\xE5\x8E\xA8\xE6\x88\xBF\0\0", 8) << 8
                                 << QStringLiteral("厨房");
        QTest::newRow("invalid utf-8") << QByteArray("\xFF\xFEzz") << 4 << QString();
        QTest::newRow("sequence cut by the count") << QByteArray("a\xE5\x8E\xA8") << 3 << QString();
    }
    void utf8BufToStr() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, n);
        QFETCH(QString, expected);
        QCOMPARE(Utf8BufToStr(bytes, n), expected);
    }

    void strToUtf8Buf() {
        QCOMPARE(StrToUtf8Buf(QStringLiteral("  Lamp \r\n")), QByteArray("Lamp"));
        QCOMPARE(StrToUtf8Buf(QStringLiteral("灯")), QByteArray("\xE7\x81\xAF"));
        QCOMPARE(StrToUtf8Buf(QString()), QByteArray());
    }

    void macStrToBuf_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("canonical") << "5C-CF-7F-01-02-0A" << true << QByteArray::fromHex("5CCF7F01020A");
        QTest::newRow("lower case") << "5c-cf-7f-01-02-0a" << true << QByteArray::fromHex("5CCF7F01020A");
        QTest::newRow("three parts stay zero") << "5C-CF-7F" << true << QByteArray(6, '\0');
        QTest::newRow("empty text") << "" << true << QByteArray(6, '\0');
        QTest::newRow("low 8 bits of 1FF")
            << "1FF-CF-7F-01-02-0A" << true << QByteArray::fromHex("FFCF7F01020A");
        QTest::newRow("single digits") << "1-2-3-4-5-6" << true << QByteArray::fromHex("010203040506");
        QTest::newRow("extra parts ignored")
            << "01-02-03-04-05-06-07" << true << QByteArray::fromHex("010203040506");
        QTest::newRow("non hex part") << "5C-CF-7G-01-02-0A" << false << QByteArray(6, '\0');
        QTest::newRow("empty part") << "5C--7F-01-02-0A" << false << QByteArray(6, '\0');
        QTest::newRow("twelve digits are one part") << "5CCF7F01020A" << true << QByteArray(6, '\0');
    }
    void macStrToBuf() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QByteArray, bytes);
        TBUF6 out;
        out.fill(0xEE);
        QString error;
        QCOMPARE(MACStrToBuf(text, out, &error), ok);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(out.data()), 6), bytes);
        QCOMPARE(error.isEmpty(), ok);
    }

    void formatMACStr_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("twelve digits") << "5ccf7f01020a"
                                       << "5C-CF-7F-01-02-0A";
        QTest::newRow("spaced pairs") << "5C CF 7F 01 02 0A"
                                      << "5C-CF-7F-01-02-0A";
        QTest::newRow("already formatted") << "5C-CF-7F-01-02-0A"
                                           << "5C-CF-7F-01-02-0A";
        QTest::newRow("empty gives five dashes") << ""
                                                 << "-----";
        QTest::newRow("short text") << "abc"
                                    << "AB-C----";
    }
    void formatMACStr() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(FormatMACStr(text), expected);
    }

    void compactAndCheckMAC() {
        QCOMPARE(CompactMACStr("5C-CF-7F-01-02-0A"), QStringLiteral("5ccf7f01020a"));
        QCOMPARE(CompactMACStr("5C CF-7F 01-02 0A"), QStringLiteral("5ccf7f01020a"));
        QCOMPARE(MACBufToStr(TBUF6{0x5C, 0xCF, 0x7F, 0x01, 0x02, 0x0A}), QStringLiteral("5C-CF-7F-01-02-0A"));
        QVERIFY(IsMACText("5C-CF-7F-01-02-0A"));
        QVERIFY(IsMACText("5c-cf-7f-01-02-0a"));
        QVERIFY(!IsMACText("../x"));
        QVERIFY(!IsMACText("5C-CF-7F-01-02-0"));
        QVERIFY(!IsMACText("5C-CF-7F-01-02/0A"));
        QVERIFY(!IsMACText("5C:CF:7F:01:02:0A"));
        QVERIFY(!IsMACText("5C-CF-7F-01-02-0G"));
    }

    void unixStrToDateStr_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("zone");
        QTest::addColumn<QString>("expected");
        QTest::newRow("epoch at +8") << "0" << 8 << "1970-01-01 08:00:00";
        QTest::newRow("epoch at UTC") << "0" << 0 << "1970-01-01 00:00:00";
        QTest::newRow("negative zone") << "0" << -5 << "1969-12-31 19:00:00";
        QTest::newRow("afternoon uses 24 hours") << "1700000000" << 0 << "2023-11-14 22:13:20";
        QTest::newRow("empty") << "" << 8 << "";
        QTest::newRow("letters") << "12ab" << 8 << "";
        QTest::newRow("overflow") << "9223372036854775807" << 8 << "";
    }
    void unixStrToDateStr() {
        QFETCH(QString, text);
        QFETCH(int, zone);
        QFETCH(QString, expected);
        QCOMPARE(UnixStrToDateStr(text, zone), expected);
    }

    void timeZoneHoursUsesStandardOffset() {
        // ctest runs this binary under several TZ values and names the expected standard offset;
        // New York must give -5 even in July, Kolkata (+5:30) loses the half hour.
        const QByteArray expected = qgetenv("QUILLET_EXPECT_ZONE_HOURS");
        if (expected.isEmpty())
            QSKIP("run by ctest with QUILLET_EXPECT_ZONE_HOURS");
        QCOMPARE(TimeZoneHours(), expected.toInt());
        QCOMPARE(
            UnixStrToDateStr("0"),
            QDateTime::fromSecsSinceEpoch(expected.toInt() * 3600, Qt::UTC).toString("yyyy-MM-dd HH:mm:ss"));
    }

    void cloudSessionBuffers() {
        TCloudSession s;
        QVERIFY(s.SetAccount(QStringLiteral("  alice ")));
        QCOMPARE(s.Account(), QStringLiteral("alice"));
        QCOMPARE(s.AccountBuf[5], quint8(0));
        QVERIFY(!s.SetPassword(QStringLiteral("0123456789abcdefXYZ")));
        QCOMPARE(s.Password(), QStringLiteral("0123456789abcdef"));
        s.Clear();
        QVERIFY(!s.Logged);
        QCOMPARE(s.Account(), QString());
    }

    void searchAnswerLayout() {
        QByteArray raw(36, '\0');
        for (int i = 0; i < 36; ++i)
            raw[i] = char(i + 1);
        const auto rec = TUDPRcvRcd::FromBytes(raw);
        QVERIFY(rec.has_value());
        QCOMPARE(rec->Head, (TBUF3{1, 2, 3}));
        QCOMPARE(rec->DevType, quint8(4));
        QCOMPARE(rec->DevID, quint8(5));
        QCOMPARE(rec->DevIP, (TBUF4{6, 7, 8, 9}));
        QCOMPARE(rec->DevMAC, (TBUF6{10, 11, 12, 13, 14, 15}));
        QCOMPARE(rec->SoftVer, (TBUF2{16, 17}));
        QCOMPARE(rec->HardVer, (TBUF2{18, 19}));
        QCOMPARE(rec->DevName[0], quint8(20));
        QCOMPARE(rec->DevName[15], quint8(35));
        QCOMPARE(rec->CHK, quint8(36));
        QCOMPARE(rec->ToBytes(), raw);
        QVERIFY(!TUDPRcvRcd::FromBytes(raw.left(35)));
        QVERIFY(!TUDPRcvRcd::FromBytes(raw + 'x'));
    }
};

QTEST_GUILESS_MAIN(TestUntPublic)
#include "tst_untPublic.moc"
