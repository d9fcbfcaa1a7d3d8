// Router port mapping for a running session: asks the home router (UPnP IGD, then NAT-PMP) to
// forward this machine's TCP and UDP session port from the same external port, keeps the lease
// alive and removes the mappings when the session ends. Never required: a router that says no,
// or none at all, only leaves the state Unavailable.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

enum class MappingState { Off, Asking, Mapped, Unavailable };

struct MappingStatus {
    MappingState state = MappingState::Off;
    // The router's external address in host byte order, 0 while unknown. Only what the router
    // said: it may well be private (a router behind another one) and is never checked further.
    uint32_t publicIpv4 = 0;
    uint16_t port = 0;      // the port asked for (mapped from the same external port)
    std::string method;     // "UPnP" or "NAT-PMP" while mapped, empty otherwise
    uint32_t renewals = 0;  // leases renewed since the port was asked for
    // The lease the router granted, in seconds; 0 for a permanent mapping (an IGD that takes no
    // other), which is then never renewed but still removed at the end.
    uint32_t leaseSeconds = 0;
    // Why the mapping is unavailable or what the router answered, for the log; never shown as an
    // error to the player.
    std::string detail;
};

struct PortMappingOptions {
    // The longest that asking may take when no router answers or every router refuses (UPnP
    // discovery and NAT-PMP together); also the bound on the removal at Stop. UPnP discovery
    // alone listens for a second, so values below 1500 ms are taken as 1500 ms.
    int budgetMs = 2000;
    // The lease asked for; renewed at half of what the router grants. Values below 1 are taken
    // as the default hour (a permanent mapping would outlive a crashed game).
    int leaseSeconds = 3600;
};

class PortMapping {
  public:
    virtual ~PortMapping() = default;  // stops, as Stop does

    static std::unique_ptr<PortMapping> Create(const PortMappingOptions& options = {});

    // Asks, on a thread of its own, for TCP and UDP `port` of this machine to be forwarded from
    // the same external port; returns at once with the state Asking. Asking again with another
    // port replaces the mappings already made; with the same port, while it is asked for or
    // mapped, changes nothing. Port 0 stops any mapping and leaves the state Unavailable.
    virtual void Start(uint16_t port) = 0;
    // Removes the mappings it made and stops its thread; returns within about the budget even
    // when the router no longer answers. The state is Off afterwards; Start may be called again.
    virtual void Stop() = 0;
    // Safe from any thread.
    virtual MappingStatus Status() const = 0;
    // The router's external address while mapped, else 0; copies nothing, for every frame.
    virtual uint32_t PublicAddress() const = 0;
    // Waits until the state is no longer Asking or `limit` has passed, and returns the status.
    virtual MappingStatus WaitSettled(std::chrono::milliseconds limit) const = 0;
};

// "Off", "Asking", "Mapped" or "Unavailable", for logs and the probe program.
const char* MappingStateName(MappingState state);

}  // namespace platform
