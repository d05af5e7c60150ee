// The reply decoder on arbitrary payloads with every handler attached: no crash, no read outside
// the payload, at most one event per payload, and no event for a payload it refuses; and the
// rule that matches a reply to its request on arbitrary request and reply bytes.
#include "nevGPIOAPI.h"

#include <algorithm>
#include <cstdlib>

namespace {

int events = 0;
size_t sink = 0;

void Touch(const QString& s) {
    sink += size_t(s.size());
}
void Touch(const TIOName& n) {
    sink += n.CtrlType + n.BeiYong + size_t(n.Name.size());
}
void Touch(const TTaskRcd& t) {
    sink +=
        t.ID + size_t(t.CMD.size()) + size_t(t.StartTime.isValid()) + size_t(t.Week[6]) + size_t(t.LoopStyle);
}

TNEV_GPIOAPI MakeAPI() {
    TNEV_GPIOAPI a;
    a.OnData_Incompatible = [](quint8 c) { ++events, sink += c; };
    a.OnOut_One = [](quint8 c, quint8 n, bool on) { ++events, sink += c + n + on; };
    a.OnOut_All = [](quint8 c, bool on) { ++events, sink += c + on; };
    a.OnOut_Bools = [](quint8 c, const TBools& b) { ++events, sink += c + size_t(b.count(true)); };
    a.OnIn_All = [](quint8 c, const TBools& b) { ++events, sink += c + size_t(b.count(true)); };
    a.OnPWM_Duty_All = [](quint8 c, std::span<const quint8> d, int count) {
        ++events;
        if (d.size() != size_t(count))
            std::abort();
        for (const quint8 x : d)
            sink += x + c;
    };
    a.OnPWM_Duty_One = [](quint8 c, quint8 n, quint8 d) { ++events, sink += c + n + d; };
    a.OnPWM_All = [](quint8 c, const TPWMs& p) {
        ++events;
        for (const TPWM& x : p)
            sink += c + x.Duty + x.HZ;
    };
    a.OnPWM_HZ_All = [](quint8 c, const THZs& h) {
        ++events;
        for (const quint16 x : h)
            sink += c + x;
    };
    a.OnPWM_HZ_One = [](quint8 c, quint8 n, quint16 hz) { ++events, sink += c + n + hz; };
    a.OnRed_Create = [](quint8 c, quint8 n) { ++events, sink += c + n; };
    a.OnRed_Study = [](quint8 c, quint8 n, quint8 m) { ++events, sink += c + n + m; };
    a.OnRed_Send = [](quint8 c, quint8 n, quint8 m) { ++events, sink += c + n + m; };
    a.OnRed_Remove = [](quint8 c, quint8 n, quint8 m) { ++events, sink += c + n + m; };
    a.OnRed_Clear = [](quint8 c, quint8 m) { ++events, sink += c + m; };
    a.OnREG_All = [](quint8 c, const TREGs& r) { ++events, sink += c + size_t(r.size()); };
    a.OnREG_One = [](quint8 c, quint8 n, float v) { ++events, sink += c + n + (v > 0); };
    a.OnREG_Part = [](quint8 c, quint8 s, quint8 n, const TREGs& r) {
        ++events, sink += c + s + n + size_t(r.size());
    };
    a.OnTask_List = [](quint8 c, quint8 count, const TTaskRcds& tasks) {
        ++events;
        if (!tasks.isEmpty() && tasks.size() != count)
            std::abort();
        for (const TTaskRcd& t : tasks)
            Touch(t);
        sink += c;
    };
    a.OnTask_Add = [](quint8 c, quint8 id, const TTaskRcd& t) {
        ++events;
        if (t.ID != id)
            std::abort();
        Touch(t);
        sink += c;
    };
    a.OnTask_State = [](quint8 c, quint8 n, TTASKSTATE s) { ++events, sink += c + n + size_t(s); };
    a.OnTask_GetTime = [](quint8 c, const QDateTime& t) { ++events, sink += c + t.isValid(); };
    a.OnTask_SetTime = [](quint8 c, bool ok, const QDateTime& t) { ++events, sink += c + ok + t.isValid(); };
    a.OnName_One = [](quint8 c, TIOTYPE k, quint8 n, const TIOName& name) {
        ++events, sink += c + size_t(k) + n;
        Touch(name);
    };
    a.OnName_All = [](quint8 c, const TIONames& names) {
        ++events, sink += c;
        for (const TIOName& n : names)
            Touch(n);
    };
    a.OnName_Type = [](quint8 c, TIOTYPE k, const TIONames& names) {
        ++events, sink += c + size_t(k);
        for (const TIOName& n : names)
            Touch(n);
    };
    a.OnSys_IO = [](quint8 c, quint8 x, quint8 y, quint8 z, quint8 k, quint8 m) {
        ++events, sink += c + x + y + z + k + m;
    };
    a.OnSys_ID = [](quint8 c, const TIDBuf& id) { ++events, sink += c + id[0] + id[1]; };
    a.OnSys_Save = [](quint8 c) { ++events, sink += c; };
    a.OnSys_Info = [](quint8 c, bool a1, bool a2, bool a3, bool a4, bool a5, bool a6, bool a7, TDEVTYPE t,
                      const QString& hard, const QString& soft) {
        ++events, sink += c + a1 + a2 + a3 + a4 + a5 + a6 + a7 + size_t(t);
        Touch(hard);
        Touch(soft);
    };
    a.OnSys_Password = [](quint8 c, bool ok) { ++events, sink += c + ok; };
    a.OnSys_Name = [](quint8 c, const QString& n) {
        ++events, sink += c;
        Touch(n);
    };
    a.OnSys_Port = [](quint8 c) { ++events, sink += c; };
    return a;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TNEV_GPIOAPI api = MakeAPI();
    // An exact-size copy, so that the sanitizer sees any read past the payload.
    const QByteArray payload(reinterpret_cast<const char*>(data), qsizetype(size));
    events = 0;
    const bool ok = api.ReceiveData(payload);
    if (events > 1 || (!ok && events != 0))
        std::abort();
    if (payload.isEmpty() && ok)
        std::abort();

    // The same bytes as a request (its length in byte 0) and the reply that follows it: the
    // match rule reads only what is there, and an answer is never also a refusal.
    if (size > 0) {
        const qsizetype cut = std::min<qsizetype>(data[0], qsizetype(size) - 1);
        const QByteArray request = payload.mid(1, cut);
        const QByteArray reply = payload.mid(1 + cut);
        const bool answers = ReplyAnswers(request, reply);
        const bool refuses = ReplyRefuses(request, reply);
        if (answers && (refuses || quint8(request.at(0)) >= 0x80 ||
                        quint8(reply.at(0)) != quint8(quint8(request.at(0)) | 0x80)))
            std::abort();
        if (refuses && (reply.size() != 2 || quint8(reply.at(0)) != ReplyUnsupported))
            std::abort();
    }
    return 0;
}
