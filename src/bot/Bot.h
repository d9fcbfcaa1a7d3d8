// torvane-bot: a computer player that is a peer like any other. It joins a game, takes a free
// nation and a government in the lobby, becomes ready and plays the campaign headless, its
// orders coming from a ComputerPlayer.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "campaign/Computer.h"
#include "game/Directlog.h"
#include "network/Playerinfo.h"
#include "platform/PeerSession.h"

namespace torvane::bot {

struct BotOptions {
    std::string name = "Ordi";  // ten characters at most
    ComputerLevel level = ComputerLevel::Medium;
    uint64_t seed = 1;
    // Dotted IPv4 address of the host; empty for a search on the network (TORVANE_SEARCH=local
    // keeps it on this machine).
    std::string host;
    uint16_t port = 0;  // the host's TCP port; 0: found by a search
    platform::PeerOptions peer;
    // How long a search for a game goes on before giving up.
    int searchSeconds = 30;
    // Frames per second of the game once started (a test may run faster).
    int framesPerSecond = 60;
};

// Reads the command line (without the program name). False, with `error` set, for anything it
// does not know.
bool ParseArguments(std::span<const char* const> arguments, BotOptions& options,
                    std::string& error);
const char* Usage();

// A nation none of `records` other than `selfId` holds, drawn with `random`; -1 when all are
// held.
int FreeNation(std::span<const PlayerInfo> records, int32_t selfId, RandomGenerator& random);
// Whether the local record must leave its nation: another record holds it, and that record is
// a person's or a computer player that joined earlier (lower id) — of two computer players on
// one nation the later one moves.
bool MustMoveAway(std::span<const PlayerInfo> records, int32_t selfId);

// FNV-1a of every table of a history, oldest first.
uint64_t HistoryChecksum(const DirectLog& history);

enum class BotEnd { Victory, Defeat, Disconnected, Stopped, NoGame };
// "victoire", "defaite", "deconnecte", "interrompu", "introuvable".
const char* EndName(BotEnd end);

// The whole life of a computer player; `say` receives one line per milestone (JOINED id,
// NATION n, GOVERNMENT g, READY, YEAR y, HISTORY h, FIN ...). `stop` ends it cleanly, closing
// the session, whenever it turns true.
BotEnd RunBot(const BotOptions& options, const std::atomic<bool>& stop,
              const std::function<void(const std::string&)>& say);

}  // namespace torvane::bot
