#include "CtlCommands.h"

#include "CtlArgs.h"
#include "CtlOutput.h"
#include "CtlRunners.h"

namespace ctl {

namespace {

template <class... F> struct TOverloaded : F... { using F::operator()...; };
template <class... F> TOverloaded(F...) -> TOverloaded<F...>;

} // namespace

int RunMain(const QStringList& args, TOutput io) {
    const TParsed parsed = ParseArgs(args);
    if (const auto* error = std::get_if<TUsageError>(&parsed))
        return Usage(io, error->why);
    return std::visit(TOverloaded{
                          [&](const THelpCmd&) {
                              io.out << UsageText();
                              io.out.flush();
                              return ExitOk;
                          },
                          [&](const TBoardCmd& c) { return RunBoard(c, io); },
                          [&](const TDiscoverCmd& c) { return RunDiscover(c, io); },
                          [&](const TWifiScanCmd& c) { return RunWifiScan(c, io); },
                          [&](const TWifiJoinCmd& c) { return RunWifiJoin(c, io); },
                          [&](const TCloudCmd& c) { return RunCloud(c, io); },
                      },
                      std::get<TCommand>(parsed));
}

} // namespace ctl
