// The control list: rows for the channel counts, infrared channels added and removed, click tags,
// the held device parameters and the jog-mode press and release.
#include "../widgets/PointerEvents.h"
#include "untIOTCtrlList.h"
#include "untUnderLineLbl.h"

#include <QLabel>
#include <QPointer>
#include <QScrollArea>
#include <QtTest>

namespace {
using Counts = QList<int>; // out, in, pwm, reg, red

struct TClick {
    int Index;
    int Tag;
    TIOTYPE Type;
    bool operator==(const TClick&) const = default;
};
struct TJog {
    int Index;
    bool isOn;
    bool operator==(const TJog&) const = default;
};

// A panel inside an owner window, recording what it reports.
struct TFixture {
    QWidget owner;
    TNEV_IOTCtrlList* list;
    QList<TClick> clicks;
    QList<TJog> jogs;
    TFixture() {
        owner.resize(1024, 680);
        list = new TNEV_IOTCtrlList(&owner);
        list->SetSlideDuration(0);
        list->OnIOTCtrlClick = [this](QObject*, int Index, int Tag, TIOTYPE Type) {
            clicks.append({Index, Tag, Type});
        };
        list->OnIOTJogMode = [this](int Index, bool isOn) { jogs.append({Index, isOn}); };
    }
    void Add(const Counts& c) { list->Add(c[0], c[1], c[2], c[3], c[4]); }
};

// Rows as text: headings in brackets, cells by kind and index.
QString Layout(const TNEV_IOTCtrlList& list) {
    QStringList parts;
    for (int r = 0; r < list.RowCount(); ++r) {
        QWidget* row = list.Row(r);
        if (auto* heading = qobject_cast<QLabel*>(row))
            parts << "[" + heading->text() + "]";
        else if (auto* cell = qobject_cast<TNEV_IOTCtrlCell*>(row))
            parts << QStringLiteral("%1%2")
                         .arg(QStringList{"O", "I", "P", "R", "X"}[int(cell->IOType())])
                         .arg(cell->Index());
    }
    return parts.join(' ');
}

TNEV_IOTCtrlCell* Item(const TNEV_IOTCtrlList& list, TIOTYPE type, int index) {
    switch (type) {
    case TIOTYPE::IO_OUT:
        return list.OutItems(index);
    case TIOTYPE::IO_IN:
        return list.InItems(index);
    case TIOTYPE::IO_PWM:
        return list.PWMItems(index);
    case TIOTYPE::IO_REG:
        return list.REGItems(index);
    case TIOTYPE::IO_Red:
        return list.RedItems(index);
    case TIOTYPE::IO_NIL:
        break;
    }
    return nullptr;
}

// A click where the pointer would hit: the topmost child under the point gets it.
void ClickAt(QWidget* cell, QPoint at) {
    QWidget* target = cell->childAt(at);
    QVERIFY(target);
    pointer::Click(target);
}

QPoint CentreIn(QWidget* cell, QWidget* element) {
    return element->mapTo(cell, element->rect().center());
}
} // namespace

class tst_untIOTCtrlList : public QObject {
    Q_OBJECT

private slots:
    void rowsForCounts_data();
    void rowsForCounts();
    void sameCountsKeepCells();
    void infrared_data();
    void infrared();
    void clickTags_data();
    void clickTags();
    void lockFlipsBeforeEventAndStays();
    void devParamLocksAndMode();
    void jogPressAndRelease_data();
    void jogPressAndRelease();
    void jogReleasedWhenHeldCellGoes_data();
    void jogReleasedWhenHeldCellGoes();
    void slideAndContinuation();
};

