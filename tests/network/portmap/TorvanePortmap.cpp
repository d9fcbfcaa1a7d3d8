// A probe of the router port mapping for the network-namespace check: maps a port, reports how
// it settled, stays while the lease is renewed and removes the mapping at the end.
//
//   torvane-portmap <port> [--stay S] [--lease S] [--budget MS] [--no-stop] [--any-namespace]
//
// Prints "STATUS <state> <external address or -> <method or -> <ms taken>" once the asking
// settles, then "LEASE <s>" and "DETAIL <text>"; "RENEWED <n>" at each renewal. A line
// "port <n>" on standard input asks for another port (and prints STATUS again). Standard input's
// end, SIGTERM or the end of the stay stops the mapping and prints "STOPPED <ms taken>"; with
// --no-stop the mapping object is destroyed without Stop, as a session dropping it would.
//
// It looks for routers with SSDP multicast and NAT-PMP, so it refuses to run in this machine's
// own network namespace: only in one made with ip netns, unless told --any-namespace.
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/PortMapping.h"

namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t terminated = 0;

void OnTerminate(int) {
    terminated = 1;
}

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string AddressText(uint32_t address) {
    if (address == 0) {
        return "-";
    }
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xff) + "." +
           std::to_string((address >> 8) & 0xff) + "." + std::to_string(address & 0xff);
}

void PrintSettled(const platform::MappingStatus& status, long long ms) {
    std::printf("STATUS %s %s %s %lld\n", platform::MappingStateName(status.state),
                AddressText(status.publicIpv4).c_str(),
                status.method.empty() ? "-" : status.method.c_str(), ms);
    std::printf("LEASE %u\n", status.leaseSeconds);
    std::printf("DETAIL %s\n", status.detail.c_str());
    std::fflush(stdout);
}

bool ParsePort(const char* text, uint16_t& port) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 1 || value > 65535) {
        return false;
    }
    port = static_cast<uint16_t>(value);
    return true;
}

bool ParseCount(const char* text, int low, int& value) {
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > 1000000) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

// True when this process runs in a network namespace made with `ip netns add` (one of those
// mounted under /run/netns), which the checks make and remove themselves.
bool InNamedNamespace() {
    struct stat own {};
    if (stat("/proc/self/ns/net", &own) != 0) {
        return false;
    }
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/run/netns", error)) {
        struct stat named {};
        if (stat(entry.path().c_str(), &named) == 0 && named.st_dev == own.st_dev &&
            named.st_ino == own.st_ino) {
            return true;
        }
    }
    return false;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: torvane-portmap <port> [--stay S] [--lease S] [--budget MS] [--no-stop] "
                 "[--any-namespace]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return Usage();
    }
    uint16_t port = 0;
    if (!ParsePort(argv[1], port)) {
        std::fprintf(stderr, "torvane-portmap: '%s' is not a port (1-65535)\n", argv[1]);
        return 2;
    }
    int stay = 0;
    bool stop = true;
    bool anyNamespace = false;
    platform::PortMappingOptions options;
    for (int i = 2; i < argc; ++i) {
        const std::string flag = argv[i];
        const bool hasValue = i + 1 < argc;
        if (flag == "--stay" && hasValue && ParseCount(argv[i + 1], 0, stay)) {
            ++i;
        } else if (flag == "--lease" && hasValue &&
                   ParseCount(argv[i + 1], 1, options.leaseSeconds)) {
            ++i;
        } else if (flag == "--budget" && hasValue && ParseCount(argv[i + 1], 1, options.budgetMs)) {
            ++i;
        } else if (flag == "--no-stop") {
            stop = false;
        } else if (flag == "--any-namespace") {
            anyNamespace = true;
        } else {
            std::fprintf(stderr, "torvane-portmap: bad argument '%s'\n", argv[i]);
            return Usage();
        }
    }
    if (!anyNamespace && !InNamedNamespace()) {
        std::fprintf(stderr,
                     "torvane-portmap: refusing to look for routers outside a namespace made "
                     "with ip netns; run it with ip netns exec (or --any-namespace)\n");
        return 2;
    }

    struct sigaction action {};
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    auto mapping = platform::PortMapping::Create(options);
    const auto asked = Clock::now();
    mapping->Start(port);
    // The module bounds its own asking; the extra time only catches a module that would not.
    const auto limit = std::chrono::milliseconds(options.budgetMs) + std::chrono::seconds(20);
    const platform::MappingStatus first = mapping->WaitSettled(limit);
    PrintSettled(first, MsSince(asked));

    uint32_t renewals = 0;
    std::string line;
    bool input = true;
    const auto until = Clock::now() + std::chrono::seconds(stay);
    while (!terminated && Clock::now() < until) {
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (input && poll(&in, 1, 50) > 0) {
            char buffer[256];
            const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
            if (got <= 0) {
                break;  // the check closed our input: stop now
            }
            line.append(buffer, static_cast<size_t>(got));
            for (size_t end; (end = line.find('\n')) != std::string::npos; line.erase(0, end + 1)) {
                const std::string command = line.substr(0, end);
                uint16_t next = 0;
                if (command.rfind("port ", 0) == 0 && ParsePort(command.c_str() + 5, next)) {
                    renewals = 0;
                    const auto again = Clock::now();
                    mapping->Start(next);
                    const platform::MappingStatus settled = mapping->WaitSettled(limit);
                    PrintSettled(settled, MsSince(again));
                } else {
                    std::fprintf(stderr, "torvane-portmap: unknown command '%s'\n",
                                 command.c_str());
                }
            }
        } else if (!input) {
            poll(nullptr, 0, 50);
        }
        if (in.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            input = false;
        }
        const uint32_t now = mapping->Status().renewals;
        if (now != renewals) {
            renewals = now;
            std::printf("RENEWED %u\n", renewals);
            std::fflush(stdout);
        }
    }
    const auto stopping = Clock::now();
    if (stop) {
        mapping->Stop();
        const platform::MappingStatus after = mapping->Status();
        if (after.state != platform::MappingState::Off) {
            std::printf("NOT-OFF %s\n", platform::MappingStateName(after.state));
        }
    }
    mapping.reset();
    std::printf("STOPPED %lld\n", MsSince(stopping));
    return 0;
}
