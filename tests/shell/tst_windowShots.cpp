// Pictures of every page, overlay and popup of the window, in English and Chinese, saved into the
// build folder for review (run again with QT_SCALE_FACTOR=2 for the high-density set). Each shot
// also checks that every caption shown fits its control, so a translation that is cut off fails.
#include "ShellFixture.h"
#include "untAnchorMenu.h"

#include <QDir>
#include <QLabel>
#include <QtTest>

class tst_windowShots : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;
    std::shared_ptr<TRecordingMessages> FMsgs = std::make_shared<TRecordingMessages>();

    static QString ShotDir() {
        const QString dir = QStringLiteral(SHOT_DIR);
        QDir().mkpath(dir);
        return dir;
    }

    // Captions that do not fit their label, as "name: text".
    static QStringList CutCaptions(const QWidget& root) {
        QStringList cut;
        for (const QLabel* l : root.findChildren<QLabel*>()) {
            if (!l->isVisibleTo(&root) || l->text().isEmpty() || l->wordWrap())
                continue;
            const int need =
                l->fontMetrics().horizontalAdvance(l->text()) + 2 * l->indent() + 2 * l->margin();
            if (need > l->width() || l->fontMetrics().height() > l->height())
                cut << QStringLiteral("%1: %2").arg(l->objectName(), l->text());
        }
        return cut;
    }

    void Shoot(Tfrm_Main& w, const QString& name) {
        const QPixmap shot = w.grab();
        QVERIFY(!shot.isNull());
        QCOMPARE(shot.deviceIndependentSize().toSize(), w.size());
        const QString lang = LangIsCn() ? QStringLiteral("cn") : QStringLiteral("en");
        const QString file = QStringLiteral("%1/window-%2-%3@%4x.png")
                                 .arg(ShotDir(), name, lang)
                                 .arg(qRound(shot.devicePixelRatio()));
        QVERIFY(shot.save(file));
        const QStringList cut = CutCaptions(w);
        QVERIFY2(cut.isEmpty(), qPrintable(name + QStringLiteral(": ") + cut.join(QStringLiteral(" | "))));
    }

private slots:
    void shots_data() {
        QTest::addColumn<int>("langTab");
        QTest::newRow("en") << int(TAB_EN);
        QTest::newRow("cn") << int(TAB_CN);
    }
    void shots() {
        QFETCH(int, langTab);
        TMainEnv env = LoopbackEnv(FDir.path(), FMsgs);
        env.SearchWindowMs = 60000; // keep the overlay for its picture
        Tfrm_Main w(env);
        w.show();
        w.img_MainSettingClick(langTab == TAB_EN ? TAB_CN : TAB_EN);
        w.img_MainSettingClick(langTab);
        Shoot(w, QStringLiteral("searching"));
        w.ShowSearching(false);
        Shoot(w, QStringLiteral("device"));

        const QList<std::pair<int, const char*>> tabs{
            {TAB_USER, "user"}, {TAB_MESSAGE, "message"}, {TAB_MORE, "more"}};
        for (const auto& [tab, name] : tabs) {
            w.img_MainSettingClick(tab);
            QTRY_VERIFY(!w.Sliding());
            Shoot(w, QLatin1String(name));
        }
        w.ShowLoading(true);
        Shoot(w, QStringLiteral("loading"));
        w.ShowLoading(false);

        const QList<std::pair<int, const char*>> pops{
            {POP_ADD, "pop-add"},           {POP_TASK, "pop-task"},         {POP_PASSWORD, "pop-password"},
            {POP_REGISTER, "pop-register"}, {POP_DEVINFO, "pop-devinfo"},   {POP_CLOUDDEV, "pop-clouddev"},
            {POP_RENAME, "pop-rename"},     {POP_FEEDLIST, "pop-feedlist"}, {POP_REDSTUDY, "pop-redstudy"},
            {POP_ADDMINI, "pop-addmini"}};
        for (const auto& [n, name] : pops) {
            w.ShowPop(n);
            Shoot(w, QLatin1String(name));
            if (n == POP_TASK) {
                w.img_PopClick(3); // the new-task editor inside it
                Shoot(w, QStringLiteral("pop-taskadd"));
            }
            w.HideAllPops();
        }
        w.img_MainSettingClick(TAB_DEVICE);
        QTRY_VERIFY(!w.Sliding());
        w.MenuLight()->OpenAt(w.findChild<QWidget*>(QStringLiteral("img_Other")), TAnchorMenu::TSide::Below);
        Shoot(w, QStringLiteral("menu-device"));
        w.MenuRed()->OpenAt(w.findChild<QWidget*>(QStringLiteral("img_Other")), TAnchorMenu::TSide::Below);
        Shoot(w, QStringLiteral("menu-infrared"));
        w.CloseMenus();
        w.LockScreen(true);
        Shoot(w, QStringLiteral("lock"));
    }
};

QTEST_MAIN(tst_windowShots)
#include "tst_windowShots.moc"