void tst_untIOTCtrlList::rowsForCounts_data() {
    QTest::addColumn<Counts>("counts");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("probeType");
    QTest::addColumn<int>("probeIndex");
    QTest::addColumn<int>("probeRow");
    QTest::newRow("all zeros") << Counts{0, 0, 0, 0, 0} << "" << int(TIOTYPE::IO_OUT) << 0 << -1;
    QTest::newRow("inputs only") << Counts{0, 2, 0, 0, 0} << "[Input] I0 I1" << int(TIOTYPE::IO_IN) << 0 << 1;
    QTest::newRow("mixed, infrared at row 10")
        << Counts{3, 2, 1, 0, 1} << "[Output] O0 O1 O2 [Input] I0 I1 [PWM] P0 [Infrared] X0"
        << int(TIOTYPE::IO_Red) << 0 << 10;
    QTest::newRow("registers after outputs")
        << Counts{1, 0, 0, 2, 0} << "[Output] O0 [REG] R0 R1" << int(TIOTYPE::IO_REG) << 1 << 4;
    QTest::newRow("negative counts are none")
        << Counts{-1, 1, -5, 0, 0} << "[Input] I0" << int(TIOTYPE::IO_IN) << 0 << 1;
}

void tst_untIOTCtrlList::rowsForCounts() {
    QFETCH(Counts, counts);
    QFETCH(QString, layout);
    QFETCH(int, probeType);
    QFETCH(int, probeIndex);
    QFETCH(int, probeRow);
    TFixture f;
    f.Add(Counts{2, 2, 2, 2, 2}); // a rebuild replaces whatever was there
    f.Add(counts);
    QCOMPARE(Layout(*f.list), layout);
    TNEV_IOTCtrlCell* probe = Item(*f.list, TIOTYPE(probeType), probeIndex);
    QCOMPARE(probe ? f.list->RowOf(probe) : -1, probeRow);
    // Every getter answers none outside its kind.
    for (int t = 0; t <= int(TIOTYPE::IO_Red); ++t) {
        QVERIFY(!Item(*f.list, TIOTYPE(t), -1));
        QVERIFY(!Item(*f.list, TIOTYPE(t), std::max(0, counts[t])));
    }
}

void tst_untIOTCtrlList::sameCountsKeepCells() {
    TFixture f;
    f.Add({2, 1, 1, 1, 1});
    QPointer<TNEV_IOTOutCtrl> out = f.list->OutItems(1);
    out->SetisOn(true);
    out->SetIOName({3, 0, "Pump"});
    f.list->PWMItems(0)->SetDuty(40);
    f.list->REGItems(0)->SetREG(7.5f);
    f.list->Add(2, 1, 1, 1, 1);
    QCOMPARE(f.list->OutItems(1), out.data());
    QVERIFY(!out->isOn());
    QCOMPARE(out->CtrlName(), QStringLiteral("No name"));
    QCOMPARE(f.list->PWMItems(0)->Duty(), 0);
    QCOMPARE(f.list->REGItems(0)->REGText(), QStringLiteral("0.0"));
    QVERIFY(f.list->RedItems(0)->isStudied());

    f.list->Add(1, 1, 1, 1, 1);
    QVERIFY(f.list->OutItems(0) != out.data());
    QVERIFY(out); // removed rows go later, not inside the caller's handler
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!out);
}

void tst_untIOTCtrlList::infrared_data() {
    QTest::addColumn<int>("startRed");
    QTest::addColumn<QString>("ops"); // +N adds, -N removes (1-based channel numbers)
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("studied"); // per infrared row
    QTest::newRow("add 0 changes nothing") << 0 << "+0"
                                           << "[Output] O0"
                                           << "";
    QTest::newRow("first adds heading, not learned") << 0 << "+1"
                                                     << "[Output] O0 [Infrared] X0"
                                                     << "0";
    QTest::newRow("repeated reply adds once") << 1 << "+2 +2 +1"
                                              << "[Output] O0 [Infrared] X0 X1"
                                              << "10";
    QTest::newRow("a number past the next one") << 1 << "+4 +2"
                                                << "[Output] O0 [Infrared] X0 X1 X3"
                                                << "100";
    QTest::newRow("removing the only one removes heading") << 1 << "-1"
                                                           << "[Output] O0"
                                                           << "";
    QTest::newRow("removing an absent one changes nothing") << 2 << "-5 -0"
                                                            << "[Output] O0 [Infrared] X0 X1"
                                                            << "11";
    QTest::newRow("removing renumbers the rest") << 3 << "-2"
                                                 << "[Output] O0 [Infrared] X0 X1"
                                                 << "11";
    QTest::newRow("remove all then add again") << 1 << "-1 +1"
                                               << "[Output] O0 [Infrared] X0"
                                               << "0";
}

