#include "SimBoard.h"

#include <QPointer>
#include <QTimeZone>

#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcBoardSim, "quillet.boardsim")

namespace sim {

namespace {

constexpr quint8 KindOut = 0, KindIn = 1, KindPwm = 2, KindReg = 3, KindIr = 4;
constexpr int DayS = 86400;

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values)
        b.append(char(v & 0xFF));
    return b;
}

QByteArray Time4(quint32 t) {
    return Bytes({int(t >> 24), int(t >> 16), int(t >> 8), int(t)});
}

quint32 ReadTime4(const QByteArray& b, int at) {
    return (quint32(quint8(b.at(at))) << 24) | (quint32(quint8(b.at(at + 1))) << 16) |
           (quint32(quint8(b.at(at + 2))) << 8) | quint32(quint8(b.at(at + 3)));
}

QByteArray Bits(const QList<bool>& states) {
    QByteArray b(std::max<qsizetype>(1, (states.size() + 7) / 8), '\0');
    for (qsizetype i = 0; i < states.size(); ++i)
        if (states.at(i))
            b[i / 8] = char(quint8(b.at(i / 8)) | (1u << (i % 8)));
    return b;
}

QByteArray StripZeros(QByteArray b) {
    while (!b.isEmpty() && b.back() == '\0')
        b.chop(1);
    return b;
}

Channel DefaultChannel(const char* prefix, int number) {
    Channel c;
    c.name = QByteArray(prefix) + ' ' + QByteArray::number(number);
    return c;
}

qint64 LocalWallSeconds() {
    const QDateTime now = QDateTime::currentDateTime();
    return QDateTime(now.date(), now.time(), QTimeZone::utc()).toSecsSinceEpoch();
}

} // namespace

QByteArray EncodeReg(double value) {
    int tenths = int(std::lround(std::abs(value) * 10.0));
    tenths = std::min(tenths, value < 0 ? 32767 : 32768);
    const int v = value < 0 && tenths > 0 ? 32768 + tenths : tenths;
    return Bytes({v >> 8, v});
}

quint32 Task::start() const {
    return ReadTime4(bytes, 1);
}

Board::Board(BoardConfig config, QObject* parent) : QObject(parent), FCfg(std::move(config)) {
    FName = FCfg.name.toUtf8().left(16);
    FName.append(QByteArray(16 - FName.size(), '\0'));
    FPassword = FCfg.password;
    for (int i = 0; i < FCfg.ir; ++i)
        FIr.append({DefaultChannel("IR", i + 1), true});
    for (auto& slot : FIr)
        slot.name.beiYong = 1;
    ResizeChannels();
    for (qsizetype i = 0; i < FIn.size() && i < FCfg.inputs.size(); ++i)
        FIn[i] = FCfg.inputs.at(i) == QLatin1Char('1');
    for (qsizetype i = 0; i < FReg.size() && i < FCfg.regValues.size(); ++i)
        FReg[i] = FCfg.regValues.at(i);

    FTaskTimer.setSingleShot(true);
    FTaskTimer.setTimerType(Qt::PreciseTimer);
    connect(&FTaskTimer, &QTimer::timeout, this, &Board::RunDueTasks);
    FLastTaskCheck = Now();

    if (FCfg.inputsChangeMs > 0) {
        connect(&FInputTimer, &QTimer::timeout, this, &Board::StepInputs);
        FInputTimer.start(FCfg.inputsChangeMs);
    }
}

QString Board::MacText() const {
    return MACBufToStr(FCfg.mac);
}

QByteArray Board::Name16() const {
    return FName;
}

void Board::ResizeChannels() {
    FOut.resize(FCfg.out);
    FIn.resize(FCfg.in);
    FPwm.resize(FCfg.pwm);
    const qsizetype oldRegs = FReg.size();
    FReg.resize(FCfg.reg);
    for (qsizetype i = oldRegs; i < FReg.size(); ++i)
        FReg[i] = 25.0 + double(i) * 1.5;
    const auto fill = [](QList<Channel>& names, int count, const char* prefix) {
        while (names.size() > count)
            names.removeLast();
        while (names.size() < count)
            names.append(DefaultChannel(prefix, int(names.size()) + 1));
    };
    fill(FOutNames, FCfg.out, "Out");
    fill(FInNames, FCfg.in, "In");
    fill(FPwmNames, FCfg.pwm, "PWM");
    fill(FRegNames, FCfg.reg, "REG");
}

