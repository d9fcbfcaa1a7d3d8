// The router port mapping on libminiupnpc (UPnP IGD) and libnatpmp (NAT-PMP), run on a thread
// of its own so that a silent network never holds up the session.
#include "platform/PortMapping.h"

#include <arpa/inet.h>
#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <miniupnpc/upnperrors.h>
#include <natpmp.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

const char* MappingStateName(MappingState state) {
    switch (state) {
        case MappingState::Off:
            return "Off";
        case MappingState::Asking:
            return "Asking";
        case MappingState::Mapped:
            return "Mapped";
        case MappingState::Unavailable:
            return "Unavailable";
    }
    return "Off";
}

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// UPnP discovery alone takes a second; this leaves NAT-PMP half a second for its two first tries.
constexpr int kLeastBudgetMs = 1500;
constexpr const char* kDescription = "Torvane";
// The IGD error for "this router only keeps permanent mappings".
constexpr int kOnlyPermanentLeases = 725;

// Cut short by a stop, or by a new port asked for while asking for the old one.
using Interrupted = std::function<bool()>;

// A dotted IPv4 text as a host-order address; 0 for anything else (routers are not trusted).
uint32_t ParseIpv4(const char* text) {
    in_addr address{};
    if (text == nullptr || inet_pton(AF_INET, text, &address) != 1) {
        return 0;
    }
    return ntohl(address.s_addr);
}

std::string Ipv4Text(uint32_t address) {
    in_addr raw{};
    raw.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &raw, text, sizeof text);
    return text;
}

class DeviceList {
  public:
    explicit DeviceList(UPNPDev* list) : list_(list) {}
    ~DeviceList() {
        if (list_ != nullptr) {
            freeUPNPDevlist(list_);
        }
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;
    UPNPDev* get() const { return list_; }

  private:
    UPNPDev* list_;
};

// The leases one method made, which renewals repeat and the end removes.
class Lease {
  public:
    virtual ~Lease() = default;
    virtual const char* Method() const = 0;
    virtual uint32_t PublicIpv4() const = 0;
    // Seconds granted; 0 for permanent mappings, which need no renewal.
    virtual uint32_t Seconds() const = 0;
    virtual std::string Detail() const = 0;
    virtual bool Renew(Clock::time_point deadline, const Interrupted& interrupted) = 0;
    // Removes whatever is still mapped; gives up at `deadline`.
    virtual void Remove(Clock::time_point deadline) = 0;
};

// UPnP IGD: the control URL of the gateway found, kept for renewals and removal.
class UpnpLease final : public Lease {
  public:
    UpnpLease() = default;
    ~UpnpLease() override { FreeUPNPUrls(&urls_); }
    UpnpLease(const UpnpLease&) = delete;
    UpnpLease& operator=(const UpnpLease&) = delete;

    // Discovers the IGD and maps TCP and UDP `port`; null (with `why`) when it cannot.
    static std::unique_ptr<UpnpLease> Make(uint16_t port, int leaseSeconds, int discoveryMs,
                                           const Interrupted& interrupted, std::string& why) {
        // Gateways answer to any of these; searching them all at once costs one wait instead of
        // one each when nobody answers.
        static const char* const kGatewayTypes[] = {
            "urn:schemas-upnp-org:device:InternetGatewayDevice:1",
            "urn:schemas-upnp-org:device:InternetGatewayDevice:2",
            "urn:schemas-upnp-org:service:WANIPConnection:1",
            "urn:schemas-upnp-org:service:WANIPConnection:2",
            "urn:schemas-upnp-org:service:WANPPPConnection:1",
            nullptr,
        };
        int error = 0;
        DeviceList devices(upnpDiscoverDevices(kGatewayTypes, discoveryMs, nullptr, nullptr,
                                               UPNP_LOCAL_PORT_ANY, 0, 2, &error, 1));
        if (devices.get() == nullptr) {
            why = "no UPnP device answered";
            return nullptr;
        }
        if (interrupted()) {
            return nullptr;
        }
        auto lease = std::make_unique<UpnpLease>();
        char lan[64] = {};
        const int found =
            UPNP_GetValidIGD(devices.get(), &lease->urls_, &lease->igd_, lan, sizeof lan);
        // 1: a connected IGD; 2: an IGD that says its wan link is down, which may be wrong and
        // costs one refused request at most. Anything else is not a gateway.
        if ((found != 1 && found != 2) || lease->urls_.controlURL == nullptr ||
            lease->igd_.first.servicetype[0] == '\0') {
            why = "no Internet gateway among the UPnP devices";
            return nullptr;
        }
        lease->lan_ = ParseIpv4(lan);
        if (lease->lan_ == 0) {
            why = "UPnP gateway reached from no IPv4 address of this machine";
            return nullptr;
        }
        lease->lanText_ = Ipv4Text(lease->lan_);
        lease->port_ = std::to_string(port);
        lease->seconds_ = leaseSeconds;
        if (!lease->MapBoth(why)) {
            return nullptr;  // MapBoth removed what it had made
        }
        char external[40] = {};
        if (UPNP_GetExternalIPAddress(lease->urls_.controlURL, lease->igd_.first.servicetype,
                                      external) == UPNPCOMMAND_SUCCESS) {
            external[sizeof external - 1] = '\0';
            lease->public_ = ParseIpv4(external);
        }
        return lease;
    }

