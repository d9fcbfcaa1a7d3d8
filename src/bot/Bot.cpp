// torvane-bot: the lobby as a computer player goes through it, then the game screen headless.
#include "bot/Bot.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "campaign/Gamerules.h"
#include "game/Game.h"
#include "game/Objectif.h"
#include "game/Random.h"
#include "game/Stategame.h"
#include "lobby/Statepaysgov.h"
#include "network/Directplay.h"
#include "platform/SeatStore.h"

namespace torvane::bot {
namespace {

bool ValidNation(int nation) {
    return nation >= 0 && nation < NationCount;
}

bool ReadNumber(const char* text, uint64_t limit, uint64_t& value) {
    if (!text || !*text)
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long read = std::strtoull(text, &end, 10);
    if (*end != '\0' || errno != 0 || read > limit || text[0] == '-')
        return false;
    value = read;
    return true;
}

size_t CopyTable(const DirectPlay& network, std::array<PlayerInfo, 8>& records) {
    size_t count = 0;
    while (count < records.size() &&
           network.CopyPlayerAt(static_cast<uint8_t>(count), records[count])) {
        ++count;
    }
    return count;
}

// Only the end of the session matters in the lobby: the host leaving, or a player lost (the
// lobby then breaks up for everybody, as on the players' screens).
class LobbyListener : public Listener {
  public:
    void OnPlayerJoined(const std::string&) override {}
    void OnPlayerLost(const std::string&) override { ended = true; }
    void OnPlayerRemoved(const std::string&) override {}
    void OnTextMessage(int32_t, const std::string&, int32_t) override {}
    void OnTerritories(int32_t, const TerritoryTable&) override {}
    void OnValueMessage(int32_t, int32_t) override {}
    void OnByteMessage(int32_t, uint8_t) override {}
    void OnSessionTerminated() override { ended = true; }
    bool ended = false;
};

bool HostHasStarted(const DirectPlay& network) {
    PlayerInfo host;
    return network.CopyPlayer(network.HostPlayerId(), host) && host.Phase() >= 1;
}

class Pacer {
  public:
    explicit Pacer(int framesPerSecond)
        : period_(std::chrono::microseconds(1000000 / std::max(1, framesPerSecond))),
          next_(std::chrono::steady_clock::now()) {}
    void Wait() {
        next_ += period_;
        const auto now = std::chrono::steady_clock::now();
        if (next_ < now)
            next_ = now;  // a late frame does not make the next ones hurry
        std::this_thread::sleep_until(next_);
    }

