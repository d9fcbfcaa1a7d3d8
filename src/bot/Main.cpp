// torvane-bot: a computer player as a program of its own (see bot/Bot.h). Needs no display, no
// sound and no settings file.
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>

#include "bot/Bot.h"

namespace {

std::atomic<bool> stopRequested{false};

void RequestStop(int) {
    stopRequested.store(true);
}

}  // namespace

int main(int argc, char** argv) {
    torvane::bot::BotOptions options;
    options.peer = platform::PeerOptionsFromEnvironment();
    std::string error;
    if (!torvane::bot::ParseArguments(std::span<const char* const>(argv + 1, argc - 1), options,
                                      error)) {
        std::fprintf(stderr, "torvane-bot: %s\n%s", error.c_str(), torvane::bot::Usage());
        return 2;
    }
    if (options.host.empty() && options.port != 0) {
        // Without an address the port moves the search's range of host ports (as TORVANE_PORT).
        const int span = options.peer.lastPort - options.peer.basePort;
        options.peer.basePort = options.port;
        options.peer.lastPort = static_cast<uint16_t>(std::min(65535, options.port + span));
        options.port = 0;
    }
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    const torvane::bot::BotEnd end =
        torvane::bot::RunBot(options, stopRequested, [](const std::string& line) {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        });
    return end == torvane::bot::BotEnd::NoGame ? 1 : 0;
}