    const char* Method() const override { return "UPnP"; }
    uint32_t PublicIpv4() const override { return public_; }
    uint32_t Seconds() const override {
        for (const Entry& entry : entries_) {
            if (entry.lease != "0") {
                return static_cast<uint32_t>(seconds_);
            }
        }
        return 0;
    }
    std::string Detail() const override {
        return "UPnP gateway " + std::string(urls_.controlURL) + ", internal client " + lanText_;
    }

    bool Renew(Clock::time_point, const Interrupted&) override {
        for (const Entry& entry : entries_) {
            if (entry.lease != "0" && Add(entry.protocol, entry.lease) != UPNPCOMMAND_SUCCESS) {
                return false;
            }
        }
        return true;
    }

    void Remove(Clock::time_point deadline) override {
        for (const Entry& entry : entries_) {
            if (Clock::now() >= deadline) {
                break;
            }
            UPNP_DeletePortMapping(urls_.controlURL, igd_.first.servicetype, port_.c_str(),
                                   entry.protocol, nullptr);
        }
        entries_.clear();
    }

  private:
    struct Entry {
        const char* protocol;
        std::string lease;
    };

    int Add(const char* protocol, const std::string& lease) {
        return UPNP_AddPortMapping(urls_.controlURL, igd_.first.servicetype, port_.c_str(),
                                   port_.c_str(), lanText_.c_str(), kDescription, protocol, nullptr,
                                   lease.c_str());
    }

    bool MapBoth(std::string& why) {
        for (const char* protocol : {"TCP", "UDP"}) {
            std::string lease = std::to_string(seconds_);
            int result = Add(protocol, lease);
            if (result == kOnlyPermanentLeases) {
                lease = "0";
                result = Add(protocol, lease);
            }
            if (result != UPNPCOMMAND_SUCCESS) {
                const char* text = strupnperror(result);
                why = std::string("UPnP gateway refused ") + protocol + " " + port_ + ": " +
                      std::to_string(result) + " " + (text != nullptr ? text : "");
                Remove(Clock::time_point::max());
                return false;
            }
            entries_.push_back({protocol, std::move(lease)});
        }
        return true;
    }

    UPNPUrls urls_{};
    IGDdatas igd_{};
    uint32_t lan_ = 0;
    std::string lanText_;
    std::string port_;
    int seconds_ = 0;
    uint32_t public_ = 0;
    std::vector<Entry> entries_;
};

const char* NatPmpErrorText(int result) {
    switch (result) {
        case NATPMP_TRYAGAIN:
            return "no answer in time";
        case NATPMP_ERR_RECVFROM:
            return "gateway unreachable";
        case NATPMP_ERR_NOGATEWAYSUPPORT:
            return "gateway does not speak NAT-PMP";
        case NATPMP_ERR_UNSUPPORTEDVERSION:
            return "unsupported version";
        case NATPMP_ERR_UNSUPPORTEDOPCODE:
            return "unsupported request";
        case NATPMP_ERR_NOTAUTHORIZED:
            return "not authorized";
        case NATPMP_ERR_NETWORKFAILURE:
            return "gateway has no external address";
        case NATPMP_ERR_OUTOFRESOURCES:
            return "gateway out of resources";
        case NATPMP_ERR_WRONGPACKETSOURCE:
            return "answer from another address";
        default:
            return "error";
    }
}

// An answer from a NAT-PMP gateway that refuses the request, as opposed to no answer or one
// from something that does not speak the protocol.
bool Refused(int result) {
    return result == NATPMP_ERR_UNDEFINEDERROR || result == NATPMP_ERR_NOTAUTHORIZED ||
           result == NATPMP_ERR_NETWORKFAILURE || result == NATPMP_ERR_OUTOFRESOURCES;
}

// NAT-PMP: one socket to the default gateway, one request in flight at a time.
class NatPmpLease final : public Lease {
  public:
    NatPmpLease() = default;
    ~NatPmpLease() override {
        if (open_) {
            closenatpmp(&natpmp_);
        }
    }
    NatPmpLease(const NatPmpLease&) = delete;
    NatPmpLease& operator=(const NatPmpLease&) = delete;

