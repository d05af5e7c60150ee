// The simulated board, driven over loopback with plain sockets: login, the command set with its
// exact reply bytes, state that persists, the LAN search and router join datagrams, and the
// fault switches.
#include "SimTestUtil.h"
#include "SimWorld.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

using namespace simtest;

class tst_SimWorld : public QObject {
    Q_OBJECT

    // Starts a world on loopback with free ports; `args` are extra command-line options.
    std::unique_ptr<sim::World> Start(const QStringList& args) {
        QString error;
        bool help = false;
        const auto cfg = sim::ParseWorldArgs(
            QStringList{"--listen", "127.0.0.1:0", "--search-port", "0", "--router-port", "0"} + args, &error,
            &help);
        if (!cfg) {
            qWarning() << error;
            return nullptr;
        }
        auto w = std::make_unique<sim::World>(*cfg);
        if (!w->Start(&error)) {
            qWarning() << error;
            return nullptr;
        }
        return w;
    }

    static const QStringList& Lab() {
        static const QStringList a{"--board", "mac=5C-CF-7F-01-02-0A,name=Lab,out=8,in=4,pwm=2,reg=2,ir=1,"
                                              "inputs=1010,regs=25/-0.1,ir-delay-ms=50,tasks=2,irslots=2"};
        return a;
    }