QByteArray Board::SearchAnswer(const QHostAddress& ip) const {
    TUDPRcvRcd r;
    r.Head = {0xFF, 0x24, 0x01};
    r.DevType = FCfg.type;
    r.DevID = FCfg.ctrl;
    const quint32 v4 = ip.toIPv4Address();
    r.DevIP = {quint8(v4 >> 24), quint8(v4 >> 16), quint8(v4 >> 8), quint8(v4)};
    r.DevMAC = FCfg.mac;
    r.SoftVer = FCfg.softVer;
    r.HardVer = FCfg.hardVer;
    std::copy_n(reinterpret_cast<const quint8*>(FName.constData()), 16, r.DevName.begin());
    QByteArray b = r.ToBytes();
    quint8 sum = 0;
    for (int i = 0; i < 35; ++i)
        sum = quint8(sum + quint8(b.at(i)));
    b[35] = char(quint8(0x100 - sum));
    return b;
}

quint32 Board::Now() const {
    return quint32(LocalWallSeconds() + FClockOffset);
}

QList<Channel>* Board::NamesOf(quint8 kind) {
    switch (kind) {
    case KindOut:
        return &FOutNames;
    case KindIn:
        return &FInNames;
    case KindPwm:
        return &FPwmNames;
    case KindReg:
        return &FRegNames;
    default:
        return nullptr;
    }
}

QByteArray Board::NameRecord(const Channel& c) const {
    QByteArray r = Bytes({c.ctrlType, c.beiYong});
    r.append(c.name.left(12));
    r.append(QByteArray(14 - r.size(), '\0'));
    return r;
}

QByteArray Board::IoReply(quint8 code) const {
    return Bytes({code, FCfg.out, FCfg.in, FCfg.pwm, FCfg.reg, int(FIr.size())});
}

void Board::SetOutput(int index, bool on) {
    if (FOut.at(index) != on)
        qCDebug(lcBoardSim).noquote() << MacText() << "output" << index + 1 << (on ? "on" : "off");
    FOut[index] = on;
}

bool Board::RunOutputCommand(const QByteArray& cmd) {
    if (cmd.size() < 2)
        return false;
    const int code = quint8(cmd.at(0)), n = quint8(cmd.at(1));
    if (code < 1 || code > 3 || n < 1 || n > FOut.size())
        return false;
    SetOutput(n - 1, code == 2 || (code == 3 && !FOut.at(n - 1)));
    return true;
}

void Board::StepInputs() {
    // A binary counter over the inputs, input 1 the lowest bit.
    for (qsizetype i = 0; i < FIn.size(); ++i) {
        FIn[i] = !FIn.at(i);
        if (FIn.at(i))
            break;
    }
}

void Board::HandleRequest(const QByteArray& payload, QObject* context, const ReplySink& reply) {
    if (payload.isEmpty())
        return;
    const quint8 code = quint8(payload.at(0));
    if (FCfg.faults.ignore.contains(code)) {
        qCDebug(lcBoardSim).noquote() << MacText() << "ignores" << payload.toHex(' ');
        return;
    }
    const QByteArray answer =
        FCfg.faults.refuseCodes.contains(code) ? Bytes({0xFF, code}) : Handle(payload, context, reply);
    qCDebug(lcBoardSim).noquote() << MacText() << "<" << payload.toHex(' ') << ">" << answer.toHex(' ');
    if (!answer.isEmpty())
        reply(answer);
}

