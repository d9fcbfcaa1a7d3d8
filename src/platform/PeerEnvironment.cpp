// Session options taken from the environment, for running several games or tests side by side.
#include <cstdlib>
#include <string>

#include "platform/PeerSession.h"

namespace platform {
namespace {

// A port number from 1024 to 65000, or 0.
int PortFrom(const char* name) {
    const char* text = std::getenv(name);
    if (!text || !*text)
        return 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 1024 || value > 65000)
        return 0;
    return static_cast<int>(value);
}

}  // namespace

PeerOptions PeerOptionsFromEnvironment() {
    PeerOptions options;
    options.portMapping = true;
    if (const char* search = std::getenv("TORVANE_SEARCH");
        search && std::string(search) == "local") {
        options.broadcastSearch = false;
        options.portMapping = false;
    }
    if (const char* mapping = std::getenv("TORVANE_PORTMAP")) {
        if (std::string(mapping) == "0")
            options.portMapping = false;
        else if (std::string(mapping) == "1")
            options.portMapping = true;
    }
    if (const int port = PortFrom("TORVANE_PORT")) {
        const int span = options.lastPort - options.basePort;
        options.basePort = static_cast<uint16_t>(port);
        options.lastPort = static_cast<uint16_t>(port + span);
    }
    if (const int port = PortFrom("TORVANE_DISCOVERY_PORT")) {
        options.discoveryPort = static_cast<uint16_t>(port);
    }
    return options;
}

}  // namespace platform