void tst_untIOTCtrlList::infrared() {
    QFETCH(int, startRed);
    QFETCH(QString, ops);
    QFETCH(QString, layout);
    QFETCH(QString, studied);
    TFixture f;
    f.Add({1, 0, 0, 0, startRed});
    for (const QString& op : ops.split(' ')) {
        const int n = op.mid(1).toInt();
        if (op.startsWith('+'))
            f.list->AddRed(quint8(n));
        else
            f.list->RemoveRed(quint8(n));
    }
    QCOMPARE(Layout(*f.list), layout);
    QString shown;
    for (int r = 0; r < f.list->RowCount(); ++r)
        if (auto* red = qobject_cast<TNEV_IOTRedCtrl*>(f.list->Row(r))) {
            shown += red->isStudied() ? '1' : '0';
            QCOMPARE(f.list->RedItems(red->RedIndex()), red);
        }
    QCOMPARE(shown, studied);
    QCOMPARE(f.list->RedCount(), int(studied.size()));
}

void tst_untIOTCtrlList::clickTags_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("element"); // object member of the cell, or a title icon
    QTest::addColumn<int>("tag");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("nowType");
    QTest::addColumn<int>("nowIndex");
    const int out = int(TIOTYPE::IO_OUT), nil = int(TIOTYPE::IO_NIL);
    QTest::newRow("output background") << out << "back" << 0 << 1 << out << 1;
    QTest::newRow("output power") << out << "power" << 1 << 1 << out << 1;
    QTest::newRow("output name") << out << "name" << 2 << 1 << out << 1;
    QTest::newRow("output picture") << out << "picture" << 3 << 1 << out << 1;
    QTest::newRow("output clock") << out << "clock" << 4 << 1 << out << 1;
    QTest::newRow("output lock") << out << "lock" << 9 << 1 << out << 1;
    QTest::newRow("input signal falls to background") << int(TIOTYPE::IO_IN) << "signal" << 0 << 1 << 1 << 1;
    QTest::newRow("PWM frequency") << int(TIOTYPE::IO_PWM) << "hz" << 7 << 1 << 2 << 1;
    QTest::newRow("register value falls to background")
        << int(TIOTYPE::IO_REG) << "value" << 0 << 1 << 3 << 1;
    QTest::newRow("infrared button") << int(TIOTYPE::IO_Red) << "ir" << 10 << 1 << 4 << 1;
    QTest::newRow("infrared edit") << int(TIOTYPE::IO_Red) << "edit" << 11 << 1 << 4 << 1;
    QTest::newRow("title light") << nil << "light" << 5 << -1 << nil << 65535;
    QTest::newRow("title edit") << nil << "titleedit" << 6 << -1 << nil << 65535;
}

void tst_untIOTCtrlList::clickTags() {
    QFETCH(int, type);
    QFETCH(QString, element);
    QFETCH(int, tag);
    QFETCH(int, index);
    QFETCH(int, nowType);
    QFETCH(int, nowIndex);
    TFixture f;
    f.Add({2, 2, 2, 2, 2});
    if (type == int(TIOTYPE::IO_NIL)) {
        pointer::Click(element == "light" ? f.list->Img_Light() : f.list->Img_Edit());
    } else {
        TNEV_IOTCtrlCell* cell = Item(*f.list, TIOTYPE(type), 1);
        QWidget* target = nullptr;
        if (element == "back")
            target = nullptr;
        else if (element == "name")
            target = cell->Lbl_Name();
        else if (element == "picture")
            target = cell->Img_Img();
        else if (element == "power")
            target = f.list->OutItems(1)->Img_Power();
        else if (element == "clock")
            target = f.list->OutItems(1)->Img_Clock();
        else if (element == "lock")
            target = f.list->OutItems(1)->Img_Lock();
        else if (element == "signal")
            target = f.list->InItems(1)->Img_Signal();
        else if (element == "hz")
            target = f.list->PWMItems(1)->Img_HZ();
        else if (element == "value")
            target = f.list->REGItems(1)->Img_Value();
        else if (element == "ir")
            target = f.list->RedItems(1)->Img_IR();
        else if (element == "edit")
            target = f.list->RedItems(1)->Img_Edit();
        ClickAt(cell, target ? CentreIn(cell, target) : QPoint(cell->Img_Back()->x() + 4, 4));
    }
    QCOMPARE(f.clicks, (QList<TClick>{{index, tag, TIOTYPE(nowType)}}));
    QCOMPARE(int(f.list->NowCtrl.IOType), nowType);
    QCOMPARE(int(f.list->NowCtrl.TypeIndex), nowIndex);
}