    static std::unique_ptr<NatPmpLease> Make(uint16_t port, int leaseSeconds,
                                             Clock::time_point deadline,
                                             const Interrupted& interrupted, std::string& why) {
        auto lease = std::make_unique<NatPmpLease>();
        const int opened = initnatpmp(&lease->natpmp_, 0, 0);
        if (opened != 0) {
            why = opened == NATPMP_ERR_CANNOTGETGATEWAY ? "NAT-PMP: no default gateway"
                                                        : "NAT-PMP: no socket";
            return nullptr;
        }
        lease->open_ = true;
        lease->port_ = port;
        lease->asked_ = static_cast<uint32_t>(leaseSeconds);
        natpmpresp_t answer{};
        const int result = lease->Exchange(
            [&] { return sendpublicaddressrequest(&lease->natpmp_); },
            [](const natpmpresp_t& a) { return a.type == NATPMP_RESPTYPE_PUBLICADDRESS; }, answer,
            deadline, interrupted);
        if (result == 0) {
            lease->public_ = ntohl(answer.pnu.publicaddress.addr.s_addr);
        } else if (Refused(result)) {
            // The gateway answered with a refusal (no external address yet, for instance): the
            // mapping requests below say whether it forwards anyway.
        } else {
            why = std::string("NAT-PMP: ") + NatPmpErrorText(result);
            return nullptr;
        }
        if (!lease->MapBoth(deadline, interrupted, why)) {
            return nullptr;
        }
        return lease;
    }

    const char* Method() const override { return "NAT-PMP"; }
    uint32_t PublicIpv4() const override { return public_; }
    uint32_t Seconds() const override { return granted_; }
    std::string Detail() const override {
        in_addr gateway{};
        gateway.s_addr = natpmp_.gateway;
        return "NAT-PMP gateway " + Ipv4Text(ntohl(gateway.s_addr));
    }

    bool Renew(Clock::time_point deadline, const Interrupted& interrupted) override {
        std::string why;
        return MapBoth(deadline, interrupted, why);
    }

    void Remove(Clock::time_point deadline) override {
        for (const int protocol : mapped_) {
            natpmpresp_t answer{};
            // A lifetime of 0 with external port 0 removes the mapping of this internal port.
            Exchange([&] { return sendnewportmappingrequest(&natpmp_, protocol, port_, 0, 0); },
                     MatchMapping(protocol), answer, deadline, [] { return false; });
        }
        mapped_.clear();
    }

  private:
    std::function<bool(const natpmpresp_t&)> MatchMapping(int protocol) const {
        const uint16_t type = protocol == NATPMP_PROTOCOL_TCP ? NATPMP_RESPTYPE_TCPPORTMAPPING
                                                              : NATPMP_RESPTYPE_UDPPORTMAPPING;
        return [type, port = port_](const natpmpresp_t& a) {
            return a.type == type && a.pnu.newportmapping.privateport == port;
        };
    }

    // Maps (or maps again, which renews) TCP then UDP; on any failure removes both.
    bool MapBoth(Clock::time_point deadline, const Interrupted& interrupted, std::string& why) {
        uint32_t granted = 0;
        for (const int protocol : {NATPMP_PROTOCOL_TCP, NATPMP_PROTOCOL_UDP}) {
            const char* name = protocol == NATPMP_PROTOCOL_TCP ? "TCP" : "UDP";
            natpmpresp_t answer{};
            const int result = Exchange(
                [&] { return sendnewportmappingrequest(&natpmp_, protocol, port_, port_, asked_); },
                MatchMapping(protocol), answer, deadline, interrupted);
            if (result != 0) {
                why = std::string("NAT-PMP: ") + name + " " + std::to_string(port_) + ": " +
                      NatPmpErrorText(result);
                Remove(deadline + milliseconds(500));
                return false;
            }
            if (std::find(mapped_.begin(), mapped_.end(), protocol) == mapped_.end()) {
                mapped_.push_back(protocol);
            }
            const auto& mapping = answer.pnu.newportmapping;
            // Peers are told our listening port, so another external port is of no use.
            if (mapping.mappedpublicport != port_ || mapping.lifetime == 0) {
                why = std::string("NAT-PMP: ") + name + " " + std::to_string(port_) +
                      " mapped from external port " + std::to_string(mapping.mappedpublicport) +
                      " for " + std::to_string(mapping.lifetime) + " s";
                Remove(deadline + milliseconds(500));
                return false;
            }
            granted = granted == 0 ? mapping.lifetime : std::min(granted, mapping.lifetime);
        }
        granted_ = granted;
        return true;
    }

