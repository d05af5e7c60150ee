// TPictureFetch against a loopback HTTP server: which addresses it fetches, what each kind of
// answer gives, how many fetches run at once, and fetches dropped with their context.
#include "TestHttpServer.h"
#include "untPictureFetch.h"

#include <QBuffer>
#include <QtTest>

#include <memory>

namespace {

QByteArray Encoded(const QColor& colour, const QSize& size, const char* format = "JPG") {
    QImage img(size, QImage::Format_RGB32);
    img.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, format);
    return bytes;
}

bool Near(const QColor& a, const QColor& b) {
    return qAbs(a.red() - b.red()) < 24 && qAbs(a.green() - b.green()) < 24 && qAbs(a.blue() - b.blue()) < 24;
}

// What a fetch answered: how often, and with which picture.
struct Outcome {
    int Calls = 0;
    QImage Picture;
};

} // namespace

class tst_untPictureFetch : public QObject {
    Q_OBJECT

private slots:
    void addresses_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("fetched"); // empty: refused
        QTest::newRow("relative, on the server") << "/uploads/device/a.jpg"
                                                 << "http://127.0.0.1:8080/uploads/device/a.jpg";
        QTest::newRow("https, JPEG in capitals") << "https://127.0.0.1/p.JPEG"
                                                 << "https://127.0.0.1/p.JPEG";
        QTest::newRow("with a query") << "http://127.0.0.1/p.jpg?v=2"
                                      << "http://127.0.0.1/p.jpg?v=2";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("local file") << "file:///etc/p.jpg"
                                    << "";
        QTest::newRow("other scheme") << "smb://127.0.0.1/share/p.jpg"
                                      << "";
        QTest::newRow("not a JPEG address") << "http://127.0.0.1/p.png"
                                            << "";
    }
    void addresses() {
        QFETCH(QString, address);
        QFETCH(QString, fetched);
        TPictureFetch fetch;
        fetch.setServer(QUrl(QStringLiteral("http://127.0.0.1:8080")));
        QCOMPARE(fetch.PictureUrl(address).toString(), fetched);
        QObject context;
        bool called = false;
        const bool queued = fetch.Fetch(address, &context, {}, [&](const QImage&) { called = true; });
        QCOMPARE(queued, !fetched.isEmpty());
        QCOMPARE(fetch.Pending(), queued ? 1 : 0);
        QVERIFY(!called); // never answered from inside the call
        fetch.Abandon(&context);
    }

    void outcomes_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("never");
        QTest::addColumn<QSize>("size"); // invalid: no picture
        QTest::newRow("larger than shown: decoded to fit")
            << 200 << Encoded(Qt::red, QSize(400, 200)) << false << QSize(200, 100);
        QTest::newRow("smaller than shown: kept at its size")
            << 200 << Encoded(Qt::red, QSize(50, 40)) << false << QSize(50, 40);
        QTest::newRow("PNG bytes at a .jpg address: decoded by content")
            << 200 << Encoded(Qt::red, QSize(30, 30), "PNG") << false << QSize(30, 30);
        QTest::newRow("bytes that are no picture")
            << 200 << QByteArray("<html>Service unavailable</html>") << false << QSize();
        QTest::newRow("truncated JPEG")
            << 200 << Encoded(Qt::red, QSize(100, 100)).left(40) << false << QSize();
        QTest::newRow("HTTP 404") << 404 << QByteArray("No such picture") << false << QSize();
        QTest::newRow("larger than the limit")
            << 200 << QByteArray(int(TPictureFetch::MaxPictureBytes) + 1, 'x') << false << QSize();
        QTest::newRow("never answered: time-out") << 200 << QByteArray() << true << QSize();
    }
    void outcomes() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, never);
        QFETCH(QSize, size);
        TestHttpServer server;
        QVERIFY(server.Listen());
        TestHttpServer::Answer answer;
        answer.Status = status;
        answer.Body = body;
        answer.Never = never;
        server.Set(QStringLiteral("/p.jpg"), answer);
        TPictureFetch fetch;
        fetch.setTimeoutMs(300);
        QSignalSpy ended(&fetch, &TPictureFetch::fetched);
        QObject context;
        Outcome got;
        QVERIFY(fetch.Fetch(server.Url(QStringLiteral("/p.jpg")), &context, QSize(200, 200),
                            [&](const QImage& picture) {
                                ++got.Calls;
                                got.Picture = picture;
                            }));
        QTRY_COMPARE(got.Calls, 1);
        QCOMPARE(got.Picture.isNull(), !size.isValid());
        if (size.isValid()) {
            QCOMPARE(got.Picture.size(), size);
            QVERIFY(Near(got.Picture.pixelColor(size.width() / 2, size.height() / 2), Qt::red));
        }
        QCOMPARE(fetch.Pending(), 0);
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.first().at(1).toBool(), size.isValid());
    }

    // Ten pictures, held by the server: only a few are asked for at once, and each answer goes
    // to the fetch that asked for it.
    void fewAtOnceEachToItsOwner() {
        TestHttpServer server;
        QVERIFY(server.Listen());
        constexpr int Count = 10;
        QList<QColor> colours;
        for (int i = 0; i < Count; ++i) {
            colours << QColor::fromHsv(i * 36, 255, 255);
            TestHttpServer::Answer a;
            a.Body = Encoded(colours.last(), QSize(20, 20));
            a.Held = true;
            server.Set(QStringLiteral("/p%1.jpg").arg(i), a);
        }
        TPictureFetch fetch;
        QObject context;
        std::vector<Outcome> got(Count);
        for (int i = 0; i < Count; ++i)
            QVERIFY(fetch.Fetch(server.Url(QStringLiteral("/p%1.jpg").arg(i)), &context, {},
                                [&got, i](const QImage& picture) {
                                    ++got[size_t(i)].Calls;
                                    got[size_t(i)].Picture = picture;
                                }));
        QTRY_COMPARE(server.Open(), TPictureFetch::DefaultMaxRunning);
        QCOMPARE(fetch.Pending(), Count);
        // Released last to first: the answers come in another order than the requests.
        for (int i = Count - 1; i >= 0; --i)
            server.Release(QStringLiteral("/p%1.jpg").arg(i));
        QTRY_COMPARE(fetch.Pending(), 0);
        QCOMPARE(server.MostOpen(), TPictureFetch::DefaultMaxRunning);
        for (int i = 0; i < Count; ++i) {
            QCOMPARE(got[size_t(i)].Calls, 1);
            QVERIFY2(Near(got[size_t(i)].Picture.pixelColor(10, 10), colours[i]),
                     qPrintable(QString::number(i)));
        }
    }

    // A fetch whose context goes, or is abandoned, never answers, and frees its place at once.
    void droppedWithItsContext_data() {
        QTest::addColumn<bool>("destroy"); // else Abandon()
        QTest::newRow("context destroyed") << true;
        QTest::newRow("fetches abandoned") << false;
    }
    void droppedWithItsContext() {
        QFETCH(bool, destroy);
        TestHttpServer server;
        QVERIFY(server.Listen());
        TestHttpServer::Answer held;
        held.Body = Encoded(Qt::red, QSize(10, 10));
        held.Held = true;
        server.Set(QStringLiteral("/a.jpg"), held);
        TestHttpServer::Answer ready;
        ready.Body = Encoded(Qt::blue, QSize(10, 10));
        server.Set(QStringLiteral("/b.jpg"), ready);
        TPictureFetch fetch;
        fetch.setMaxRunning(1);
        auto first = std::make_unique<QObject>();
        QObject second;
        Outcome a, b;
        QVERIFY(fetch.Fetch(server.Url(QStringLiteral("/a.jpg")), first.get(), {}, [&](const QImage& p) {
            ++a.Calls;
            a.Picture = p;
        }));
        QVERIFY(fetch.Fetch(server.Url(QStringLiteral("/b.jpg")), &second, {}, [&](const QImage& p) {
            ++b.Calls;
            b.Picture = p;
        }));
        QTRY_COMPARE(server.Requests(QStringLiteral("/a.jpg")), 1);
        QCOMPARE(server.Requests(QStringLiteral("/b.jpg")), 0); // waits for the one place
        if (destroy)
            first.reset();
        else
            fetch.Abandon(first.get());
        QCOMPARE(fetch.Pending(), 1);
        QTRY_COMPARE(b.Calls, 1);
        QVERIFY(Near(b.Picture.pixelColor(5, 5), Qt::blue));
        server.Release(QStringLiteral("/a.jpg"));
        QTRY_COMPARE(fetch.Pending(), 0);
        QCOMPARE(a.Calls, 0);
    }
};

QTEST_MAIN(tst_untPictureFetch)
#include "tst_untPictureFetch.moc"
