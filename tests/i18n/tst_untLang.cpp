#include "untLang.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QVBoxLayout>

namespace {

const QString PwmError = QStringLiteral(
    "Input error:\rInput and output sum can not greater than 24;PWM number can not greater than 2.");

// Counts the LanguageChange events the application object receives.
class LanguageChangeCounter : public QObject {
public:
    int Count = 0;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == qApp && event->type() == QEvent::LanguageChange)
            ++Count;
        return false;
    }
};

// A window in the way generated .ui code labels itself: every text through translate(), again
// on every LanguageChange.
class Window : public QWidget {
public:
    QLabel* Label = new QLabel(this);
    QPushButton* Button = new QPushButton(this);
    QLabel* Untranslated = new QLabel(this);
    Window() {
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(Label);
        layout->addWidget(Button);
        layout->addWidget(Untranslated);
        Retranslate();
    }
    void Retranslate() {
        Label->setText(QCoreApplication::translate("Tfrm_Main", " Unlock screen "));
        Button->setText(QCoreApplication::translate("Tfrm_Main", "Cancel"));
        Untranslated->setText(QCoreApplication::translate("Tfrm_Main", "Cancel 2"));
    }

protected:
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::LanguageChange)
            Retranslate();
        QWidget::changeEvent(event);
    }
};

} // namespace

class TestUntLang : public QObject {
    Q_OBJECT

private slots:
    void init() {
        SetLanguage(LangEn);
        BuildLangTable();
    }
    void cleanupTestCase() { SetLanguage(LangEn); }

    void tableHasEveryEntryOnce() {
        const auto entries = LangTableEntries();
        QCOMPARE(entries.size(), std::size_t(228));
        QSet<QString> keys;
        for (const TLangEntry& e : entries) {
            QVERIFY(e.English && *e.English);
            QVERIFY(e.Chinese && *e.Chinese);
            keys.insert(QString::fromUtf8(e.English));
        }
        QCOMPARE(keys.size(), 228);
        QCOMPARE(Lang1().EntryCount(LangCn), 228);
        QCOMPARE(Lang1().EntryCount(LangEn), 0);
        QVERIFY(Lang1().HasLang(LangEn));
        QCOMPARE(QString::fromUtf8(entries.front().English), QStringLiteral("Quillet"));
        QCOMPARE(QString::fromUtf8(entries.back().English), QStringLiteral("GetDevTime"));
    }

    void lookup_data() {
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("chinese"); // empty: not in the table
        QTest::newRow("first") << "Quillet"
                               << "澜桥仔";
        QTest::newRow("last") << "GetDevTime"
                              << "查询时间";
        QTest::newRow("spaced value") << "Account:"
                                      << "账  号：";
        QTest::newRow("same text both ways") << "PWM"
                                             << "PWM";
        QTest::newRow("leading space") << " SU"
                                       << " 日";
        QTest::newRow("without its leading space") << "SU"
                                                   << "";
        QTest::newRow("spaces both sides") << " Unlock screen "
                                           << "  解 锁 屏 幕";
        QTest::newRow("trimmed is another key") << "Unlock screen"
                                                << "取消锁屏";
        QTest::newRow("one trailing space only") << " Unlock screen"
                                                 << "";
        QTest::newRow("carriage return") << PwmError << "输入错误:\r输入和输出总数不能大于24;PWM数不能大于2.";
        QTest::newRow("line feed instead of CR") << QString(PwmError).replace(u'\r', u'\n') << "";
        QTest::newRow("table's own Manual input") << "Manual input..."
                                                  << "手动输入";
        QTest::newRow("case counts") << "ok"
                                     << "";
        QTest::newRow("composed at run time") << "Device Online 2"
                                              << "";
        QTest::newRow("long key")
            << "Remove the device can be used to re-activate the remote control, determine "
               "to continue anyway?"
            << "删除设备需要重新激活才能使用远程控制，确定继续吗？";
        QTest::newRow("empty text") << ""
                                    << "";
    }
    void lookup() {
        QFETCH(QString, english);
        QFETCH(QString, chinese);

        SetLanguage(LangCn);
        QCOMPARE(LangLookup(english), chinese);
        QCOMPARE(LangText(english), chinese.isEmpty() ? english : chinese);

        SetLanguage(LangEn);
        QCOMPARE(LangLookup(english), english);
        QCOMPARE(LangText(english), english);
    }

