// The LAN commands of quillet-ctl: the board search and the router join of boards waiting for a
// wireless network.
#include "CtlJson.h"
#include "CtlOutput.h"
#include "CtlRunners.h"
#include "CtlWait.h"
#include "untAddRouter.h"
#include "untIOTUDP.h"

#include <QEventLoop>
#include <QSet>

namespace ctl {

int RunDiscover(const TDiscoverCmd& cmd, TOutput& io) {
    TNEV_IOTUDP udp(cmd.port, cmd.broadcast);
    if (!udp.setActive(true))
        return Fail(io,
                    QStringLiteral("%1 search port is occupied! (%2)").arg(cmd.port).arg(udp.ErrorString()));
    udp.setSearchWindowMs(cmd.timeoutMs);
    QSet<QString> seen;
    QEventLoop loop;
    udp.OnUDPReceive = [&](const TUDPRcvRcd& r) {
        const QString mac = MACBufToStr(r.DevMAC);
        if (seen.contains(mac))
            return;
        seen.insert(mac);
        Line(io, TJsonOut()
                     .AddStr("mac", mac)
                     .AddStr("ip", IPBufToStr(r.DevIP))
                     .AddStr("name", Utf8BufToStr(r.DevName))
                     .AddNum("type", r.DevType)
                     .AddNum("ctrl", r.DevID)
                     .Text());
    };
    udp.OnUDPTimeOut = [&] { loop.quit(); };
    if (!udp.SearchDevice())
        return Fail(io, QStringLiteral("The search request could not be sent: %1").arg(udp.ErrorString()));
    loop.exec();
    return ExitOk;
}

namespace {

// Whether the router join socket listens; when not, says why.
bool Listening(const TAddRouter& router, TOutput& io) {
    if (router.isListening())
        return true;
    Fail(io, QStringLiteral("Port %1 cannot be used: %2").arg(RouterJoinPort).arg(router.ErrorString()));
    return false;
}

} // namespace

int RunWifiScan(const TWifiScanCmd& cmd, TOutput& io) {
    TAddRouter router(RouterJoinPort, cmd.broadcast);
    if (!Listening(router, io))
        return ExitFailed;
    QEventLoop loop;
    router.setSearchTimeoutMs(cmd.timeoutMs);
    router.OnRouterSearchEnd = [&] { loop.quit(); };
    if (!router.Search())
        return Fail(io, QStringLiteral("The search could not be sent: %1").arg(router.ErrorString()));
    ExecFor(loop, cmd.timeoutMs + 100);
    for (const TRouterNet& n : router.Nets())
        Line(io, TJsonOut().AddStr("ssid", n.NameStr()).AddNum("signal", n.Signal).Text());
    return ExitOk;
}

int RunWifiJoin(const TWifiJoinCmd& cmd, TOutput& io) {
    TAddRouter router(RouterJoinPort, cmd.broadcast);
    if (!Listening(router, io))
        return ExitFailed;
    QEventLoop loop;
    std::optional<TRouterJoinResult> result;
    router.OnJoinResult = [&](TRouterJoinResult r) {
        result = r;
        loop.quit();
    };
    if (!router.Add(0, cmd.ssid, cmd.password))
        return Fail(io, QStringLiteral("The join request could not be sent: %1").arg(router.ErrorString()));
    ExecFor(loop, cmd.timeoutMs);
    if (!result)
        return Fail(io, QStringLiteral("No reply to the join request within %1 ms").arg(cmd.timeoutMs));
    switch (*result) {
    case TRouterJoinResult::JOIN_OK:
        Line(io, TJsonOut().AddStr("ssid", cmd.ssid).AddBool("joined", true).Text());
        return ExitOk;
    case TRouterJoinResult::JOIN_NOSSID:
        return Fail(io, QStringLiteral("SSID not exist!"));
    case TRouterJoinResult::JOIN_PSDERR:
        return Fail(io, QStringLiteral("SSID password error!"));
    }
    return ExitFailed;
}

} // namespace ctl