QByteArray Board::Handle(const QByteArray& p, QObject* context, const ReplySink& reply) {
    const quint8 c = quint8(p.at(0));
    const qsizetype n = p.size();
    const auto arg = [&](int i) { return i < n ? int(quint8(p.at(i))) : -1; };
    const QByteArray refuse = Bytes({0xFF, c});
    const int r = c | 0x80;

    switch (c) {
    case 0x01:
    case 0x02:
    case 0x03: {
        const int ch = arg(1);
        if (n != 2 || ch < 1 || ch > FOut.size())
            return refuse;
        RunOutputCommand(p);
        return Bytes({r, ch, FOut.at(ch - 1) ? 1 : 0});
    }
    case 0x04:
    case 0x05:
        if (n != 1)
            return refuse;
        for (qsizetype i = 0; i < FOut.size(); ++i)
            SetOutput(int(i), c == 0x05);
        return Bytes({r, c == 0x05 ? 1 : 0});
    case 0x0A:
        return n == 1 ? Bytes({r}) + Bits(FOut) : refuse;
    case 0x14:
        return n == 1 ? Bytes({r}) + Bits(FIn) : refuse;
    case 0x22: {
        const int ch = arg(1), duty = arg(2);
        if (n != 3 || ch < 1 || ch > FPwm.size() || duty > 100)
            return refuse;
        FPwm[ch - 1].duty = quint8(duty);
        return Bytes({r, ch, duty});
    }
    case 0x24: {
        if (n != 1)
            return refuse;
        QByteArray b = Bytes({r});
        for (const Pwm& pw : FPwm)
            b += Bytes({pw.duty, pw.hz >> 8, pw.hz});
        return b;
    }
    case 0x28:
        if (n != 1)
            return refuse;
        if (FIr.size() >= FCfg.irSlots)
            return Bytes({r, 0xFF});
        FIr.append({DefaultChannel("IR", int(FIr.size()) + 1), false});
        return Bytes({r, int(FIr.size())});
    case 0x29: {
        const int ch = arg(1), passes = arg(2);
        if (n != 3 || passes < 1 || passes > 3)
            return refuse;
        if (ch < 1 || ch > FIr.size())
            return Bytes({r, ch, 2});
        const quint8 result = FCfg.irResult;
        QPointer<Board> self(this);
        QTimer::singleShot(FCfg.irDelayMs, context, [self, ch, result, reply] {
            if (!self)
                return;
            if (result == 1 && ch <= self->FIr.size()) {
                self->FIr[ch - 1].learned = true;
                self->FIr[ch - 1].name.beiYong |= 1;
            }
            const QByteArray done = Bytes({0xA9, ch, result});
            qCDebug(lcBoardSim).noquote() << self->MacText() << "> (learning)" << done.toHex(' ');
            reply(done);
        });
        return Bytes({r, ch, 0});
    }
    case 0x2A: {
        const int ch = arg(1);
        if (n != 2)
            return refuse;
        return Bytes({r, ch, ch >= 1 && ch <= FIr.size() && FIr.at(ch - 1).learned ? 1 : 0});
    }
    case 0x2B: {
        const int ch = arg(1);
        if (n != 2)
            return refuse;
        if (ch < 1 || ch > FIr.size())
            return Bytes({r, ch, 0});
        FIr.removeAt(ch - 1);
        return Bytes({r, ch, 1});
    }
    case 0x32: {
        const int ch = arg(1);
        if (n != 4 || ch < 1 || ch > FPwm.size())
            return refuse;
        const int hz = arg(2) * 256 + arg(3);
        if (hz == 0)
            return refuse;
        FPwm[ch - 1].hz = quint16(hz);
        return Bytes({r, ch, hz >> 8, hz});
    }
    case 0x40: {
        if (n != 1)
            return refuse;
        QByteArray b = Bytes({r});
        const double drift = FCfg.regDrift ? 0.1 * (FDriftStep++ % 10) : 0.0;
        for (double v : FReg)
            b += EncodeReg(v + drift);
        return b;
    }
    case 0x50: {
        const int ch = arg(1);
        if (n != 2)
            return refuse;
        QByteArray list;
        int count = 0;
        for (const Task& t : FTasks) {
            if (t.output() == ch) {
                list += char(t.id) + t.bytes;
                ++count;
            }
        }
        return Bytes({r, count}) + list;
    }
    case 0x51: {
        if (n != 11)
            return refuse;
        Task t;
        t.bytes = p.mid(1);
        const int action = quint8(t.bytes.at(5));
        if (t.loop() > 4 || action < 1 || action > 3 || t.output() < 1 || t.output() > FOut.size())
            return refuse;
        if (FTasks.size() >= FCfg.taskSlots)
            return Bytes({r, 0xFF}) + t.bytes;
        for (int id = 1; id < 255; ++id) {
            if (std::none_of(FTasks.cbegin(), FTasks.cend(), [id](const Task& x) { return x.id == id; })) {
                t.id = quint8(id);
                break;
            }
        }
        if (t.id == 0)
            return Bytes({r, 0xFF}) + t.bytes;
        FTasks.append(t);
        ScheduleTasks();
        return Bytes({r, t.id}) + t.bytes;
    }
    case 0x52: {
        const int id = arg(1), state = arg(2);
        const auto it =
            std::find_if(FTasks.begin(), FTasks.end(), [id](const Task& t) { return t.id == id; });
        if (n != 3 || state < 1 || state > 3 || it == FTasks.end())
            return refuse;
        if (state == 3)
            FTasks.erase(it);
        else
            it->bytes[0] =
                char(state == 1 ? (quint8(it->bytes.at(0)) | 0x80) : (quint8(it->bytes.at(0)) & 0x7F));
        ScheduleTasks();
        return Bytes({r, id, state});
    }
    case 0x53:
        return n == 1 ? Bytes({r}) + Time4(Now()) : refuse;
    case 0x54: {
        if (n != 5)
            return refuse;
        const quint32 t = ReadTime4(p, 1);
        FClockOffset = qint64(t) - LocalWallSeconds();
        FLastTaskCheck = t;
        ScheduleTasks();
        return Bytes({r, 1}) + Time4(t);
    }
    case 0x60: {
        if (n != 17)
            return refuse;
        const int kind = arg(1), ch = arg(2);
        Channel rec;
        rec.ctrlType = quint8(arg(3));
        rec.beiYong = quint8(arg(4));
        rec.name = StripZeros(p.mid(5, 12));
        Channel* target = nullptr;
        if (kind == KindIr) {
            if (ch >= 1 && ch <= FIr.size()) {
                rec.beiYong = quint8((rec.beiYong & ~1) | (FIr.at(ch - 1).learned ? 1 : 0));
                target = &FIr[ch - 1].name;
            }
        } else if (QList<Channel>* names = NamesOf(quint8(kind)); names && ch >= 1 && ch <= names->size()) {
            target = &(*names)[ch - 1];
        }
        if (!target)
            return refuse;
        *target = rec;
        return Bytes({r, kind, ch}) + NameRecord(rec);
    }
    case 0x63: {
        if (n != 1)
            return refuse;
        QByteArray b = Bytes({r});
        for (const auto* names : {&FOutNames, &FInNames, &FPwmNames, &FRegNames})
            for (const Channel& ch : *names)
                b += NameRecord(ch);
        for (const IrSlot& slot : FIr)
            b += NameRecord(slot.name);
        return b;
    }
    case 0x72: {
        if (n != 5 || !(FCfg.ctrl & 0x02))
            return refuse;
        const int x = arg(1), y = arg(2), z = arg(3), k = arg(4);
        if (x + y > 24 || z > 2 || k > FCfg.maxReg)
            return refuse;
        FCfg.out = x;
        FCfg.in = y;
        FCfg.pwm = z;
        FCfg.reg = k;
        ResizeChannels();
        return IoReply(quint8(r));
    }
    case 0x73: {
        if (n != 13)
            return refuse;
        const QByteArray oldPw = StripZeros(p.mid(1, 6)), newPw = StripZeros(p.mid(7, 6));
        const bool ok = oldPw == FPassword && !newPw.isEmpty();
        if (ok)
            FPassword = newPw;
        return Bytes({r, ok ? 1 : 0});
    }
    case 0x74:
        if (n != 17 || StripZeros(p.mid(1)).isEmpty())
            return refuse;
        FName = p.mid(1, 16);
        return Bytes({r}) + FName;
    case 0x75: // name query (used by the relay to learn the board's name)
        return n == 1 ? Bytes({r}) + FName : refuse;
    case 0x7A:
        if (n != 1)
            return refuse;
        FSaved = Bits(FOut);
        return Bytes({r});
    case 0x7E:
        return n == 1 ? IoReply(quint8(r)) : refuse;
    default:
        return refuse;
    }
}