void tst_untIOTCtrlList::lockFlipsBeforeEventAndStays() {
    TFixture f;
    f.list->SetDevParam({{false, false, false, false, false, true, false, true}, true});
    f.Add({8, 0, 0, 0, 0});
    bool lockSeen = false;
    TBooleans heldSeen;
    f.list->OnIOTCtrlClick = [&](QObject*, int Index, int Tag, TIOTYPE) {
        QCOMPARE(Tag, 9);
        lockSeen = f.list->OutItems(Index)->isLock();
        heldSeen = f.list->GetDevParam().LockArr;
    };
    TNEV_IOTOutCtrl* cell = f.list->OutItems(2);
    ClickAt(cell, CentreIn(cell, cell->Img_Lock()));
    QVERIFY(lockSeen);
    QCOMPARE(heldSeen, (TBooleans{false, false, true, false, false, true, false, true}));
    QVERIFY(f.list->OutItems(2)->Img_LockBlind()->isVisibleTo(cell));
    // A locked output cannot be switched: the veil takes the click on the power picture.
    f.list->OnIOTCtrlClick = [&](QObject*, int, int Tag, TIOTYPE) {
        f.clicks.append({0, Tag, TIOTYPE::IO_OUT});
    };
    ClickAt(cell, CentreIn(cell, cell->Img_Power()));
    QCOMPARE(f.clicks, (QList<TClick>{{0, 0, TIOTYPE::IO_OUT}}));

    // The board's IO goes 8 -> 4 -> 8: the rebuilt rows show the locks as last clicked.
    f.Add({4, 0, 0, 0, 0});
    QVERIFY(f.list->OutItems(2)->isLock());
    QCOMPARE(f.list->GetDevParam().LockArr.size(), 8);
    f.Add({8, 0, 0, 0, 0});
    QString locks;
    for (int i = 0; i < 8; ++i)
        locks += f.list->OutItems(i)->isLock() ? '1' : '0';
    QCOMPARE(locks, QStringLiteral("00100101"));
}

void tst_untIOTCtrlList::devParamLocksAndMode() {
    TFixture f;
    QCOMPARE(f.list->GetDevParam().LockArr, TBooleans{});
    f.Add({3, 0, 0, 0, 0});
    f.list->OutAll(true);
    f.list->SetDevParam({{true}, false}); // shorter than the outputs, jog mode
    QVERIFY(f.list->OutItems(0)->isLock());
    QVERIFY(!f.list->OutItems(1)->isLock() && !f.list->OutItems(2)->isLock());
    QCOMPARE(f.list->GetDevParam().LockArr, (TBooleans{true, false, false}));
    for (int i = 0; i < 3; ++i) {
        QVERIFY(!f.list->OutItems(i)->isOn());
        QVERIFY(!f.list->OutItems(i)->TouchMode());
    }
    // A rebuild applies the held mode to the new cells.
    f.Add({4, 0, 0, 0, 0});
    QVERIFY(!f.list->OutItems(3)->TouchMode());
    QVERIFY(f.list->OutItems(0)->isLock());
}

