// The task list popup and editor: week styles and days, the start time prefill and check, the
// commands sent for rows and new tasks, and which board replies are taken.
#include "../widgets/PointerEvents.h"
#include "untImgBtn.h"
#include "untImgSwitch.h"
#include "untTaskList.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

namespace {
using Payloads = QList<QByteArray>;

TTaskRcd Task(quint8 id, bool enable, quint8 code, quint8 output, quint8 mask = 0x7F) {
    TTaskRcd t;
    t.ID = id;
    t.Enable = enable;
    t.LoopStyle = mask ? TTASKLOOPSTYLE::TASK_LOOP_DAY : TTASKLOOPSTYLE::TASK_LOOP_ONE;
    t.StartTime = QDateTime(QDate(2026, 3, 5), QTime(7, 30));
    t.CMD = QByteArray(1, char(code)) + char(output);
    t.Week = WeekDays(mask);
    return t;
}

// A popup whose commands, messages and confirmations are recorded; confirmations wait in
// `answers` until the test answers them.
struct TFixture {
    TTaskPopup popup;
    Payloads sent;
    QStringList messages;
    QList<std::function<void(bool)>> answers;
    QDateTime now{QDate(2026, 3, 5), QTime(14, 3, 30)};
    TFixture() {
        popup.OnSend = [this](const QByteArray& p) { sent.append(p); };
        popup.SetClock([this] { return now; });
        TTaskDialogs dialogs;
        dialogs.Message = [this](const QString& text) { messages.append(text); };
        dialogs.Confirm = [this](const QString& text, std::function<void(bool)> answer) {
            messages.append(text);
            answers.append(std::move(answer));
        };
        popup.SetDialogs(dialogs);
    }
    TNEV_IOTTaskList* list() const { return popup.TaskList(); }
    TTaskEditor* editor() const { return popup.Editor(); }
};

QString Rows(const TNEV_IOTTaskList& list) {
    QStringList rows;
    for (int i = 0; i < list.Count(); ++i) {
        const TNEV_IOTTaskCell* cell = list.TaskCell(i);
        rows << QStringLiteral("%1@%2:%3%4")
                    .arg(cell->TaskID())
                    .arg(cell->y())
                    .arg(cell->Index())
                    .arg(cell->isON() ? '+' : '-');
    }
    return rows.join(' ');
}
} // namespace

class tst_untTaskList : public QObject {
    Q_OBJECT

private slots:
    void weekMaskAndStyle_data();
    void weekMaskAndStyle();
    void weekSwitchesFollowStyle();
    void startTimePrefill_data();
    void startTimePrefill();
    void calendarDay();
    void newTaskSent_data();
    void newTaskSent();
    void unreadableTimeRefused_data();
    void unreadableTimeRefused();
    void timeRefusedOrUnasked();
    void rowCommands();
    void deleteAnsweredAfterRowWent();
    void newestListReplyOnly();
    void rowsAndReplies();
};

void tst_untTaskList::weekMaskAndStyle_data() {
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("style");
    QTest::newRow("no day: once") << 0 << int(TWeekStyle::Once);
    QTest::newRow("all days: everyday") << 127 << int(TWeekStyle::Everyday);
    QTest::newRow("Monday to Friday: weekdays") << 62 << int(TWeekStyle::Weekdays);
    QTest::newRow("Sunday and Saturday: weekends") << 65 << int(TWeekStyle::Weekends);
    QTest::newRow("Sunday only: custom") << 1 << int(TWeekStyle::Custom);
    QTest::newRow("weekdays and Sunday: custom") << 63 << int(TWeekStyle::Custom);
    QTest::newRow("Saturday only: custom") << 64 << int(TWeekStyle::Custom);
}

void tst_untTaskList::weekMaskAndStyle() {
    QFETCH(int, mask);
    QFETCH(int, style);
    const TBools7 days = WeekDays(quint8(mask));
    QCOMPARE(days[0], bool(mask & 1)); // bit 0 is Sunday
    QCOMPARE(int(WeekStyleOfDays(days)), style);
    const auto back = DaysOfWeekStyle(TWeekStyle(style));
    QCOMPARE(back.has_value(), style != int(TWeekStyle::Custom));
    if (back)
        QCOMPARE(int(WeekMask(*back)), mask);

    // The same through the editor: switching the days by hand shows the style.
    TTaskEditor editor;
    for (int d = 0; d < 7; ++d)
        if (editor.WeekSwitch(d)->isON() != days[d])
            pointer::Click(editor.WeekSwitch(d));
    QCOMPARE(int(editor.WeekStyle()), style);
    QCOMPARE(int(WeekMask(editor.Week())), mask);
}