    // Connects to board `i` and logs in with its default password.
    static bool LoggedIn(Client& c, sim::World& w, int i = 0) {
        return c.Connect(w.Servers().at(i)->Port()) && c.Login("qorvu") == "OK";
    }

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules("quillet.boardsim.debug=false"); }

    void login_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QList<QByteArray>>("writes");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("closed");
        QTest::newRow("right password")
            << QStringList{} << QList<QByteArray>{"qorvu\r\n"} << QByteArray("OK") << false;
        QTest::newRow("line without CR")
            << QStringList{} << QList<QByteArray>{"qorvu\n"} << QByteArray("OK") << false;
        QTest::newRow("line in two writes")
            << QStringList{} << QList<QByteArray>{"qor", "vu\r\n"} << QByteArray("OK") << false;
        QTest::newRow("wrong password")
            << QStringList{} << QList<QByteArray>{"qorvx\r\n"} << QByteArray("NO") << false;
        QTest::newRow("prefix of the password")
            << QStringList{} << QList<QByteArray>{"qor\r\n"} << QByteArray("NO") << false;
        QTest::newRow("wrong password, dropped")
            << QStringList{"--bad-password", "drop"} << QList<QByteArray>{"nope\r\n"} << QByteArray() << true;
        QTest::newRow("refused with NO") << QStringList{"--refuse-password", "no"}
                                         << QList<QByteArray>{"qorvu\r\n"} << QByteArray("NO") << false;
        QTest::newRow("refused by dropping") << QStringList{"--refuse-password=drop"}
                                             << QList<QByteArray>{"qorvu\r\n"} << QByteArray() << true;
        QTest::newRow("own password") << QStringList{"--board", "password=abc123"}
                                      << QList<QByteArray>{"abc123\r\n"} << QByteArray("OK") << false;
    }
    void login() {
        QFETCH(QStringList, options);
        QFETCH(QList<QByteArray>, writes);
        QFETCH(QByteArray, answer);
        QFETCH(bool, closed);
        auto w = Start(options);
        QVERIFY(w);
        Client c;
        QVERIFY(c.Connect(w->Servers().first()->Port()));
        for (const QByteArray& part : writes) {
            c.socket.write(part);
            c.socket.flush();
            QTest::qWait(0);
        }
        QTRY_VERIFY(c.received.size() >= 2 || c.closed);
        QCOMPARE(c.received, answer);
        if (closed) {
            QTRY_VERIFY(c.closed);
        } else {
            // Still open: a request gets no answer before login, an "OK" login answers frames.
            QVERIFY(!c.closed);
        }
    }

    void noFramesBeforeLogin() {
        auto w = Start({});
        QVERIFY(w);
        Client c;
        QVERIFY(c.Connect(w->Servers().first()->Port()));
        QCOMPARE(c.Login("bad"), QByteArray("NO"));
        c.Send(Hex("7E")); // taken as part of the next password line, never answered as a frame
        QCOMPARE(c.Login("qorvu"), QByteArray("NO"));
        QCOMPARE(c.Login("qorvu"), QByteArray("OK"));
        QCOMPARE(c.Ask(Hex("7E"), 6), Reply(Hex("FE0804020201")));
    }

    void command_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("output 3 on") << Hex("0203") << Hex("AA5500040082030 18A");
        QTest::newRow("output 3 off") << Hex("0103") << Reply(Hex("810300"));
        QTest::newRow("toggle output 1") << Hex("0301") << Reply(Hex("830101"));
        QTest::newRow("all on") << Hex("05") << Reply(Hex("8501"));
        QTest::newRow("all off") << Hex("04") << Reply(Hex("8400"));
        QTest::newRow("outputs read") << Hex("0A") << Reply(Hex("8A00"));
        QTest::newRow("inputs read") << Hex("14") << Reply(Hex("9405"));
        QTest::newRow("PWM read") << Hex("24") << Reply(Hex("A40003E80003E8"));
        QTest::newRow("PWM duty") << Hex("220132") << Reply(Hex("A20132"));
        QTest::newRow("PWM duty above 100") << Hex("220165") << Reply(Hex("FF22"));
        QTest::newRow("PWM frequency") << Hex("320207D0") << Reply(Hex("B20207D0"));
        QTest::newRow("PWM 3 of 2") << Hex("320307D0") << Reply(Hex("FF32"));
        QTest::newRow("registers") << Hex("40") << Reply(Hex("C000FA8001"));
        QTest::newRow("IO read") << Hex("7E") << Reply(Hex("FE0804020201"));
        QTest::newRow("IO set") << Hex("7206020108") << Reply(Hex("F206020108 01"));
        QTest::newRow("IO set, 25 channels") << Hex("7214050000") << Reply(Hex("FF72"));
        QTest::newRow("IO set, 3 PWM") << Hex("7201010300") << Reply(Hex("FF72"));
        QTest::newRow("name of output 1") << Hex("600001 0300 4C616D70 0000000000000000")
                                          << Reply(Hex("E00001 0300 4C616D70 0000000000000000"));
        QTest::newRow("name of input 5 of 4")
            << Hex("600105 0000 4C616D70 0000000000000000") << Reply(Hex("FF60"));
        QTest::newRow("infrared name keeps the learned bit")
            << Hex("600401 0500 5456000000000000 00000000")
            << Reply(Hex("E00401 0501 5456000000000000 00000000"));
        QTest::newRow("password, wrong old") << Hex("73 717878000000 616263000000") << Reply(Hex("F300"));
        QTest::newRow("password") << Hex("73 716F72767500 616263000000") << Reply(Hex("F301"));
        QTest::newRow("device name") << Hex("74 4B69746368656E0000000000000000 00")
                                     << Reply(Hex("F4 4B69746368656E0000000000000000 00"));
        QTest::newRow("empty device name")
            << Hex("74 00000000000000000000000000000000") << Reply(Hex("FF74"));
        QTest::newRow("device name read") << Hex("75") << Reply(Hex("F5 4C6162 00000000000000000000000000"));
        QTest::newRow("no tasks") << Hex("5001") << Reply(Hex("D000"));
        QTest::newRow("clock set") << Hex("545685C180") << Reply(Hex("D4015685C180"));
        QTest::newRow("save") << Hex("7A") << Reply(Hex("FA"));
        QTest::newRow("infrared create") << Hex("28") << Reply(Hex("A802"));
        QTest::newRow("infrared send, learned") << Hex("2A01") << Reply(Hex("AA0101"));
        QTest::newRow("infrared send, no slot") << Hex("2A05") << Reply(Hex("AA0500"));
        QTest::newRow("infrared remove") << Hex("2B01") << Reply(Hex("AB0101"));
        QTest::newRow("infrared remove, no slot") << Hex("2B03") << Reply(Hex("AB0300"));
        QTest::newRow("unknown code") << Hex("99") << Reply(Hex("FF99"));
        QTest::newRow("known code, wrong length") << Hex("020301") << Reply(Hex("FF02"));
        QTest::newRow("output 9 of 8") << Hex("0209") << Reply(Hex("FF02"));
        QTest::newRow("output 0") << Hex("0100") << Reply(Hex("FF01"));
    }
    void command() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        auto w = Start(Lab());
        QVERIFY(w);
        Client c;
        QVERIFY(LoggedIn(c, *w));
        c.Send(request);
        QCOMPARE(c.Read(reply.size()), reply);
        // Nothing more than the one reply: the next answer follows directly.
        QCOMPARE(c.Ask(Hex("7A"), 1), Reply(Hex("FA")));
    }

    void statePersists() {
        auto w = Start(Lab());
        QVERIFY(w);
        Client c;
        QVERIFY(LoggedIn(c, *w));
        QCOMPARE(c.Ask(Hex("0203"), 3), Reply(Hex("820301")));
        QCOMPARE(c.Ask(Hex("0308"), 3), Reply(Hex("830801")));
        QCOMPARE(c.Ask(Hex("0A"), 2), Reply(Hex("8A84")));
        QCOMPARE(c.Ask(Hex("0303"), 3), Reply(Hex("830300")));
        QCOMPARE(c.Ask(Hex("05"), 2), Reply(Hex("8501")));
        QCOMPARE(c.Ask(Hex("0A"), 2), Reply(Hex("8AFF")));
        QCOMPARE(c.Ask(Hex("220264"), 3), Reply(Hex("A20264")));
        QCOMPARE(c.Ask(Hex("3201FFFF"), 4), Reply(Hex("B201FFFF")));
        QCOMPARE(c.Ask(Hex("24"), 7), Reply(Hex("A400FFFF6403E8")));

        // A second connection to the same board sees the same state.
        Client d;
        QVERIFY(LoggedIn(d, *w));
        QCOMPARE(d.Ask(Hex("0A"), 2), Reply(Hex("8AFF")));
    }

    void namesInClassOrder() {
        auto w = Start({"--board", "out=1,in=1,pwm=1,reg=1,ir=1"});
        QVERIFY(w);
        Client c;
        QVERIFY(LoggedIn(c, *w));
        QCOMPARE(c.Ask(Hex("600201 0700 46616E 000000000000000000"), 17),
                 Reply(Hex("E00201 0700 46616E 000000000000000000")));
        c.Send(Hex("63"));
        const QList<QByteArray> p = ReplyPayloads(c.Read(1 + 5 * 14 + 6));
        QCOMPARE(p.size(), 1);
        QCOMPARE(p[0], Hex("E3"
                           "0000 4F75742031 00000000000000"    // Out 1
                           "0000 496E2031 0000000000000000"    // In 1
                           "0700 46616E 000000000000000000"    // Fan, picture 7
                           "0000 5245472031 00000000000000"    // REG 1
                           "0001 49522031 0000000000000000")); // IR 1, learned
    }

    void ioChangeResizesChannels() {
        auto w = Start(Lab());
        QVERIFY(w);
        Client c;
        QVERIFY(LoggedIn(c, *w));
        QCOMPARE(c.Ask(Hex("7202000003"), 6), Reply(Hex("F20200000301")));
        QCOMPARE(c.Ask(Hex("7E"), 6), Reply(Hex("FE0200000301")));
        QCOMPARE(c.Ask(Hex("0A"), 2), Reply(Hex("8A00")));
        QCOMPARE(c.Ask(Hex("0203"), 2), Reply(Hex("FF02")));
        QCOMPARE(c.Ask(Hex("40"), 7), Reply(Hex("C000FA8001") + Hex("0118")));
        c.Send(Hex("63"));
        QCOMPARE(ReplyPayloads(c.Read(1 + 6 * 14 + 6)).value(0).size(), 1 + 6 * 14);
    }

    void ioChangeNeedsCapability() {
        auto w = Start({"--board", "ctrl=4"});
        QVERIFY(w);
        Client c;
        QVERIFY(LoggedIn(c, *w));
        QCOMPARE(c.Ask(Hex("7201010100"), 2), Reply(Hex("FF72")));
    }

    void passwordChangeAppliesToNextLogin() {
        auto w = Start({});
        QVERIFY(w);
        Client c;
        QVERIFY(LoggedIn(c, *w));
        QCOMPARE(c.Ask(Hex("73 716F72767500 6E6577000000"), 2), Reply(Hex("F301")));
        Client old, fresh;
        QVERIFY(old.Connect(w->Servers().first()->Port()));
        QCOMPARE(old.Login("qorvu"), QByteArray("NO"));
        QVERIFY(fresh.Connect(w->Servers().first()->Port()));
        QCOMPARE(fresh.Login("new"), QByteArray("OK"));
    }

    void infraredLearning_data() {
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("phase");
        QTest::addColumn<int>("sendResult");
        QTest::newRow("success") << "success" << 1 << 1;
        QTest::newRow("failure") << "failure" << 2 << 0;
        QTest::newRow("overtime") << "timeout" << 3 << 0;
    }
    void infraredLearning() {
        QFETCH(QString, result);
        QFETCH(int, phase);
        QFETCH(int, sendResult);
        auto w = Start({"--board", "ir=0,ir-delay-ms=30,irslots=2,ir-result=" + result});
        QVERIFY(w);
        Client c;
        QVERIFY(LoggedIn(c, *w));
        QCOMPARE(c.Ask(Hex("28"), 2), Reply(Hex("A801")));
        QCOMPARE(c.Ask(Hex("2A01"), 3), Reply(Hex("AA0100")));
        c.Send(Hex("290102"));
        QCOMPARE(c.Read(9), Reply(Hex("A90100")));
        QCOMPARE(c.Read(9), Reply(QByteArray(Hex("A901")).append(char(phase))));
        QCOMPARE(c.Ask(Hex("2A01"), 3), Reply(QByteArray(Hex("AA01")).append(char(sendResult))));
        QCOMPARE(c.Ask(Hex("28"), 2), Reply(Hex("A802")));
        QCOMPARE(c.Ask(Hex("28"), 2), Reply(Hex("A8FF"))); // no slot left
        QCOMPARE(c.Ask(Hex("2B01"), 3), Reply(Hex("AB0101")));
        QCOMPARE(c.Ask(Hex("7E"), 6), Reply(Hex("FE0804020201")));
        QCOMPARE(c.Ask(Hex("290105"), 2), Reply(Hex("FF29"))); // 1 to 3 passes only
    }

    void learningResultNotSentAfterClose() {
        auto w = Start({"--board", "ir-delay-ms=20"});
        QVERIFY(w);
        {
            Client c;
            QVERIFY(LoggedIn(c, *w));
            c.Send(Hex("290101"));
            QCOMPARE(c.Read(9), Reply(Hex("A90100")));
        }
        QTest::qWait(60); // the pending result must find its connection gone without harm
        Client d;
        QVERIFY(LoggedIn(d, *w));
        QCOMPARE(d.Ask(Hex("2A01"), 3), Reply(Hex("AA0101")));
    }

    void tasks() {
        auto w = Start(Lab());
        QVERIFY(w);
        Client c;
        QVERIFY(LoggedIn(c, *w));
        // Enabled, daily, 2016-01-01 00:00, output 2 on, Monday to Friday.
        const QByteArray task = Hex("83 5685C180 02020000 3E");
        QCOMPARE(c.Ask(Hex("51") + task, 12), Reply(Hex("D101") + task));
        const QByteArray other = Hex("80 5685C180 01030000 00"); // once, output 3 off
        QCOMPARE(c.Ask(Hex("51") + other, 12), Reply(Hex("D102") + other));
        QCOMPARE(c.Ask(Hex("51") + other, 12), Reply(Hex("D1FF") + other)); // table of 2 is full
        QCOMPARE(c.Ask(Hex("5002"), 13), Reply(Hex("D001 01") + task));
        QCOMPARE(c.Ask(Hex("5003"), 13), Reply(Hex("D001 02") + other));
        QCOMPARE(c.Ask(Hex("5001"), 2), Reply(Hex("D000")));
        QCOMPARE(c.Ask(Hex("520102"), 3), Reply(Hex("D20102")));
        QCOMPARE(c.Ask(Hex("5002"), 13), Reply(Hex("D001 01 03 5685C180 02020000 3E")));
        QCOMPARE(c.Ask(Hex("520101"), 3), Reply(Hex("D20101")));
        QCOMPARE(c.Ask(Hex("520103"), 3), Reply(Hex("D20103")));
        QCOMPARE(c.Ask(Hex("5002"), 2), Reply(Hex("D000")));
        QCOMPARE(c.Ask(Hex("520903"), 2), Reply(Hex("FF52"))); // no task 9
        QCOMPARE(c.Ask(Hex("520204"), 2), Reply(Hex("FF52"))); // no state 4
        // The freed identifier is given again.
        QCOMPARE(c.Ask(Hex("51") + task, 12), Reply(Hex("D101") + task));
        // A task for an output the board does not have.
        QCOMPARE(c.Ask(Hex("51 80 5685C180 02090000 00"), 2), Reply(Hex("FF51")));
    }

    void taskRunsAtItsTime() {
        auto w = Start(Lab());
        QVERIFY(w);
        Client c;
        QVERIFY(LoggedIn(c, *w));
        QCOMPARE(c.Ask(Hex("545685C180"), 6), Reply(Hex("D4015685C180")));
        // Once, one second after the clock just set: output 4 on.
        QCOMPARE(c.Ask(Hex("51 80 5685C181 02040000 00"), 11).left(7),
                 Reply(Hex("D101 80 5685C181 02040000 00")).left(7));
        c.Take();
        QTRY_VERIFY_WITH_TIMEOUT(w->Boards().first()->Outputs().at(3), 5000);
        // A once task disables itself after running.
        QCOMPARE(c.Ask(Hex("5004"), 13), Reply(Hex("D001 01 00 5685C181 02040000 00")));
        // The clock kept running from the value set.
        c.Send(Hex("53"));
        const QByteArray clock = ReplyPayloads(c.Read(11)).value(0);
        QCOMPARE(clock.size(), 5);
        QVERIFY(qFromBigEndian<quint32>(clock.constData() + 1) >= 0x5685C181u);
    }

    void search() {
        auto w = Start(
            {"--count", "3", "--board", "mac=5C-CF-7F-01-02-0A,name=Lab,type=3,ctrl=6,soft=2.5,hard=1.1"});
        QVERIFY(w);
        QUdpSocket u;
        QVERIFY(u.bind(QHostAddress::LocalHost, 0));
        QList<QByteArray> got;
        connect(&u, &QUdpSocket::readyRead, this, [&] {
            while (u.hasPendingDatagrams())
                got.append(u.receiveDatagram().data());
        });
        // Requests that are not exactly FF 01 01 02 get no answer; the later good one gets four.
        u.writeDatagram(Hex("FF010103"), QHostAddress::LocalHost, w->SearchPort());
        u.writeDatagram(Hex("FF01010200"), QHostAddress::LocalHost, w->SearchPort());
        u.writeDatagram(Hex("FF010102"), QHostAddress::LocalHost, w->SearchPort());
        QTRY_COMPARE(got.size(), 4);
        QSet<QByteArray> macs;
        for (const QByteArray& d : got) {
            QCOMPARE(d.size(), 36);
            QCOMPARE(Sum(d, 0, 36), quint8(0));
            QCOMPARE(d.left(3), Hex("FF2401"));
            QCOMPARE(d.mid(5, 4), Hex("7F000001"));
            macs.insert(d.mid(9, 6));
        }
        QCOMPARE(macs.size(), 4);
        const QByteArray lab = got.first(); // explicit boards come first
        QCOMPARE(lab.mid(3, 2), Hex("0306"));
        QCOMPARE(lab.mid(9, 6), Hex("5CCF7F01020A"));
        QCOMPARE(lab.mid(15, 4), Hex("02050101"));
        QCOMPARE(lab.mid(19, 16), Hex("4C6162") + QByteArray(13, '\0'));

        // A renamed board answers with its new name.
        Client c;
        QVERIFY(LoggedIn(c, *w));
        QCOMPARE(c.Ask(Hex("74 4B6974 00000000000000000000000000"), 17).size(), 23);
        u.writeDatagram(Hex("FF010102"), QHostAddress::LocalHost, w->SearchPort());
        QTRY_COMPARE(got.size(), 8);
        QCOMPARE(got.at(4).mid(19, 16), Hex("4B6974") + QByteArray(13, '\0'));
        QCOMPARE(Sum(got.at(4), 0, 36), quint8(0));
    }

    void router() {
        auto w = Start({"--board", "ctrl=6", "--board", "ctrl=2", "--wifi", "lab:76:secret1", "--wifi",
                        "\xE5\xAE\xB6:5"});
        QVERIFY(w);
        QUdpSocket u;
        QVERIFY(u.bind(QHostAddress::LocalHost, 0));
        QList<QByteArray> got;
        connect(&u, &QUdpSocket::readyRead, this, [&] {
            while (u.hasPendingDatagrams())
                got.append(u.receiveDatagram().data());
        });
        const auto datagram = [](const QByteArray& payload) {
            QByteArray d = Hex("FF");
            d.append(char(payload.size() >> 8)).append(char(payload.size() & 0xFF)).append(payload);
            d.append(char(Sum(d, 1, d.size())));
            return d;
        };
        QCOMPARE(datagram(Hex("01")), Hex("FF00010102"));
        QByteArray badSum = Hex("FF00010103");
        u.writeDatagram(badSum, QHostAddress::LocalHost, w->RouterPort());
        u.writeDatagram(Hex("FF000201"), QHostAddress::LocalHost, w->RouterPort()); // length disagrees
        u.writeDatagram(Hex("FF00010102"), QHostAddress::LocalHost, w->RouterPort());
        QTRY_COMPARE(got.size(), 1); // only the board with capability bit 2 answers
        const QByteArray list = got.takeFirst();
        QCOMPARE(list,
                 datagram(Hex("8100") + "lab" + Hex("00 4C 0D0A") + "\xE5\xAE\xB6" + Hex("00 05 0D0A")));

        // Reading the list as a client does: name up to j-4, signal at j-2.
        const QByteArray data = list.mid(5, list.size() - 6);
        QList<QPair<QByteArray, int>> nets;
        qsizetype start = 0;
        for (qsizetype j = 1; j < data.size(); ++j) {
            if (data[j - 1] == '\r' && data[j] == '\n') {
                nets.append({data.mid(start, j - 3 - start), quint8(data[j - 2])});
                start = j + 1;
            }
        }
        QCOMPARE(nets, (QList<QPair<QByteArray, int>>{{"lab", 76}, {"\xE5\xAE\xB6", 5}}));

        const auto join = [&](const QByteArray& ssid, const QByteArray& pw) {
            u.writeDatagram(datagram(Hex("0200") + ssid + "\r\n" + pw), QHostAddress::LocalHost,
                            w->RouterPort());
            return QTest::qWaitFor([&] { return !got.isEmpty(); }, 3000) ? got.takeFirst() : QByteArray();
        };
        QCOMPARE(join("nowhere", "x"), datagram(Hex("820000")));
        QCOMPARE(join("lab", "secret"), datagram(Hex("820100")));
        QVERIFY(!w->Boards().first()->Joined("lab"));
        QCOMPARE(join("lab", "secret1"), datagram(Hex("820101")));
        QVERIFY(w->Boards().first()->Joined("lab"));
        QCOMPARE(join("\xE5\xAE\xB6", ""), datagram(Hex("820101")));
    }

    // A refused request is answered FF <code> and changes nothing; the others are served.
    void faultRefuse() {
        auto w = Start({"--board", "refuse=0x05/116"});
        QVERIFY(w);
        Client c;
        QVERIFY(LoggedIn(c, *w));
        QCOMPARE(c.Ask(Hex("05"), 2), Reply(Hex("FF05")));
        QCOMPARE(c.Ask(Hex("0A"), 2), Reply(Hex("8A00")));
        QCOMPARE(c.Ask(Hex("0201"), 3), Reply(Hex("820101")));
    }

    void faultIgnore() {
        auto w = Start({"--ignore", "0x0A", "--board", "ignore=20/0x7A"});
        QVERIFY(w);
        Client c;
        QVERIFY(LoggedIn(c, *w));
        c.Send(Hex("0A"));
        c.Send(Hex("14"));
        c.Send(Hex("7A"));
        c.Send(Hex("7E"));
        QCOMPARE(c.Read(12), Reply(Hex("FE0804020201")));
    }

    void faultGarbage() {
        auto w = Start({"--garbage"});
        QVERIFY(w);
        Client c;
        QVERIFY(LoggedIn(c, *w));
        c.Send(Hex("0203"));
        c.Send(Hex("7E"));
        QTRY_COMPARE(ReplyPayloads(c.received), (QList<QByteArray>{Hex("820301"), Hex("FE0804020201")}));
        // Junk really is there: more bytes than the two frames, and a decoy header.
        QVERIFY(c.received.size() > 9 + 11);
        QVERIFY(!c.received.startsWith(Hex("AA5500040082")));
        QVERIFY(c.received.indexOf(Hex("AA55000200FF00")) >= 0);
    }

    void faultSplit() {
        auto w = Start({"--split", "3", "--split-gap-ms", "30"});
        QVERIFY(w);
        Client c;
        QVERIFY(LoggedIn(c, *w));
        c.reads = 0;
        c.Send(Hex("7E"));
        QCOMPARE(c.Read(12), Reply(Hex("FE0804020201")));
        QVERIFY2(c.reads >= 2, qPrintable(QString::number(c.reads)));
        // Replies stay in order across pieces.
        c.Send(Hex("0201"));
        c.Send(Hex("0202"));
        QCOMPARE(c.Read(18), Reply(Hex("820101")) + Reply(Hex("820201")));
    }

    void faultDelayKeepsOrder() {
        auto w = Start({"--delay", "40"});
        QVERIFY(w);
        Client c;
        QVERIFY(c.Connect(w->Servers().first()->Port()));
        c.socket.write("qorvu\r\n");
        QCOMPARE(c.Read(2), QByteArray("OK"));
        c.Send(Hex("0201"));
        c.Send(Hex("0A"));
        QCOMPARE(c.Read(17), Reply(Hex("820101")) + Reply(Hex("8A01")));
    }

    void faultLoginDropLater() {
        auto w = Start({"--bad-password", "drop", "--login-drop-ms", "150"});
        QVERIFY(w);
        Client c;
        QVERIFY(c.Connect(w->Servers().first()->Port()));
        c.socket.write("wrong\r\n");
        QVERIFY(c.Wait([&] { return c.closed; }));
        QVERIFY(c.received.isEmpty()); // no "NO" first
    }

    void faultDropAfter() {
        auto w = Start({"--drop-after", "100"});
        QVERIFY(w);
        Client c;
        QVERIFY(LoggedIn(c, *w));
        QTRY_VERIFY(c.closed);
    }

    void boardsPerPort() {
        auto w = Start({"--count", "3"});
        QVERIFY(w);
        QSet<quint16> ports;
        for (int i = 0; i < 3; ++i) {
            Client c;
            QVERIFY(LoggedIn(c, *w, i));
            ports.insert(w->Servers().at(i)->Port());
            // Each connection reaches its own board.
            QCOMPARE(c.Ask(Hex("75"), 17),
                     Reply(Hex("F5") + "Board " + QByteArray::number(i + 1) + QByteArray(9, '\0')));
        }
        QCOMPARE(ports.size(), 3);
    }

    // "--name value" and "--name=value" alike; a fault key alone switches the fault on; board
    // keys given as options are every board's defaults.
    void optionForms() {
        QString message;
        bool help = true;
        const auto cfg = sim::ParseWorldArgs({"--listen=127.0.0.2:9000", "--step-address", "--garbage",
                                              "--delay", "200", "--split=3", "--wifi=Lab:80:pw:x", "--wifi",
                                              "Open:20", "--board", "mac=02-00-00-00-00-01", "--count=1",
                                              "-v", "--no-search", "--search-port=5", "--router-port", "0"},
                                             &message, &help);
        QVERIFY2(cfg, qPrintable(message));
        QVERIFY(!help);
        QCOMPARE(cfg->listenAddress, QHostAddress("127.0.0.2"));
        QCOMPARE(cfg->listenPort, 9000);
        QVERIFY(cfg->stepAddress);
        QVERIFY(cfg->verbose);
        QCOMPARE(cfg->searchPort, -1);
        QCOMPARE(cfg->routerPort, 0);
        QCOMPARE(cfg->boards.size(), 2);
        for (const sim::BoardConfig& b : cfg->boards) {
            QVERIFY(b.faults.garbage);
            QCOMPARE(b.faults.delayMs, 200);
            QCOMPARE(b.faults.splitBytes, 3);
        }
        QCOMPARE(cfg->networks.size(), 2);
        QCOMPARE(cfg->networks[0].password, QByteArray("pw:x"));
        QCOMPARE(cfg->networks[1].password, QByteArray());
        QVERIFY(!sim::ParseWorldArgs({"--count", "2", "--help"}, &message, &help));
        QVERIFY(help);
    }

    void options_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << "unknown option";
        QTest::newRow("unknown key") << QStringList{"--board", "colour=red"} << "unknown board key";
        QTest::newRow("bad MAC") << QStringList{"--board", "mac=5C-CF"} << "MAC";
        QTest::newRow("long password") << QStringList{"--board", "password=1234567"} << "1 to 6 bytes";
        QTest::newRow("too many channels") << QStringList{"--board", "out=20,in=5"} << "at most 24";
        QTest::newRow("same MAC twice")
            << QStringList{"--board", "mac=02-00-00-00-00-01", "--board", "mac=02-00-00-00-00-01"}
            << "two boards";
        QTest::newRow("missing value") << QStringList{"--delay"} << "needs a value";
        QTest::newRow("unknown short option") << QStringList{"-q"} << "unknown option \"-q\"";
        QTest::newRow("switch with a value") << QStringList{"--step-address=1"} << "--step-address";
        QTest::newRow("argument") << QStringList{"--count=2", "two"} << "unexpected argument \"two\"";
        QTest::newRow("fault switch with a bad value") << QStringList{"--garbage=maybe"} << "1 or 0";
        QTest::newRow("bad listen") << QStringList{"--listen", "localhost"} << "ADDR:PORT";
        QTest::newRow("bad ignore code") << QStringList{"--ignore", "300"} << "command codes";
    }
    void options() {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        QString message;
        bool help = true;
        QVERIFY(!sim::ParseWorldArgs(args, &message, &help));
        QVERIFY(!help);
        QVERIFY2(message.contains(error), qPrintable(message));
    }

    void addressTaken() {
        auto w = Start({});
        QVERIFY(w);
        QString error;
        bool help = false;
        auto cfg =
            sim::ParseWorldArgs({"--listen", "127.0.0.1:" + QString::number(w->Servers().first()->Port()),
                                 "--no-search", "--no-router"},
                                &error, &help);
        QVERIFY(cfg);
        sim::World second(*cfg);
        QVERIFY(!second.Start(&error));
        QVERIFY2(error.contains("cannot listen"), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(tst_SimWorld)
#include "tst_SimWorld.moc"