void tst_untIOTCtrlList::jogPressAndRelease_data() {
    QTest::addColumn<bool>("touch");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("jogs");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QString>("picture");
    QTest::newRow("jog press release") << false << "press release"
                                       << "1+ 1-" << 0 << "Power_OFF";
    QTest::newRow("jog press, leave while held, release") << false << "press dragout releaseout"
                                                          << "1+ 1-" << 0 << "Power_OFF";
    QTest::newRow("jog leave without press") << false << "enter leave"
                                             << "" << 0 << "Power_OFF";
    // In touch mode the pressed look stays until the board answers or the pointer leaves.
    QTest::newRow("touch click") << true << "press release"
                                 << "" << 1 << "Power_HL";
    QTest::newRow("touch click and leave") << true << "press release leave"
                                           << "" << 1 << "Power_OFF";
    QTest::newRow("touch press and leave") << true << "press dragout releaseout"
                                           << "" << 0 << "Power_OFF";
}

void tst_untIOTCtrlList::jogPressAndRelease() {
    QFETCH(bool, touch);
    QFETCH(QString, script);
    QFETCH(QString, jogs);
    QFETCH(int, clicks);
    QFETCH(QString, picture);
    TFixture f;
    f.list->SetDevParam({{}, touch});
    f.Add({2, 0, 0, 0, 0});
    TNEV_IOTOutCtrl* cell = f.list->OutItems(1);
    pointer::Run(cell->Img_Power(), script);
    QStringList seen;
    for (const TJog& j : f.jogs)
        seen << QStringLiteral("%1%2").arg(j.Index).arg(j.isOn ? '+' : '-');
    QCOMPARE(seen.join(' '), jogs);
    QCOMPARE(int(f.clicks.size()), clicks);
    if (clicks)
        QCOMPARE(f.clicks.first(), (TClick{1, 1, TIOTYPE::IO_OUT}));
    QCOMPARE(cell->Img_Power()->PictureName(), picture);
}

void tst_untIOTCtrlList::jogReleasedWhenHeldCellGoes_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("rows rebuilt") << "rebuild";
    QTest::newRow("panel hidden") << "hide";
    QTest::newRow("window loses focus") << "deactivate";
    QTest::newRow("panel destroyed") << "destroy";
}

void tst_untIOTCtrlList::jogReleasedWhenHeldCellGoes() {
    QFETCH(QString, how);
    TFixture f;
    f.list->SetDevParam({{}, false});
    f.Add({2, 0, 0, 0, 0});
    f.owner.show();
    f.list->SetAppeared(true);
    QVERIFY(QTest::qWaitForWindowExposed(&f.owner));
    pointer::Press(f.list->OutItems(0)->Img_Power());
    QCOMPARE(f.jogs, (QList<TJog>{{0, true}}));
    if (how == "rebuild") {
        f.Add({3, 0, 0, 0, 0});
    } else if (how == "hide") {
        f.owner.hide();
    } else if (how == "deactivate") {
        f.owner.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.owner));
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_COMPARE(f.jogs.size(), 2);
    } else {
        delete f.list;
    }
    QCOMPARE(f.jogs, (QList<TJog>{{0, true}, {0, false}}));
}

void tst_untIOTCtrlList::slideAndContinuation() {
    TFixture f;
    f.owner.show();
    QCOMPARE(f.list->x(), 1024);
    int waited = 0;
    f.list->SetAppearedWait(true, [&] { ++waited; });
    QTRY_COMPARE(waited, 1);
    QCOMPARE(f.list->x(), 1024 - TNEV_IOTCtrlList::PanelWidth);
    f.list->SetAppearedWait(true, [&] { ++waited; }); // already there: goes on at once
    QCOMPARE(waited, 2);
    f.owner.resize(1200, 700);
    QCOMPARE(f.list->geometry(),
             QRect(1200 - TNEV_IOTCtrlList::PanelWidth, 0, TNEV_IOTCtrlList::PanelWidth, 700));
    // A continuation that destroys the panel ends the slide's work safely.
    f.list->SetAppearedWait(false, [&] { delete f.list; });
    QTRY_VERIFY(f.owner.findChildren<TNEV_IOTCtrlList*>().isEmpty());
}

QTEST_MAIN(tst_untIOTCtrlList)
#include "tst_untIOTCtrlList.moc"