    // Sends a request and waits for the answer that `matches` it, letting libnatpmp resend with
    // its own back-off, until `deadline`. 0 with `answer` filled, or a libnatpmp error
    // (NATPMP_TRYAGAIN when time ran out or `interrupted` said so).
    int Exchange(const std::function<int()>& send,
                 const std::function<bool(const natpmpresp_t&)>& matches, natpmpresp_t& answer,
                 Clock::time_point deadline, const Interrupted& interrupted) {
        if (send() < 0) {
            return NATPMP_ERR_SENDERR;
        }
        for (;;) {
            const int result = readnatpmpresponseorretry(&natpmp_, &answer);
            if (result == 0 && !matches(answer)) {
                // A late answer to an earlier request: ask this one again.
                if (Clock::now() >= deadline || interrupted()) {
                    return NATPMP_TRYAGAIN;
                }
                if (send() < 0) {
                    return NATPMP_ERR_SENDERR;
                }
                continue;
            }
            if (result != NATPMP_TRYAGAIN) {
                return result;
            }
            const auto now = Clock::now();
            if (now >= deadline || interrupted()) {
                return NATPMP_TRYAGAIN;
            }
            timeval retry{};
            int waitMs = 50;  // short slices, so that a stop is seen promptly
            if (getnatpmprequesttimeout(&natpmp_, &retry) == 0) {
                const long untilRetry = retry.tv_sec * 1000L + retry.tv_usec / 1000L;
                waitMs = static_cast<int>(std::clamp(untilRetry, 0L, 50L));
            }
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - now).count();
            waitMs = static_cast<int>(std::min<long long>(waitMs, left + 1));
            pollfd socket{natpmp_.s, POLLIN, 0};
            poll(&socket, 1, waitMs);
        }
    }

    natpmp_t natpmp_{};
    bool open_ = false;
    uint16_t port_ = 0;
    uint32_t asked_ = 0;
    uint32_t granted_ = 0;
    uint32_t public_ = 0;
    std::vector<int> mapped_;
};

class RouterPortMapping final : public PortMapping {
  public:
    explicit RouterPortMapping(const PortMappingOptions& options)
        : budget_(std::max(options.budgetMs, kLeastBudgetMs)),
          leaseSeconds_(options.leaseSeconds >= 1 ? options.leaseSeconds : 3600) {}

    ~RouterPortMapping() override { Stop(); }

    void Start(uint16_t port) override {
        std::lock_guard control(control_);
        if (port == 0) {
            StopThread();
            std::lock_guard lock(mutex_);
            status_ = {};
            status_.state = MappingState::Unavailable;
            status_.detail = "no port to forward";
            settled_.notify_all();
            return;
        }
        {
            std::lock_guard lock(mutex_);
            if (thread_.joinable() && wanted_ == port &&
                (status_.state == MappingState::Asking || status_.state == MappingState::Mapped)) {
                return;  // already asked for or mapped: asking again would only churn the router
            }
            wanted_ = port;
            generation_.fetch_add(1);
            status_ = {};
            status_.state = MappingState::Asking;
            status_.port = port;
        }
        wake_.notify_all();
        if (!thread_.joinable()) {
            try {
                thread_ = std::thread(&RouterPortMapping::Run, this);
            } catch (const std::system_error&) {
                std::lock_guard lock(mutex_);
                status_.state = MappingState::Unavailable;
                status_.detail = "no thread for the port mapping";
                settled_.notify_all();
            }
        }
    }

    void Stop() override {
        std::lock_guard control(control_);
        StopThread();
        std::lock_guard lock(mutex_);
        status_ = {};
        settled_.notify_all();
    }

    MappingStatus Status() const override {
        std::lock_guard lock(mutex_);
        return status_;
    }

    uint32_t PublicAddress() const override {
        std::lock_guard lock(mutex_);
        return status_.state == MappingState::Mapped ? status_.publicIpv4 : 0;
    }

