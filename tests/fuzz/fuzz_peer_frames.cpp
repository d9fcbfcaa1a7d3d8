// Fuzz target: the TCP stream reader and every handshake and session frame decoder.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/PeerWire.h"

using namespace platform::wire;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> input(data, size);
    // The first byte chooses how the stream is cut into reads, as the network would.
    const size_t chunk = size > 0 ? 1 + data[0] % 64 : 1;
    FrameReader reader;
    std::vector<uint8_t> body;
    for (size_t offset = 0; offset < size; offset += chunk) {
        if (!reader.Append(input.subspan(offset, std::min(chunk, size - offset))))
            break;
        while (reader.Next(body)) {
            Hello hello;
            Welcome welcome;
            MeshOk ok;
            RefuseReason reason;
            Announce announce;
            HostLost notice;
            std::vector<uint8_t> info;
            uint64_t stamp = 0;
            DecodeHello(body, hello);
            DecodeWelcome(body, welcome);
            DecodeMeshOk(body, ok);
            DecodeRefuse(body, reason);
            DecodeAnnounce(body, announce);
            DecodeHostLost(body, notice);
            DecodeInfo(body, info);
            DecodeStamp(body, FrameType::Ping, stamp);
            TypeOf(body);
            for (FrameType type : {FrameType::Relay, FrameType::Relayed}) {
                Relay relay;
                if (DecodeRelay(body, type, relay)) {
                    if (relay.inner.empty() || relay.inner.size() > kMaxRelayedBody ||
                        relay.inner.data() + relay.inner.size() != body.data() + body.size())
                        __builtin_trap();
                    Relayable(relay.inner);
                }
            }
            std::vector<int32_t> links;
            if (DecodeLinks(body, links) &&
                (links.size() > kMaxRoster || EncodeLinks(links) != body))
                __builtin_trap();
            if (welcome.roster.size() > kMaxRoster || info.size() > kMaxPeerData)
                __builtin_trap();
        }
    }
    // The whole input as one body, too.
    Hello hello;
    Welcome welcome;
    if (DecodeHello(input, hello) &&
        (EncodeHello(hello) != std::vector(input.begin(), input.end()) ||
         hello.secret.size() > kMaxJoinSecret ||
         (hello.kind == HelloKind::Mesh && !hello.secret.empty())))
        __builtin_trap();
    if (DecodeWelcome(input, welcome) && EncodeWelcome(welcome).size() != size)
        __builtin_trap();
    Announce announce;
    if (DecodeAnnounce(input, announce) &&
        EncodeAnnounce(announce) != std::vector(input.begin(), input.end()))
        __builtin_trap();
    Relay relay;
    if (DecodeRelay(input, FrameType::Relayed, relay) &&
        EncodeRelay(FrameType::Relayed, relay.peer, relay.seq, relay.ack, relay.inner) !=
            std::vector(input.begin(), input.end()))
        __builtin_trap();
    HostLost notice;
    if (DecodeHostLost(input, notice) &&
        EncodeHostLost(notice) != std::vector(input.begin(), input.end()))
        __builtin_trap();
    return 0;
}