std::optional<quint32> Board::NextRun(const Task& t, quint32 after) const {
    const quint32 start = t.start();
    switch (t.loop()) {
    case 0:
        return start > after ? std::optional(start) : std::nullopt;
    case 1:
    case 2: {
        const quint32 step = t.loop() == 1 ? 60 : 3600;
        if (start > after)
            return start;
        return start + ((after - start) / step + 1) * step;
    }
    case 3: {
        const quint32 tod = start % DayS;
        const quint32 firstDay = std::max(start / DayS, after / DayS);
        for (quint32 d = firstDay; d < firstDay + 8; ++d) {
            const quint32 at = d * DayS + tod;
            const int weekday = int((d + 4) % 7); // 1970-01-01 was a Thursday; 0 = Sunday
            if (at > after && at >= start && (t.week() == 0 || (t.week() >> weekday) & 1))
                return at;
        }
        return std::nullopt;
    }
    case 4: {
        const QDateTime s = QDateTime::fromSecsSinceEpoch(start, QTimeZone::utc());
        for (int k = 0; k < 1200; ++k) {
            const qint64 at = s.addMonths(k).toSecsSinceEpoch();
            if (at > qint64(after))
                return quint32(at);
        }
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

void Board::ScheduleTasks() {
    std::optional<quint32> next;
    for (const Task& t : FTasks) {
        if (!t.enabled())
            continue;
        if (const auto at = NextRun(t, FLastTaskCheck); at && (!next || *at < *next))
            next = at;
    }
    if (!next) {
        FTaskTimer.stop();
        return;
    }
    const qint64 waitS = std::clamp<qint64>(qint64(*next) - qint64(Now()), 0, 3600);
    FTaskTimer.start(int(waitS * 1000));
}

void Board::RunDueTasks() {
    const quint32 now = Now();
    for (Task& t : FTasks) {
        if (!t.enabled())
            continue;
        const auto at = NextRun(t, FLastTaskCheck);
        if (!at || *at > now)
            continue;
        qCDebug(lcBoardSim).noquote() << MacText() << "runs task" << t.id;
        RunOutputCommand(t.bytes.mid(5, 4));
        if (t.loop() == 0)
            t.bytes[0] = char(quint8(t.bytes.at(0)) & 0x7F);
    }
    FLastTaskCheck = now;
    ScheduleTasks();
}

} // namespace sim
