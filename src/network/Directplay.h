// The network engine: the session, the players table, the phase protocol and the game messages.
//
// Game messages (little-endian, one buffer each, type byte first):
//   0  0x00 | int32 number | zero-terminated text   -> OnTextMessage(sender, text, number)
//   1  0x01 | 104 x TerritoryInfo (2912 bytes)      -> OnTerritories(table)
//   2  0x02 | int32 number                          -> OnValueMessage(sender, number)
//   3  0x03 | uint8 value                           -> OnByteMessage(value)
// Anything shorter than its layout, and any other type, is dropped.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "network/Playerinfo.h"
#include "platform/PeerSession.h"

namespace torvane {

// The version every host announces before its game name, and the only one the browser joins.
inline constexpr const char* kProtocolVersionText = "3.00a";
inline constexpr size_t kMaxGameNameLength = 58;  // keeps the whole session name on the wire

struct HostAddress {
    uint32_t ipv4 = 0;  // host byte order
    uint16_t port = 0;
    bool operator==(const HostAddress&) const = default;
};

struct EnumeratedParty {
    std::string gameName;  // Windows-1252
    int32_t currentPlayers = 0;
    int32_t latency = 0;
    std::string version;  // Windows-1252
    HostAddress hostAddress;
};

// Splits a session name at its first blank into version and game name; without a blank the
// whole name is the version. Control characters are replaced and both parts are capped.
void SplitSessionName(const std::string& sessionName, std::string& version, std::string& gameName);

// Decodes one received game message; false (nothing set) when it is not a complete, known
// message.
struct GameMessage {
    uint8_t type = 0;
    int32_t number = 0;
    uint8_t value = 0;
    std::string text;
    TerritoryTable table{};
};
bool DecodeGameMessage(std::span<const uint8_t> bytes, GameMessage& out);

class Listener {
  public:
    virtual ~Listener() = default;
    virtual void OnPlayerJoined(const std::string& name) = 0;
    virtual void OnPlayerLost(const std::string& name) = 0;
    virtual void OnPlayerRemoved(const std::string& name) = 0;
    virtual void OnTextMessage(int32_t senderId, const std::string& text, int32_t number) = 0;
    virtual void OnTerritories(const TerritoryTable& table) = 0;
    virtual void OnValueMessage(int32_t senderId, int32_t number) = 0;
    virtual void OnByteMessage(uint8_t value) = 0;
    virtual void OnSessionTerminated() = 0;
};

class DirectPlay {
  public:
    explicit DirectPlay(const std::string& playerName);
    // Tests and tools choose ports and time-outs.
    DirectPlay(const std::string& playerName, const platform::PeerOptions& options);
    ~DirectPlay();
    DirectPlay(const DirectPlay&) = delete;
    DirectPlay& operator=(const DirectPlay&) = delete;

    bool HostGame(const std::string& gameName);
    void EnumerateGames(const std::string& hostName);
    int PartyCount() const;
    const EnumeratedParty* GetParty(int index) const;
    void ClearParties();
    bool JoinGame(const HostAddress& hostAddress);
    void StopAcceptingPlayers();
    bool IsHost() const;

    int PlayerCount() const;
    bool CopyPlayer(int32_t playerId, PlayerInfo& out) const;
    bool CopyPlayerAt(uint8_t index, PlayerInfo& out) const;
    int32_t GetLatency(int32_t playerId) const;
    bool PublishLocalPlayer(const PlayerInfo& record);

    void SendTerritoryTable(const TerritoryTable& table);
    void SendObjective(int32_t playerId, uint8_t value);

    uint32_t LocalStatus() const;
    bool FollowHostPhase();
    void SetReady();
    void ClearReady();
    bool AllReady() const;
    void AdvancePhase();

    int32_t LocalPlayerId() const { return localPlayerId_.load(); }
    int32_t HostPlayerId() const { return hostPlayerId_.load(); }

    // Listener events are queued on the network thread and delivered on the main thread.
    void SetListener(Listener* listener);
    void ClearListener(Listener* listener);
    void DeliverEvents();

    // What the session refused so far (diagnostics and tests); zeros without a session.
    platform::PeerStats SessionStats() const;
    // Test hook: the connection to `playerId` goes silent both ways, as behind a firewall.
    void SeverLinkForTest(int32_t playerId);

  private:
    class Handler;
    friend class Handler;

    void Create(const platform::PeerOptions& options);
    void UpdatePlayer(int32_t playerId);
    void DestroyPlayer(int32_t playerId, platform::DestroyReason reason);
    void Receive(int32_t senderId, std::span<const uint8_t> bytes);
    void Queue(std::function<void(Listener&)> event);

    const std::string playerName_;
    std::unique_ptr<Handler> handler_;
    std::unique_ptr<platform::PeerSession> peer_;
    std::atomic<bool> acceptingPlayers_{true};

    mutable std::mutex partiesLock_;
    std::vector<std::unique_ptr<EnumeratedParty>> parties_;

    mutable std::mutex playersLock_;
    std::optional<std::vector<PlayerInfo>> players_;  // empty once the engine is going away

    std::mutex listenerLock_;
    Listener* listener_ = nullptr;
    // Set between a listener leaving and the next one registering: events are kept for it.
    bool handOver_ = false;
    std::deque<std::function<void(Listener&)>> events_;
    static constexpr size_t kMaxQueuedEvents = 4096;

    std::atomic<int32_t> localPlayerId_{0};
    std::atomic<int32_t> hostPlayerId_{0};
};

}  // namespace torvane
