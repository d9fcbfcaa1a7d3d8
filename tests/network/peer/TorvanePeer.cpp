// A stand-alone game peer for multi-process and multi-namespace network checks: hosts, joins or
// searches with the real engine and prints what happens, one line per event.
#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "network/Directplay.h"

namespace {

std::string Dotted(uint32_t ip) {
    return std::to_string(ip >> 24) + "." + std::to_string((ip >> 16) & 255) + "." +
           std::to_string((ip >> 8) & 255) + "." + std::to_string(ip & 255);
}

class PrintingListener : public torvane::Listener {
  public:
    void OnPlayerJoined(const std::string& name) override { Say("JOINED", name); }
    void OnPlayerLost(const std::string& name) override { Say("LOST", name); }
    void OnPlayerRemoved(const std::string& name) override { Say("REMOVED", name); }
    void OnTextMessage(int32_t, const std::string& text, int32_t) override { Say("TEXT", text); }
    void OnTerritories(int32_t, const torvane::TerritoryTable&) override { Say("TERRITORIES", ""); }
    void OnValueMessage(int32_t, int32_t number) override { Say("VALUE", std::to_string(number)); }
    void OnByteMessage(int32_t, uint8_t value) override { Say("BYTE", std::to_string(value)); }
    void OnSessionTerminated() override { Say("TERMINATED", ""); }

    static void Say(const char* what, const std::string& detail) {
        std::printf("%s %s\n", what, detail.c_str());
        std::fflush(stdout);
    }
};

int Usage() {
    std::fprintf(stderr,
                 "usage: torvane-peer host|join|search [--name N] [--game G] [--host H]\n"
                 "       [--discovery P] [--base P] [--last P] [--heartbeat MS] [--timeout MS]\n"
                 "       [--search-ms MS] [--stay S] [--broadcast 0|1] [--port P]\n"
                 "       [--portmap 0|1] [--mesh-ms MS]\n"
                 "join with --host and --port connects to that address without a search\n");
    return 2;
}

// Commands on standard input, one per line: "sever ID" silences the connection to a player (as
// a firewall would); "players" prints the table's size, the host and the local player; "links"
// the direct and relayed links; "text WORDS" sends WORDS to every player (itself included);
// "data N" republishes the local record with nation N, which the others print as DATA;
// "portmap" prints the router's public address when a port mapping holds.
void Command(torvane::DirectPlay& engine, const std::string& line) {
    if (line.rfind("sever ", 0) == 0) {
        engine.SeverLinkForTest(std::atoi(line.c_str() + 6));
    } else if (line == "players") {
        std::printf("PLAYERS %d HOST %d SELF %d\n", engine.PlayerCount(), engine.HostPlayerId(),
                    engine.LocalPlayerId());
    } else if (line == "links") {
        const platform::PeerLinks links = engine.SessionLinks();
        std::printf("LINKS direct %d relayed %d\n", links.direct, links.relayed);
    } else if (line.rfind("text ", 0) == 0) {
        if (!engine.SendText(platform::kAllPlayers, engine.LocalPlayerId(), line.substr(5)))
            std::printf("FAILED text\n");
    } else if (line.rfind("data ", 0) == 0) {
        const int nation = std::atoi(line.c_str() + 5);
        torvane::PlayerInfo self;
        if (nation < -128 || nation > 127 || !engine.CopyPlayer(engine.LocalPlayerId(), self)) {
            std::printf("FAILED data\n");
        } else {
            self.nation = static_cast<int8_t>(nation);
            if (!engine.PublishLocalPlayer(self))
                std::printf("FAILED data\n");
        }
    } else if (line == "portmap") {
        const uint32_t address = engine.PublicAddress();
        std::printf("PUBLIC %s\n", address ? Dotted(address).c_str() : "none");
    } else if (!line.empty()) {
        std::printf("UNKNOWN %s\n", line.c_str());
    }
    std::fflush(stdout);
}

// Peer data has no listener event of its own: the table is compared with what was last seen,
// and every other player's new nation is printed as "DATA name N".
class RecordWatch {
  public:
    void Check(const torvane::DirectPlay& engine) {
        torvane::PlayerInfo record;
        for (uint8_t index = 0; engine.CopyPlayerAt(index, record); ++index) {
            if (record.playerId == engine.LocalPlayerId())
                continue;
            auto seen = nations_.find(record.playerId);
            // A record seen for the first time with the nation every record starts with is no
            // news; any other nation is.
            const int8_t before =
                seen == nations_.end() ? torvane::PlayerInfo{}.nation : seen->second;
            if (record.nation != before)
                PrintingListener::Say("DATA", record.Name() + " " + std::to_string(record.nation));
            nations_[record.playerId] = record.nation;
        }
    }