  private:
    std::chrono::microseconds period_;
    std::chrono::steady_clock::time_point next_;
};

// Back to a running game of this search where this player keeps a seat; false when none.
bool Rejoin(DirectPlay& network, const platform::SeatStore& seats) {
    for (int i = 0; i < network.PartyCount(); ++i) {
        const EnumeratedParty* party = network.GetParty(i);
        if (!party || !party->running || party->version != kProtocolVersionText)
            continue;
        std::string error;
        const std::optional<platform::Seat> seat =
            seats.Load(party->session, network.PlayerName(), &error);
        if (!error.empty())
            std::fprintf(stderr, "torvane-bot: %s\n", error.c_str());
        if (seat && network.JoinGame(party->hostAddress, seat->token, seat->nation))
            return true;
    }
    return false;
}

// Finds the game and joins it (its own seat first, should it have one in a running game);
// false when there is none or it refused.
bool Join(DirectPlay& network, const BotOptions& options, const std::atomic<bool>& stop) {
    const platform::SeatStore seats;
    if (!options.host.empty() && options.port != 0) {
        in_addr address{};
        if (::inet_pton(AF_INET, options.host.c_str(), &address) != 1)
            return false;
        network.EnumerateGames(options.host);
        if (Rejoin(network, seats))
            return true;
        return network.JoinGame({ntohl(address.s_addr), options.port});
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(options.searchSeconds);
    while (!stop.load() && std::chrono::steady_clock::now() < end) {
        network.ClearParties();
        network.EnumerateGames(options.host);
        if (Rejoin(network, seats))
            return true;
        for (int i = 0; i < network.PartyCount(); ++i) {
            const EnumeratedParty* party = network.GetParty(i);
            if (party && !party->running && party->version == kProtocolVersionText &&
                network.JoinGame(party->hostAddress))
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    return false;
}

// The lobby: a free nation, a government, ready. True once the host has started the game with
// this player in it; `nation` is the one it plays.
enum class LobbyEnd { Started, Ended, Stopped };
LobbyEnd RunLobby(DirectPlay& network, const BotOptions& options, const std::atomic<bool>& stop,
                  RandomGenerator& random, const std::function<void(const std::string&)>& say,
                  int8_t& nation) {
    LobbyListener listener;
    network.SetListener(&listener);
    Pacer pacer(options.framesPerSecond);
    const int8_t government = static_cast<int8_t>(random.Next(GovernmentCount));
    int8_t announcedNation = -1;
    bool announcedGovernment = false;
    bool ready = false;
    LobbyEnd end = LobbyEnd::Stopped;
    std::array<PlayerInfo, 8> records;
    // A computer player never keeps a lobby going: should its host leave, it leaves too.
    const int32_t host = network.HostPlayerId();
    while (!stop.load()) {
        // Once the host has started, what arrives belongs to the game screen: it stays queued.
        if (!HostHasStarted(network))
            network.DeliverEvents();
        if (listener.ended || network.IsHost() || network.HostPlayerId() != host) {
            end = LobbyEnd::Ended;
            break;
        }
        if (network.FollowHostPhase()) {
            PlayerInfo self;
            network.CopyPlayer(network.LocalPlayerId(), self);
            nation = self.nation;
            end = LobbyEnd::Started;
            break;
        }
        const size_t count = CopyTable(network, records);
        const std::span<const PlayerInfo> table(records.data(), count);
        // A game taken up again: the nation saved under this name, or a free saved one, under
        // its saved government.
        PlayerInfo hostRecord;
        Seating saved;
        const bool resuming = network.CopyPlayer(network.HostPlayerId(), hostRecord) &&
                              ResumedStatusOf(hostRecord) != 0 && network.CopyHostSeating(saved);
        PlayerInfo self;
        if (network.CopyPlayer(network.LocalPlayerId(), self)) {
            bool clash = ValidNation(self.nation) && MustMoveAway(table, self.playerId);
            if (resuming) {
                const int own = SavedNationOf(saved, table, self.playerId, self.Name());
                clash = clash || SavedGovernment(saved, self.nation) < 0 ||
                        (own >= 0 && own != self.nation);
            }
            const int8_t wanted = resuming ? SavedGovernment(saved, self.nation) : government;
            if (!ValidNation(self.nation) || clash || !self.IsComputer() ||
                self.government != wanted) {
                if (ready) {
                    network.ClearReady();
                    ready = false;
                }
                if (!ValidNation(self.nation) || clash) {
                    int chosen = -1;
                    if (resuming) {
                        chosen = SavedNationOf(saved, table, self.playerId, self.Name());
                        if (chosen < 0)
                            chosen = FreeSavedNation(saved, table, self.playerId);
                    } else {
                        chosen = FreeNation(table, self.playerId, random);
                    }
                    if (chosen < 0 && !ValidNation(self.nation)) {
                        // Every nation is held: it waits for one to be released.
                        pacer.Wait();
                        continue;
                    }
                    self.nation = static_cast<int8_t>(chosen);
                }
                self.government = resuming ? SavedGovernment(saved, self.nation) : government;
                self.reservedByteA = kComputerPlayerMark;
                self.syncStatus &= ~1u;
                network.PublishLocalPlayer(self);
            } else {
                if (self.nation != announcedNation) {
                    announcedNation = self.nation;
                    say("NATION " + std::to_string(self.nation));
                }
                if (!announcedGovernment) {
                    announcedGovernment = true;
                    say("GOVERNMENT " + std::to_string(self.government));
                }
                if (!ready) {
                    network.SetReady();
                    ready = true;
                    say("READY");
                }
            }
        }
        pacer.Wait();
    }
    network.ClearListener(&listener);
    return end;
}

}  // namespace

const char* Usage() {
    return "usage: torvane-bot [--name NAME] [--level facile|moyen|difficile] [--seed S]\n"
           "                   [--host IPV4] [--port P]\n";
}

bool ParseArguments(std::span<const char* const> arguments, BotOptions& options,
                    std::string& error) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string key = arguments[i] ? arguments[i] : "";
        if (i + 1 >= arguments.size()) {
            error = "missing value after " + key;
            return false;
        }
        const char* value = arguments[++i];
        uint64_t number = 0;
        if (key == "--name") {
            const std::string name = value;
            if (name.empty() || name.size() > kPlayerNameSize - 1) {
                error = "a name holds 1 to 10 characters";
                return false;
            }
            options.name = name;
        } else if (key == "--level") {
            if (!ParseLevel(value, options.level)) {
                error = "unknown level: " + std::string(value);
                return false;
            }
        } else if (key == "--seed") {
            if (!ReadNumber(value, UINT64_MAX, number)) {
                error = "not a seed: " + std::string(value);
                return false;
            }
            options.seed = number;
        } else if (key == "--host") {
            in_addr address{};
            if (::inet_pton(AF_INET, value, &address) != 1) {
                error = "not an IPv4 address: " + std::string(value);
                return false;
            }
            options.host = value;
        } else if (key == "--port") {
            if (!ReadNumber(value, 65535, number) || number == 0) {
                error = "not a port: " + std::string(value);
                return false;
            }
            options.port = static_cast<uint16_t>(number);
        } else {
            error = "unknown option: " + key;
            return false;
        }
    }
    return true;
}

int FreeNation(std::span<const PlayerInfo> records, int32_t selfId, RandomGenerator& random) {
    std::array<bool, NationCount> held{};
    for (const PlayerInfo& record : records) {
        if (record.playerId != selfId && ValidNation(record.nation))
            held[static_cast<size_t>(record.nation)] = true;
    }
    std::array<int, NationCount> free{};
    int count = 0;
    for (int nation = 0; nation < NationCount; ++nation) {
        if (!held[static_cast<size_t>(nation)])
            free[static_cast<size_t>(count++)] = nation;
    }
    return count == 0 ? -1 : free[static_cast<size_t>(random.Next(count))];
}

bool MustMoveAway(std::span<const PlayerInfo> records, int32_t selfId) {
    const PlayerInfo* self = nullptr;
    for (const PlayerInfo& record : records) {
        if (record.playerId == selfId)
            self = &record;
    }
    if (!self || !ValidNation(self->nation))
        return false;
    for (const PlayerInfo& record : records) {
        if (record.playerId == selfId || record.nation != self->nation)
            continue;
        if (!record.IsComputer() || record.playerId < selfId)
            return true;
    }
    return false;
}

uint64_t HistoryChecksum(const DirectLog& history) {
    uint64_t hash = 0xcbf29ce484222325ull;
    std::array<uint8_t, kTerritoryTableSize> bytes;
    for (int i = 0; i < history.Count(); ++i) {
        const TerritoryTable* table = history.TableAt(i);
        if (!table)
            continue;
        EncodeTable(*table, bytes);
        for (const uint8_t byte : bytes) {
            hash ^= byte;
            hash *= 0x100000001b3ull;
        }
    }
    return hash;
}

const char* EndName(BotEnd end) {
    switch (end) {
        case BotEnd::Victory:
            return "victoire";
        case BotEnd::Defeat:
            return "defaite";
        case BotEnd::Disconnected:
            return "deconnecte";
        case BotEnd::Stopped:
            return "interrompu";
        default:
            return "introuvable";
    }
}

BotEnd RunBot(const BotOptions& options, const std::atomic<bool>& stop,
              const std::function<void(const std::string&)>& say) {
    RandomGenerator random(options.seed);
    // Should this player take over as host, it draws from its own seed.
    RandomSeed(options.seed);
    std::unique_ptr<DirectPlay> network = std::make_unique<DirectPlay>(options.name, options.peer);
    {
        // Marked as a computer from its first record on, back in a running game too.
        PlayerInfo self;
        self.SetName(options.name);
        self.reservedByteA = kComputerPlayerMark;
        network->PublishLocalPlayer(self);
    }
    if (!Join(*network, options, stop)) {
        const BotEnd end = stop.load() ? BotEnd::Stopped : BotEnd::NoGame;
        say(std::string("FIN ") + EndName(end));
        return end;
    }
    say("JOINED " + std::to_string(network->LocalPlayerId()));

    int8_t nation = -1;
    const LobbyEnd lobby = network->Rejoined()
                               ? LobbyEnd::Started
                               : RunLobby(*network, options, stop, random, say, nation);
    if (network->Rejoined())
        say("REJOINED");
    if (lobby != LobbyEnd::Started) {
        network.reset();
        const BotEnd end = lobby == LobbyEnd::Stopped ? BotEnd::Stopped : BotEnd::Disconnected;
        say(std::string("FIN ") + EndName(end));
        return end;
    }

    BuildObjectives();
    ComputerPlayer brain(options.level, random.NextBits());
    BotEnd end = BotEnd::Stopped;
    {
        GameState game(nullptr, nullptr, nullptr, &network);
        game.SetOrdersInterface(&brain);
        Pacer pacer(options.framesPerSecond);
        int32_t year = 0;
        // The phase clock counts the time that really passed, late frames included.
        auto lastFrame = std::chrono::steady_clock::now();
        while (!stop.load()) {
            const auto passed = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - lastFrame);
            lastFrame += passed;  // the part of a millisecond left over counts next frame
            game.SetHeadlessFrameTime(static_cast<int32_t>(passed.count()));
            const int32_t code = game.Run();
            const uint32_t status = game.HeldStatus();
            if (nation < 0 && game.LocalNation() >= 0) {
                nation = game.LocalNation();
                if (network->Rejoined())
                    say("NATION " + std::to_string(nation));
            }
            if (status >= 4 && YearOf(status) != year) {
                year = YearOf(status);
                say("YEAR " + std::to_string(year));
            }
            if (code != StayCode) {
                if (game.GameOver()) {
                    const bool won = ValidNation(nation) && ((game.Winners() >> nation) & 1u) != 0;
                    end = won ? BotEnd::Victory : BotEnd::Defeat;
                } else {
                    end = BotEnd::Disconnected;
                }
                break;
            }
            pacer.Wait();
        }
        game.SetOrdersInterface(nullptr);
        // Said before the goodbye, which may take a while: whoever watches learns at once that
        // this player is done with the game.
        char line[40];
        std::snprintf(line, sizeof line, "HISTORY %016llx",
                      static_cast<unsigned long long>(HistoryChecksum(game.History())));
        say(line);
        // Interrupted mid-game: the session is closed here, with a goodbye to the others.
        network.reset();
    }
    DestroyObjectives();
    say(std::string("FIN ") + EndName(end));
    return end;
}

}  // namespace torvane::bot
