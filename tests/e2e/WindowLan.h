// The window's environment inside the virtual LAN: its LAN search and router join really
// broadcast on the LAN that tools/virtual-lan describes in its environment variables.
#pragma once

#include "ShellFixture.h"

#include <QHostAddress>

inline TMainEnv VirtualLanEnv(const QString& folder, const std::shared_ptr<TRecordingMessages>& messages,
                              int searchWindowMs = 1500) {
    TMainEnv env = LoopbackEnv(folder, messages);
    env.SearchBroadcast = QHostAddress(qEnvironmentVariable("QUILLET_VLAN_BROADCAST"));
    env.SearchPort = quint16(qEnvironmentVariableIntValue("QUILLET_VLAN_SEARCH_PORT"));
    env.RouterBroadcast = env.SearchBroadcast;
    env.RouterPort = quint16(qEnvironmentVariableIntValue("QUILLET_VLAN_ROUTER_PORT"));
    env.SearchWindowMs = searchWindowMs;
    return env;
}
