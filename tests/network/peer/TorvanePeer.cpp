// A stand-alone game peer for multi-process and multi-namespace network checks: hosts, joins or
// searches with the real engine and prints what happens, one line per event.
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "network/Directplay.h"

namespace {

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
                 "       [--search-ms MS] [--stay S] [--broadcast 0|1]\n");
    return 2;
}

// Commands on standard input, one per line: "sever ID" silences the connection to a player (as
// a firewall would); "players" prints the table's size, the host and the local player.
void Command(torvane::DirectPlay& engine, const std::string& line) {
    if (line.rfind("sever ", 0) == 0) {
        engine.SeverLinkForTest(std::atoi(line.c_str() + 6));
    } else if (line == "players") {
        std::printf("PLAYERS %d HOST %d SELF %d\n", engine.PlayerCount(), engine.HostPlayerId(),
                    engine.LocalPlayerId());
        std::fflush(stdout);
    }
}

// Runs the engine's events until standard input closes or `stay` seconds pass.
void Serve(torvane::DirectPlay& engine, int stay) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(stay);
    int lastHost = engine.HostPlayerId();
    std::string commands;
    while (std::chrono::steady_clock::now() < end) {
        engine.DeliverEvents();
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
            Serve(engine, stay);
        }
    } else if (mode == "join") {
        engine.EnumerateGames(host);
        const torvane::EnumeratedParty* party = engine.GetParty(0);
        if (!party || !engine.JoinGame(party->hostAddress)) {
            PrintingListener::Say("FAILED", "join");
            status = 1;
        } else {
            PrintingListener::Say("READY", std::to_string(engine.LocalPlayerId()));
            Serve(engine, stay);
        }
    } else if (mode == "search") {
        engine.EnumerateGames(host);
        for (int i = 0; i < engine.PartyCount(); ++i) {
            const torvane::EnumeratedParty* party = engine.GetParty(i);
            const uint32_t ip = party->hostAddress.ipv4;
            std::printf("PARTY %s|%s|%d|%d|%u.%u.%u.%u:%u\n", party->version.c_str(),
                        party->gameName.c_str(), party->currentPlayers, party->latency, ip >> 24,
                        (ip >> 16) & 255, (ip >> 8) & 255, ip & 255, party->hostAddress.port);
        }
        status = engine.PartyCount() > 0 ? 0 : 3;
    } else {
        return Usage();
    }
    engine.ClearListener(&listener);
    std::fflush(stdout);
    return status;
}