void tst_untTaskList::weekSwitchesFollowStyle() {
    TTaskEditor editor;
    QComboBox* box = editor.WeekStyleBox();
    auto choose = [box](TWeekStyle style) {
        box->setCurrentIndex(int(style));
        emit box->activated(int(style));
    };
    choose(TWeekStyle::Weekdays);
    QCOMPARE(int(WeekMask(editor.Week())), 62);
    pointer::Click(editor.WeekSwitch(0));
    QCOMPARE(editor.WeekStyle(), TWeekStyle::Custom);
    pointer::Click(editor.WeekSwitch(0));
    QCOMPARE(editor.WeekStyle(), TWeekStyle::Weekdays);
    choose(TWeekStyle::Custom); // keeps the days
    QCOMPARE(int(WeekMask(editor.Week())), 62);
    choose(TWeekStyle::Once);
    QCOMPARE(int(WeekMask(editor.Week())), 0);
    editor.DateTimeEdit()->setText(QStringLiteral("2026-03-05 14:05"));
    const std::optional<TTaskRcd> task = editor.AddTask(1);
    QVERIFY(task);
    QCOMPARE(task->LoopStyle, TTASKLOOPSTYLE::TASK_LOOP_ONE);
}

void tst_untTaskList::startTimePrefill_data() {
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("text");
    QTest::newRow("seconds are not shown")
        << QDateTime(QDate(2026, 3, 5), QTime(14, 3, 30)) << "2026-03-05 14:05";
    QTest::newRow("before midnight: next day")
        << QDateTime(QDate(2026, 3, 5), QTime(23, 59)) << "2026-03-06 00:01";
    QTest::newRow("31 December: next year")
        << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 10)) << "2027-01-01 00:01";
}

void tst_untTaskList::startTimePrefill() {
    QFETCH(QDateTime, now);
    QFETCH(QString, text);
    TFixture f;
    f.now = now;
    f.popup.Open(0);
    f.editor()->DateTimeEdit()->setText(QStringLiteral("stale"));
    pointer::Click(f.popup.AddButton());
    QVERIFY(f.editor()->isVisible());
    QCOMPARE(f.editor()->DateTimeEdit()->text(), text);
}

void tst_untTaskList::calendarDay() {
    TTaskEditor editor;
    editor.DateTimeEdit()->setText(QStringLiteral("2026-03-05 14:05"));
    editor.Calendar()->show();
    emit editor.Calendar()->clicked(QDate(2026, 5, 1));
    QCOMPARE(editor.DateTimeEdit()->text(), QStringLiteral("2026-05-01 00:02"));
    QVERIFY(!editor.Calendar()->isVisible());
}

void tst_untTaskList::newTaskSent_data() {
    QTest::addColumn<int>("outIndex");
    QTest::addColumn<int>("action"); // radio button 1 on, 2 off, 3 reverse
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QByteArray>("cmd");
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("loop");
    const int day = int(TTASKLOOPSTYLE::TASK_LOOP_DAY), one = int(TTASKLOOPSTYLE::TASK_LOOP_ONE);
    QTest::newRow("on, everyday, output 1") << 0 << 1 << int(TWeekStyle::Everyday) << "2026-03-05 14:05"
                                            << TNEV_GPIOAPI::Out_Set_ON(1) << 127 << day;
    QTest::newRow("off, weekends, output 5") << 4 << 2 << int(TWeekStyle::Weekends) << "2026-3-7 8:00"
                                             << TNEV_GPIOAPI::Out_Set_OFF(5) << 65 << day;
    QTest::newRow("reverse, once, output 3") << 2 << 3 << int(TWeekStyle::Once) << " 2027-01-01 00:01 "
                                             << TNEV_GPIOAPI::Out_Set_NOT(3) << 0 << one;
}