  private:
    std::map<int32_t, int8_t> nations_;
};

// Runs the engine's events until standard input closes or `stay` seconds pass.
void Serve(torvane::DirectPlay& engine, int stay) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(stay);
    int lastHost = engine.HostPlayerId();
    std::string commands;
    RecordWatch records;
    while (std::chrono::steady_clock::now() < end) {
        engine.DeliverEvents();
        records.Check(engine);
        if (engine.HostPlayerId() != lastHost) {
            lastHost = engine.HostPlayerId();
            PrintingListener::Say("HOST", engine.IsHost() ? "self" : std::to_string(lastHost));
        }
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (::poll(&in, 1, 10) > 0) {
            char buffer[256];
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got <= 0)
                return;
            commands.append(buffer, static_cast<size_t>(got));
            size_t newline;
            while ((newline = commands.find('\n')) != std::string::npos) {
                Command(engine, commands.substr(0, newline));
                commands.erase(0, newline + 1);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    const std::string mode = argv[1];
    std::string name = "Peer", game, host;
    int stay = 60;
    uint16_t port = 0;
    platform::PeerOptions options;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const char* value = argv[i + 1];
        if (key == "--name")
            name = value;
        else if (key == "--game")
            game = value;
        else if (key == "--host")
            host = value;
        else if (key == "--discovery")
            options.discoveryPort = static_cast<uint16_t>(std::atoi(value));
        else if (key == "--base")
            options.basePort = static_cast<uint16_t>(std::atoi(value));
        else if (key == "--last")
            options.lastPort = static_cast<uint16_t>(std::atoi(value));
        else if (key == "--heartbeat")
            options.heartbeatMs = std::atoi(value);
        else if (key == "--timeout")
            options.timeoutMs = std::atoi(value);
        else if (key == "--search-ms")
            options.searchMs = std::atoi(value);
        else if (key == "--stay")
            stay = std::atoi(value);
        else if (key == "--broadcast")
            options.broadcastSearch = std::atoi(value) != 0;
        else if (key == "--port")
            port = static_cast<uint16_t>(std::atoi(value));
        else if (key == "--portmap")
            options.portMapping = std::atoi(value) != 0;
        else if (key == "--mesh-ms")
            options.meshConnectMs = std::atoi(value);
        else
            return Usage();
    }
    torvane::DirectPlay engine(name, options);
    PrintingListener listener;
    engine.SetListener(&listener);
    int status = 0;
    if (mode == "host") {
        if (!engine.HostGame(game)) {
            status = 1;
        } else {
            PrintingListener::Say("READY", std::to_string(engine.LocalPlayerId()));
            PrintingListener::Say("PORT", std::to_string(engine.ListenPort()));
            Serve(engine, stay);
        }
    } else if (mode == "join") {
        // An address and a port are all a friend behind a router tells another: no search.
        torvane::HostAddress address;
        in_addr parsed{};
        if (!host.empty() && port != 0 && ::inet_pton(AF_INET, host.c_str(), &parsed) == 1) {
            address = {ntohl(parsed.s_addr), port};
        } else {
            engine.EnumerateGames(host);
            if (const torvane::EnumeratedParty* party = engine.GetParty(0))
                address = party->hostAddress;
        }
        if (address.port == 0 || !engine.JoinGame(address)) {
            PrintingListener::Say("FAILED", "join");
            status = 1;
        } else {
            PrintingListener::Say("READY", std::to_string(engine.LocalPlayerId()));
            PrintingListener::Say("PORT", std::to_string(engine.ListenPort()));
            Serve(engine, stay);
        }
    } else if (mode == "search") {
        engine.EnumerateGames(host);
        for (int i = 0; i < engine.PartyCount(); ++i) {
            const torvane::EnumeratedParty* party = engine.GetParty(i);
            std::printf("PARTY %s|%s|%d|%d|%s:%u\n", party->version.c_str(),
                        party->gameName.c_str(), party->currentPlayers, party->latency,
                        Dotted(party->hostAddress.ipv4).c_str(), party->hostAddress.port);
        }
        status = engine.PartyCount() > 0 ? 0 : 3;
    } else {
        return Usage();
    }
    engine.ClearListener(&listener);
    std::fflush(stdout);
    return status;
}