    MappingStatus WaitSettled(milliseconds limit) const override {
        std::unique_lock lock(mutex_);
        settled_.wait_for(lock, limit, [&] { return status_.state != MappingState::Asking; });
        return status_;
    }

  private:
    void StopThread() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) {
            thread_.join();
        }
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }

    // Asks UPnP then NAT-PMP within the budget; null (with `why`) when neither maps the port.
    std::unique_ptr<Lease> Ask(uint16_t port, const Interrupted& interrupted, std::string& why) {
        const auto deadline = Clock::now() + budget_;
        // Discovery listens for its whole delay, and libminiupnpc makes that a second at least;
        // NAT-PMP has what is left.
        const int discoveryMs =
            static_cast<int>(std::max<long long>(1000, budget_.count() * 2 / 5));
        std::string upnpWhy;
        if (auto lease = UpnpLease::Make(port, leaseSeconds_, discoveryMs, interrupted, upnpWhy)) {
            return lease;
        }
        if (interrupted()) {
            return nullptr;
        }
        std::string natPmpWhy;
        if (auto lease = NatPmpLease::Make(port, leaseSeconds_, deadline, interrupted, natPmpWhy)) {
            return lease;
        }
        why = upnpWhy + "; " + natPmpWhy;
        return nullptr;
    }

    // The mapping thread: asks for the wanted port, renews at half the lease, asks again when a
    // renewal fails or another port is wanted, and removes what it mapped on the way out.
    void Run() {
        std::unique_ptr<Lease> lease;
        uint64_t served = 0;
        bool askAgain = false;
        Clock::time_point renewAt{};
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            const uint64_t generation = generation_.load();
            if (generation != served || askAgain) {
                served = generation;
                askAgain = false;
                const uint16_t port = wanted_;
                lock.unlock();
                if (lease) {
                    lease->Remove(Clock::now() + budget_);
                    lease.reset();
                }
                const Interrupted interrupted = [this, generation] {
                    return stopping_.load() || generation_.load() != generation;
                };
                std::string why;
                lease = Ask(port, interrupted, why);
                lock.lock();
                if (stopping_ || generation_.load() != generation) {
                    continue;  // replaced or stopped: the lease is removed above or below
                }
                if (lease) {
                    status_.state = MappingState::Mapped;
                    status_.publicIpv4 = lease->PublicIpv4();
                    status_.method = lease->Method();
                    status_.leaseSeconds = lease->Seconds();
                    status_.detail = lease->Detail();
                    renewAt = Clock::now() + RenewalDelay(lease->Seconds());
                } else {
                    status_.state = MappingState::Unavailable;
                    status_.publicIpv4 = 0;
                    status_.method.clear();
                    status_.leaseSeconds = 0;
                    status_.detail = why;
                }
                settled_.notify_all();
                continue;
            }
            const auto changed = [&] { return stopping_ || generation_.load() != served; };
            if (!lease || lease->Seconds() == 0) {
                wake_.wait(lock, changed);
                continue;
            }
            if (wake_.wait_until(lock, renewAt, changed)) {
                continue;
            }
            lock.unlock();
            const Interrupted interrupted = [this] { return stopping_.load(); };
            const bool renewed = lease->Renew(Clock::now() + budget_, interrupted);
            lock.lock();
            if (renewed) {
                ++status_.renewals;
                status_.leaseSeconds = lease->Seconds();
                renewAt = Clock::now() + RenewalDelay(lease->Seconds());
            } else if (!stopping_) {
                // The router forgot us (a reboot, say): ask from the start, as for a new port,
                // once what may be left of the old mappings is removed.
                status_.state = MappingState::Asking;
                askAgain = true;
            }
        }
        lock.unlock();
        if (lease) {
            lease->Remove(Clock::now() + budget_);
        }
    }

    static Clock::duration RenewalDelay(uint32_t seconds) {
        return std::max<Clock::duration>(milliseconds(seconds * 500LL), milliseconds(500));
    }

    const milliseconds budget_;
    const int leaseSeconds_;

    std::mutex control_;  // serialises Start and Stop, which own the thread
    std::thread thread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable settled_;
    std::condition_variable wake_;
    MappingStatus status_;
    uint16_t wanted_ = 0;
    std::atomic<uint64_t> generation_{0};
    // Written under `mutex_` (for the waits), read without it by the library calls' loops.
    std::atomic<bool> stopping_{false};
};

}  // namespace

std::unique_ptr<PortMapping> PortMapping::Create(const PortMappingOptions& options) {
    return std::make_unique<RouterPortMapping>(options);
}

}  // namespace platform