void tst_untTaskList::newTaskSent() {
    QFETCH(int, outIndex);
    QFETCH(int, action);
    QFETCH(int, style);
    QFETCH(QString, time);
    QFETCH(QByteArray, cmd);
    QFETCH(int, mask);
    QFETCH(int, loop);
    TFixture f;
    f.popup.Open(outIndex);
    QCOMPARE(f.sent, Payloads{TNEV_GPIOAPI::Task_Get_List(quint8(outIndex + 1))});
    f.popup.PopClick(TTaskPopup::TagAdd);
    f.editor()->Ctrl(action)->setChecked(true);
    f.editor()->WeekStyleBox()->setCurrentIndex(style);
    emit f.editor()->WeekStyleBox()->activated(style);
    f.editor()->DateTimeEdit()->setText(time);
    pointer::Click(f.editor()->Yes());
    QVERIFY(!f.editor()->isVisible());
    QCOMPARE(f.sent.size(), 2);
    QCOMPARE(f.sent[1], TNEV_GPIOAPI::Task_Set_Time(f.now));

    f.popup.TaskSetTimeReply(true);
    QCOMPARE(f.sent.size(), 3);
    TTaskRcd expected;
    expected.Enable = true;
    expected.StartTime = *ReadStartTime(time);
    expected.CMD = cmd;
    expected.Week = WeekDays(quint8(mask));
    expected.LoopStyle = TTASKLOOPSTYLE(loop);
    QCOMPARE(f.sent[2], TNEV_GPIOAPI::Task_Set_Add(expected));
    QCOMPARE(f.popup.PendingTask().has_value(), false);
    // A second confirmation of the clock sends nothing more.
    f.popup.TaskSetTimeReply(true);
    QCOMPARE(f.sent.size(), 3);
    QVERIFY(f.messages.isEmpty());
}

void tst_untTaskList::unreadableTimeRefused_data() {
    QTest::addColumn<QString>("time");
    QTest::newRow("empty") << "";
    QTest::newRow("words") << "tomorrow at noon";
    QTest::newRow("no such day") << "2026-02-30 10:00";
    QTest::newRow("no such hour") << "2026-03-05 25:00";
    QTest::newRow("before the board's clock") << "1969-12-31 23:59";
    QTest::newRow("past the board's clock") << "2107-01-01 00:00";
    QTest::newRow("seconds are not asked for") << "2026-03-05 14:05:30";
}

void tst_untTaskList::unreadableTimeRefused() {
    QFETCH(QString, time);
    TFixture f;
    f.popup.Open(1);
    f.sent.clear();
    f.popup.PopClick(TTaskPopup::TagAdd);
    f.editor()->DateTimeEdit()->setText(time);
    f.popup.PopClick(TTaskEditor::TagOK);
    QCOMPARE(f.messages, QStringList{"Inpu time is not a valid data and time!"});
    QVERIFY(f.sent.isEmpty());
    QVERIFY(f.editor()->isVisible()); // left open for a correction
    f.popup.TaskSetTimeReply(true);
    QVERIFY(f.sent.isEmpty());
}

void tst_untTaskList::timeRefusedOrUnasked() {
    TFixture f;
    f.popup.TaskSetTimeReply(true); // no task asked for
    QVERIFY(f.sent.isEmpty());
    f.popup.Open(0);
    f.popup.PopClick(TTaskPopup::TagAdd);
    f.popup.PopClick(TTaskEditor::TagOK);
    f.popup.TaskSetTimeReply(false);
    QCOMPARE(f.messages, QStringList{"Failed to set the time, please check your hardware!"});
    QCOMPARE(f.sent.size(), 2); // list request and clock, no task
    // Cancel and the close icon only hide the editor.
    f.popup.PopClick(TTaskPopup::TagAdd);
    pointer::Click(f.editor()->CloseIcon());
    QVERIFY(!f.editor()->isVisible());
    QVERIFY(f.popup.isVisible());
    QCOMPARE(f.sent.size(), 2);
}

void tst_untTaskList::rowCommands() {
    TFixture f;
    f.popup.Open(0);
    f.popup.TaskListReply(2, {Task(7, true, 2, 1), Task(9, false, 1, 1)});
    f.sent.clear();
    pointer::Click(f.list()->TaskCell(0)->ImgSwh_State());
    pointer::Click(f.list()->TaskCell(1)->ImgSwh_State());
    QCOMPARE(f.sent, (Payloads{TNEV_GPIOAPI::Task_Set_State(7, TTASKSTATE::TASK_STATE_OFF),
                               TNEV_GPIOAPI::Task_Set_State(9, TTASKSTATE::TASK_STATE_ON)}));
    QVERIFY(f.list()->TaskCell(0)->isON()); // only the board's reply changes the row
    f.sent.clear();
    pointer::Click(f.list()->TaskCell(1)->ImgBtn_DeL());
    pointer::Click(f.list()->TaskCell(0)->ImgBtn_DeL());
    QCOMPARE(f.messages, (QStringList{"Are you sure to remove?", "Are you sure to remove?"}));
    f.answers[0](true);
    f.answers[1](false);
    QCOMPARE(f.sent, Payloads{TNEV_GPIOAPI::Task_Set_State(9, TTASKSTATE::TASK_STATE_DEL)});
    QCOMPARE(f.list()->Count(), 2);
}

