// The command families of quillet-ctl, each run from its checked command value: the board
// commands (CtlRunBoard.cpp), LAN discovery and wireless setup (CtlRunLan.cpp) and the cloud
// account (CtlRunCloud.cpp). Each returns the process exit status.
#pragma once

#include "CtlArgs.h"
#include "CtlCommands.h"

namespace ctl {

int RunBoard(const TBoardCmd& cmd, TOutput& io);
int RunDiscover(const TDiscoverCmd& cmd, TOutput& io);
int RunWifiScan(const TWifiScanCmd& cmd, TOutput& io);
int RunWifiJoin(const TWifiJoinCmd& cmd, TOutput& io);
int RunCloud(const TCloudCmd& cmd, TOutput& io);

} // namespace ctl
