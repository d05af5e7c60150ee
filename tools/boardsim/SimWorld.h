// The simulated boards of one process: command-line options, the boards, their TCP servers and
// the UDP responders, and the lines printed once everything listens.
#pragma once

#include "SimBoard.h"
#include "SimServer.h"
#include "SimUdp.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>

namespace sim {

struct WorldConfig {
    QList<BoardConfig> boards;
    QHostAddress listenAddress = QHostAddress(QHostAddress::LocalHost);
    int listenPort = 8899;
    bool stepAddress = false; // boards without their own address: consecutive addresses, same port
    QHostAddress udpAddress = QHostAddress(QHostAddress::LocalHost);
    int searchPort = 1901;   // -1: no search answers
    int routerPort = 1902;   // -1: no router join
    int searchSpreadMs = -1; // -1: 0 for up to 16 boards, else one millisecond per board
    QList<WifiNetwork> networks;
    bool verbose = false;
};

// Parses the command line (without the program name). On failure returns nullopt and sets error.
std::optional<WorldConfig> ParseWorldArgs(const QStringList& args, QString* error, bool* help);
// Applies one "key=value,key=value" board description on top of `board`.
bool ApplyBoardSpec(const QString& spec, BoardConfig& board, QString* error);
QString WorldHelpText();

class World : public QObject {
    Q_OBJECT
public:
    explicit World(WorldConfig config, QObject* parent = nullptr);
    ~World() override;

    // Creates the boards and starts listening; false with a message when an address is taken.
    bool Start(QString* error);
    // One line per board and per UDP service, then "ready".
    QStringList ReadyLines() const;

    const QList<Board*>& Boards() const { return FBoards; }
    const QList<BoardServer*>& Servers() const { return FServers; }
    quint16 SearchPort() const { return FSearch ? FSearch->Port() : 0; }
    quint16 RouterPort() const { return FRouter ? FRouter->Port() : 0; }

private:
    WorldConfig FCfg;
    QList<Board*> FBoards;
    QList<BoardServer*> FServers;
    QList<QHostAddress> FAdvertised;
    SearchResponder* FSearch = nullptr;
    RouterResponder* FRouter = nullptr;
};

} // namespace sim