void tst_untTaskList::deleteAnsweredAfterRowWent() {
    TFixture f;
    f.popup.Open(0);
    f.popup.TaskListReply(1, {Task(4, true, 2, 1)});
    f.sent.clear();
    pointer::Click(f.list()->TaskCell(0)->ImgBtn_DeL());
    f.popup.PopClick(TTaskPopup::TagClose); // the list is emptied while the box is open
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    f.answers[0](true);
    QVERIFY(f.sent.isEmpty());
}

void tst_untTaskList::newestListReplyOnly() {
    TFixture f;
    f.popup.TaskListReply(1, {Task(1, true, 2, 1)}); // nothing asked, popup closed
    QCOMPARE(f.list()->Count(), 0);
    f.popup.Open(0);
    f.popup.Close();
    f.popup.Open(2);
    QCOMPARE(f.popup.OutIndex(), 2);
    f.popup.TaskListReply(1, {Task(1, true, 2, 1)}); // the answer for output 1, late
    QCOMPARE(f.list()->Count(), 0);
    f.popup.TaskListReply(2, {Task(5, true, 2, 3), Task(6, false, 1, 3)});
    QCOMPARE(Rows(*f.list()), QStringLiteral("5@0:0+ 6@80:1-"));
    f.popup.TaskListReply(0, {}); // an empty answer leaves the rows
    QCOMPARE(f.list()->Count(), 2);
    // A request that is never answered does not block the next opening once forgotten.
    f.popup.Open(1);
    f.popup.ForgetRequests();
    f.popup.Open(1);
    f.popup.TaskListReply(1, {Task(8, true, 2, 2)});
    QCOMPARE(Rows(*f.list()), QStringLiteral("8@0:0+"));
    // Closed: replies are not shown.
    f.popup.Close();
    f.popup.TaskListReply(1, {Task(8, true, 2, 2)});
    QCOMPARE(f.list()->Count(), 0);
}

void tst_untTaskList::rowsAndReplies() {
    TFixture f;
    f.popup.Open(0);
    f.popup.TaskListReply(
        4, {Task(1, true, 2, 1), Task(2, true, 1, 1, 0), Task(2, true, 9, 1), Task(3, false, 3, 1)});
    QCOMPARE(f.list()->TaskCell(0)->CMDText(), QStringLiteral("Turn ON"));
    QCOMPARE(f.list()->TaskCell(1)->CMDText(), QStringLiteral("Turn OFF"));
    QCOMPARE(f.list()->TaskCell(2)->CMDText(), QString()); // unknown command code
    QCOMPARE(f.list()->TaskCell(3)->CMDText(), QStringLiteral("Turn Reverse"));
    QCOMPARE(f.list()->TaskCell(0)->DatetimeText(), QStringLiteral("2026-03-05 07:30"));
    QVERIFY(!f.list()->TaskCell(1)->DayMark(3)->isON());
    QVERIFY(f.list()->TaskCell(0)->DayMark(3)->isON());
    f.popup.TaskStateReply(2, TTASKSTATE::TASK_STATE_OFF); // two rows with id 2: the upper one
    QCOMPARE(Rows(*f.list()), QStringLiteral("1@0:0+ 2@80:1- 2@160:2+ 3@240:3-"));
    f.popup.TaskStateReply(2, TTASKSTATE::TASK_STATE_DEL);
    QCOMPARE(Rows(*f.list()), QStringLiteral("1@0:0+ 2@80:1+ 3@160:2-"));
    f.popup.TaskStateReply(42, TTASKSTATE::TASK_STATE_DEL);
    f.list()->Delete(-1);
    f.list()->Delete(3);
    QCOMPARE(f.list()->Count(), 3);
    QVERIFY(!f.list()->TaskCell(3) && !f.list()->TaskCell(-1));
    f.popup.TaskAddReply(0xFF, Task(0, true, 2, 1));
    QCOMPARE(f.messages, QStringList{"Task list was full!"});
    f.popup.TaskAddReply(11, Task(11, true, 2, 1));
    QCOMPARE(Rows(*f.list()), QStringLiteral("1@0:0+ 2@80:1+ 3@160:2- 11@240:3+"));
}

QTEST_MAIN(tst_untTaskList)
#include "tst_untTaskList.moc"