    void languageWithoutTableGivesTextBack() {
        SetLanguage(QStringLiteral("de"));
        QCOMPARE(LangLookup("Cancel"), QStringLiteral("Cancel"));
        QCOMPARE(LangText("Cancel"), QStringLiteral("Cancel"));
        QVERIFY(!LangIsCn());

        Lang1().Clear();
        SetLanguage(LangCn);
        QCOMPARE(LangLookup("Cancel"), QStringLiteral("Cancel"));
    }

    void laterEntryWins() {
        TLangTable t;
        t.SetEntry(LangCn, "Add", "one");
        t.SetEntry(LangCn, "Add", "two");
        t.SetLang(LangCn);
        QCOMPARE(t.Lookup("Add"), QStringLiteral("two"));
        QCOMPARE(t.EntryCount(LangCn), 1);
    }

    void rebuildReplacesTheTableAndKeepsTheLanguage() {
        SetLanguage(LangCn);
        Lang1().SetEntry(LangCn, "Stray", "x");
        BuildLangTable();
        QVERIFY(LangIsCn());
        QCOMPARE(LangLookup("Stray"), QString());
        QCOMPARE(LangLookup("OK"), QStringLiteral("确 定"));
    }

    void chosenTexts_data() {
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("chinese");
        QTest::newRow("title") << int(TLangChoice::WindowTitle) << "Quillet for Windows V1.2.6"
                               << "澜桥匣 for Windows V1.2.6";
        QTest::newRow("unlogged") << int(TLangChoice::Unlogged) << "Unlogged"
                                  << "未登录";
        QTest::newRow("touch") << int(TLangChoice::TouchMode) << "Touch mode"
                               << "触动模式";
        QTest::newRow("jog") << int(TLangChoice::JogMode) << "Jog mode"
                             << "点动模式";
        QTest::newRow("lock reminder")
            << int(TLangChoice::LockPasswordReminder) << "Please remember to lock screen password:"
            << "请牢记锁屏密码：";
        QTest::newRow("manual input") << int(TLangChoice::ManualInput) << "Manual input..."
                                      << "手动输入...";
    }
    void chosenTexts() {
        QFETCH(int, choice);
        QFETCH(QString, english);
        QFETCH(QString, chinese);
        QCOMPARE(LangChoose(TLangChoice(choice)), english);
        SetLanguage(LangCn);
        QCOMPARE(LangChoose(TLangChoice(choice)), chinese);
    }

    void activatedBy() {
        QCOMPARE(LangActivatedBy("bob"), QStringLiteral("Device has been activated by: bob"));
        SetLanguage(LangCn);
        QCOMPARE(LangActivatedBy("bob"), QStringLiteral("设备已被账号：bob 激活"));
    }

    void translatorFollowsTheSwitch() {
        LanguageChangeCounter counter;
        qApp->installEventFilter(&counter);

        QVERIFY(!InstalledLangTranslator());
        QCOMPARE(QCoreApplication::translate("Any", "Cancel"), QStringLiteral("Cancel"));

        SetLanguage(LangCn);
        QVERIFY(InstalledLangTranslator());
        QCOMPARE(counter.Count, 1);
        QCOMPARE(QCoreApplication::translate("Any", "Cancel"), QStringLiteral("取 消"));
        QCOMPARE(QCoreApplication::translate("Other", " SU"), QStringLiteral(" 日"));
        QCOMPARE(QCoreApplication::translate("Any", "Not in the table"), QStringLiteral("Not in the table"));
        QCOMPARE(InstalledLangTranslator()->translate("Any", "Not in the table"), QString());
        QVERIFY(!InstalledLangTranslator()->isEmpty());

        SetLanguage(LangCn); // no change, no event
        QCOMPARE(counter.Count, 1);

        SetLanguage(LangEn);
        QVERIFY(!InstalledLangTranslator());
        QCOMPARE(counter.Count, 2);
        QCOMPARE(QCoreApplication::translate("Any", "Cancel"), QStringLiteral("Cancel"));
        qApp->removeEventFilter(&counter);
    }

    void switchRelabelsEveryControl() {
        Window w;
        w.show();
        QCOMPARE(w.Button->text(), QStringLiteral("Cancel"));

        SetLanguage(LangCn);
        QTRY_COMPARE(w.Button->text(), QStringLiteral("取 消"));
        QCOMPARE(w.Label->text(), QStringLiteral("  解 锁 屏 幕"));
        QCOMPARE(w.Untranslated->text(), QStringLiteral("Cancel 2"));

        SetLanguage(LangEn);
        QTRY_COMPARE(w.Button->text(), QStringLiteral("Cancel"));
        QCOMPARE(w.Label->text(), QStringLiteral(" Unlock screen "));
    }
};

QTEST_MAIN(TestUntLang)
#include "tst_untLang.moc"
