#include "MachineKey.h"

#include <QRegularExpression>
#include <QTest>

namespace {

TNetAdapter Adapter(const QString& name, const char* hex, bool physical = true, bool loopback = false) {
    return TNetAdapter{name, QByteArray::fromHex(hex), loopback, physical};
}

} // namespace

Q_DECLARE_METATYPE(TNetAdapters)

class TestMachineKey : public QObject {
    Q_OBJECT

private slots:
    void buildKey_data() {
        QTest::addColumn<TNetAdapters>("adapters");
        QTest::addColumn<QString>("key");

        const auto eth0 = Adapter("eth0", "001A2B3C4D5E");
        const auto wlan0 = Adapter("wlan0", "a4b2c3d4e5f6");
        QTest::newRow("no adapter") << TNetAdapters{} << QStringLiteral("0000000000000000");
        QTest::newRow("loopback only")
            << TNetAdapters{Adapter("lo", "000000000000", false, true)} << QStringLiteral("0000000000000000");
        QTest::newRow("one adapter") << TNetAdapters{eth0} << QStringLiteral("001A2B3C4D5E0000");
        QTest::newRow("uppercase digits") << TNetAdapters{wlan0} << QStringLiteral("A4B2C3D4E5F60000");
        QTest::newRow("lowest name first") << TNetAdapters{wlan0, eth0} << QStringLiteral("001A2B3C4D5E0000");
        QTest::newRow("same in any order") << TNetAdapters{eth0, wlan0} << QStringLiteral("001A2B3C4D5E0000");
        QTest::newRow("loopback with an address is skipped")
            << TNetAdapters{Adapter("a-lo", "112233445566", true, true), wlan0}
            << QStringLiteral("A4B2C3D4E5F60000");
        QTest::newRow("physical before virtual")
            << TNetAdapters{Adapter("br-1", "001122334455", false), Adapter("docker0", "0242AC110002", false),
                            wlan0}
            << QStringLiteral("A4B2C3D4E5F60000");
        QTest::newRow("global before locally administered")
            << TNetAdapters{Adapter("eth0", "021122334455"), wlan0} << QStringLiteral("A4B2C3D4E5F60000");
        QTest::newRow("only virtual adapters still give a key")
            << TNetAdapters{Adapter("veth9", "0E1122334455", false), Adapter("br0", "0A1122334455", false)}
            << QStringLiteral("0A11223344550000");
        QTest::newRow("unusable addresses skipped")
            << TNetAdapters{Adapter("a0", "000000000000"),
                            Adapter("a1", "FFFFFFFFFFFF"),
                            Adapter("a2", "010203040506"),
                            Adapter("a3", ""),
                            Adapter("a4", "0011223344"),
                            Adapter("a5", "80000000000000000000000000000000000000FE"),
                            wlan0}
            << QStringLiteral("A4B2C3D4E5F60000");
    }
    void buildKey() {
        QFETCH(TNetAdapters, adapters);
        QFETCH(QString, key);
        QCOMPARE(BuildMachineKey(adapters), key);
    }

    // Whatever this computer has, the key is 16 uppercase hexadecimal digits and the same on
    // every call.
    void systemKeyShape() {
        const QString key = BuildMachineKey(SystemNetAdapters());
        QVERIFY2(QRegularExpression("^[0-9A-F]{12}0000$").match(key).hasMatch() || key == "0000000000000000",
                 qPrintable(key));
        QCOMPARE(BuildMachineKey(SystemNetAdapters()), key);
        InitMachineKey();
        QCOMPARE(MachineKey(), key);
    }

    void setKeyPadsAndCuts() {
        SetMachineKey("ABC");
        QCOMPARE(MachineKey(), QStringLiteral("ABC0000000000000"));
        SetMachineKey("00112233445566778899");
        QCOMPARE(MachineKey(), QStringLiteral("0011223344556677"));
    }
};

QTEST_GUILESS_MAIN(TestMachineKey)
#include "tst_MachineKey.moc"
