// Wire format of the peer session: bounds-checked byte readers, frames, handshakes, discovery.
#include "platform/PeerWire.h"

#include <algorithm>
#include <cstring>

namespace platform::wire {
namespace {

constexpr uint8_t kQueryKind = 0x51;
constexpr uint8_t kAnswerKind = 0x41;

std::vector<uint8_t> Start(FrameType type) {
    return {static_cast<uint8_t>(type)};
}

bool ReadType(ByteReader& reader, FrameType type) {
    uint8_t value = 0;
    return reader.U8(value) && value == static_cast<uint8_t>(type);
}

bool ReadData(ByteReader& reader, std::vector<uint8_t>& out) {
    uint16_t length = 0;
    std::span<const uint8_t> bytes;
    if (!reader.U16(length) || length > kMaxPeerData || !reader.Bytes(length, bytes))
        return false;
    out.assign(bytes.begin(), bytes.end());
    return true;
}

bool ReadName(ByteReader& reader, std::u16string& out) {
    uint16_t units = 0;
    if (!reader.U16(units) || units > kMaxNameUnits)
        return false;
    std::u16string name;
    for (uint16_t i = 0; i < units; ++i) {
        uint16_t unit = 0;
        if (!reader.U16(unit))
            return false;
        name.push_back(static_cast<char16_t>(unit));
    }
    out = std::move(name);
    return true;
}

void WriteName(ByteWriter& writer, const std::u16string& name) {
    const size_t units = std::min(name.size(), kMaxNameUnits);
    writer.U16(static_cast<uint16_t>(units));
    for (size_t i = 0; i < units; ++i)
        writer.U16(static_cast<uint16_t>(name[i]));
}

void WriteData(ByteWriter& writer, std::span<const uint8_t> data) {
    const size_t length = std::min(data.size(), kMaxPeerData);
    writer.U16(static_cast<uint16_t>(length));
    writer.Bytes(data.first(length));
}

}  // namespace

bool ByteReader::U8(uint8_t& value) {
    if (Remaining() < 1)
        return false;
    value = bytes_[position_++];
    return true;
}

bool ByteReader::U16(uint16_t& value) {
    if (Remaining() < 2)
        return false;
    value = static_cast<uint16_t>(bytes_[position_] | (bytes_[position_ + 1] << 8));
    position_ += 2;
    return true;
}

bool ByteReader::U32(uint32_t& value) {
    if (Remaining() < 4)
        return false;
    value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | bytes_[position_ + i];
    position_ += 4;
    return true;
}

bool ByteReader::I32(int32_t& value) {
    uint32_t raw = 0;
    if (!U32(raw))
        return false;
    value = static_cast<int32_t>(raw);
    return true;
}

bool ByteReader::U64(uint64_t& value) {
    if (Remaining() < 8)
        return false;
    value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | bytes_[position_ + i];
    position_ += 8;
    return true;
}

bool ByteReader::Bytes(size_t count, std::span<const uint8_t>& out) {
    if (Remaining() < count)
        return false;
    out = bytes_.subspan(position_, count);
    position_ += count;
    return true;
}

bool ByteReader::Preamble() {
    std::span<const uint8_t> magic, guid;
    uint16_t version = 0;
    return Bytes(kMagic.size(), magic) && std::equal(magic.begin(), magic.end(), kMagic.begin()) &&
           U16(version) && version == kProtocolVersion && Bytes(kApplicationGuid.size(), guid) &&
           std::equal(guid.begin(), guid.end(), kApplicationGuid.begin());
}

void ByteWriter::U16(uint16_t value) {
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void ByteWriter::U32(uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void ByteWriter::U64(uint64_t value) {
    for (int i = 0; i < 8; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void ByteWriter::Preamble() {
    Bytes(kMagic);
    U16(kProtocolVersion);
    Bytes(kApplicationGuid);
}

bool FrameReader::Append(std::span<const uint8_t> bytes) {
    if (failed_)
        return false;
    // Drop what was already handed out, so the buffer stays near one frame.
    if (consumed_ > 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<ptrdiff_t>(consumed_));
        tail_ -= consumed_;
        consumed_ = 0;
    }
    size_t offset = 0;
    while (offset < bytes.size()) {
        // Take only what completes the current header or body: a length prefix is checked
        // as soon as it is whole, before a single byte of its body is buffered.
        const size_t pending = buffer_.size() - tail_;
        const size_t want = pending < 4 ? 4 - pending : 4 + LengthAt(tail_) - pending;
        const size_t take = std::min(want, bytes.size() - offset);
        buffer_.insert(buffer_.end(), bytes.begin() + static_cast<ptrdiff_t>(offset),
                       bytes.begin() + static_cast<ptrdiff_t>(offset + take));
        offset += take;
        const size_t now = buffer_.size() - tail_;
        if (now < 4)
            continue;
        const uint32_t length = LengthAt(tail_);
        if (length == 0 || length > kMaxFrameSize) {
            failed_ = true;
            buffer_.clear();
            consumed_ = tail_ = 0;
            return false;
        }
        if (now == 4 + length)
            tail_ = buffer_.size();
    }
    return true;
}

uint32_t FrameReader::LengthAt(size_t position) const {
    ByteReader reader(std::span<const uint8_t>(buffer_).subspan(position, 4));
    uint32_t length = 0;
    reader.U32(length);
    return length;
}

bool FrameReader::Next(std::vector<uint8_t>& body) {
    if (failed_ || consumed_ >= tail_)
        return false;
    const uint32_t length = LengthAt(consumed_);
    const auto begin = buffer_.begin() + static_cast<ptrdiff_t>(consumed_ + 4);
    body.assign(begin, begin + length);
    consumed_ += 4 + length;
    return true;
}

std::vector<uint8_t> MakeFrame(std::span<const uint8_t> body) {
    ByteWriter writer;
    writer.U32(static_cast<uint32_t>(body.size()));
    writer.Bytes(body);
    return std::move(writer.bytes);
}

std::vector<uint8_t> EncodeHello(const Hello& hello) {
    ByteWriter writer;
    writer.bytes = Start(FrameType::Hello);
    writer.Preamble();
    writer.U8(static_cast<uint8_t>(hello.kind));
    writer.I32(hello.playerId);
    writer.U64(hello.session);
    writer.U64(hello.token);
    writer.U16(hello.listenPort);
    WriteData(writer, hello.data);
    const size_t secret =
        hello.kind == HelloKind::Join ? std::min(hello.secret.size(), kMaxJoinSecret) : 0;
    writer.U8(static_cast<uint8_t>(secret));
    writer.Bytes(std::span(hello.secret).first(secret));
    return std::move(writer.bytes);
}

bool DecodeHello(std::span<const uint8_t> body, Hello& out) {
    ByteReader reader(body);
    uint8_t kind = 0;
    uint8_t secretLength = 0;
    std::span<const uint8_t> secret;
    Hello hello;
    if (!ReadType(reader, FrameType::Hello) || !reader.Preamble() || !reader.U8(kind) ||
        kind > static_cast<uint8_t>(HelloKind::Mesh) || !reader.I32(hello.playerId) ||
        !reader.U64(hello.session) || !reader.U64(hello.token) || !reader.U16(hello.listenPort) ||
        !ReadData(reader, hello.data) || !reader.U8(secretLength) ||
        secretLength > kMaxJoinSecret || !reader.Bytes(secretLength, secret) ||
        reader.Remaining() != 0) {
        return false;
    }
    hello.kind = static_cast<HelloKind>(kind);
    // A secret is for the host alone: members never see one.
    if (hello.kind == HelloKind::Mesh && secretLength != 0)
        return false;
    hello.secret.assign(secret.begin(), secret.end());
    out = std::move(hello);
    return true;
}

std::vector<uint8_t> EncodeWelcome(const Welcome& welcome) {
    ByteWriter writer;
    writer.bytes = Start(FrameType::Welcome);
    writer.Preamble();
    writer.I32(welcome.assignedId);
    writer.I32(welcome.hostId);
    writer.U64(welcome.session);
    writer.U64(welcome.token);
    writer.U16(welcome.hostListenPort);
    writer.U8(welcome.maxPlayers);
    writer.U32(welcome.flags);
    WriteName(writer, welcome.name);
    WriteData(writer, welcome.hostData);
    const size_t count = std::min(welcome.roster.size(), kMaxRoster);
    writer.U8(static_cast<uint8_t>(count));
    for (size_t i = 0; i < count; ++i) {
        writer.I32(welcome.roster[i].id);
        writer.U32(welcome.roster[i].ipv4);
        writer.U16(welcome.roster[i].port);
    }
    return std::move(writer.bytes);
}

bool DecodeWelcome(std::span<const uint8_t> body, Welcome& out) {
    ByteReader reader(body);
    Welcome welcome;
    uint8_t count = 0;
    if (!ReadType(reader, FrameType::Welcome) || !reader.Preamble() ||
        !reader.I32(welcome.assignedId) || !reader.I32(welcome.hostId) ||
        !reader.U64(welcome.session) || !reader.U64(welcome.token) ||
        !reader.U16(welcome.hostListenPort) || !reader.U8(welcome.maxPlayers) ||
        !reader.U32(welcome.flags) || !ReadName(reader, welcome.name) ||
        !ReadData(reader, welcome.hostData) || !reader.U8(count) || count > kMaxRoster) {
        return false;
    }
    for (uint8_t i = 0; i < count; ++i) {
        RosterEntry entry;
        if (!reader.I32(entry.id) || !reader.U32(entry.ipv4) || !reader.U16(entry.port)) {
            return false;
        }
        welcome.roster.push_back(entry);
    }
    if (reader.Remaining() != 0)
        return false;
    out = std::move(welcome);
    return true;
}

std::vector<uint8_t> EncodeMeshOk(const MeshOk& ok) {
    ByteWriter writer;
    writer.bytes = Start(FrameType::MeshOk);
    writer.Preamble();
    writer.I32(ok.id);
    WriteData(writer, ok.data);
    return std::move(writer.bytes);
}

bool DecodeMeshOk(std::span<const uint8_t> body, MeshOk& out) {
    ByteReader reader(body);
    MeshOk ok;
    if (!ReadType(reader, FrameType::MeshOk) || !reader.Preamble() || !reader.I32(ok.id) ||
        !ReadData(reader, ok.data) || reader.Remaining() != 0) {
        return false;
    }
    out = std::move(ok);
    return true;
}

std::vector<uint8_t> EncodeRefuse(RefuseReason reason) {
    ByteWriter writer;
    writer.bytes = Start(FrameType::Refuse);
    writer.Preamble();
    writer.U8(static_cast<uint8_t>(reason));
    return std::move(writer.bytes);
}

bool DecodeRefuse(std::span<const uint8_t> body, RefuseReason& out) {
    ByteReader reader(body);
    uint8_t reason = 0;
    if (!ReadType(reader, FrameType::Refuse) || !reader.Preamble() || !reader.U8(reason) ||
        reason < 1 || reason > 4 || reader.Remaining() != 0) {
        return false;
    }
    out = static_cast<RefuseReason>(reason);
    return true;
}

std::vector<uint8_t> EncodeAnnounce(const Announce& announce) {
    ByteWriter writer;
    writer.bytes = Start(FrameType::Announce);
    writer.I32(announce.entry.id);
    writer.U32(announce.entry.ipv4);
    writer.U16(announce.entry.port);
    writer.U64(announce.token);
    return std::move(writer.bytes);
}

bool DecodeAnnounce(std::span<const uint8_t> body, Announce& out) {
    ByteReader reader(body);
    Announce announce;
    if (!ReadType(reader, FrameType::Announce) || !reader.I32(announce.entry.id) ||
        !reader.U32(announce.entry.ipv4) || !reader.U16(announce.entry.port) ||
        !reader.U64(announce.token) || reader.Remaining() != 0) {
        return false;
    }
    out = announce;
    return true;
}

std::vector<uint8_t> EncodeInfo(std::span<const uint8_t> data) {
    ByteWriter writer;
    writer.bytes = Start(FrameType::Info);
    WriteData(writer, data);
    return std::move(writer.bytes);
}

bool DecodeInfo(std::span<const uint8_t> body, std::vector<uint8_t>& out) {
    ByteReader reader(body);
    std::vector<uint8_t> data;
    if (!ReadType(reader, FrameType::Info) || !ReadData(reader, data) || reader.Remaining() != 0) {
        return false;
    }
    out = std::move(data);
    return true;
}

std::vector<uint8_t> EncodeMessage(std::span<const uint8_t> data) {
    std::vector<uint8_t> body = Start(FrameType::Message);
    body.insert(body.end(), data.begin(), data.end());
    return body;
}

std::vector<uint8_t> EncodeStamp(FrameType type, uint64_t stamp) {
    ByteWriter writer;
    writer.bytes = Start(type);
    writer.U64(stamp);
    return std::move(writer.bytes);
}

bool DecodeStamp(std::span<const uint8_t> body, FrameType type, uint64_t& stamp) {
    ByteReader reader(body);
    return ReadType(reader, type) && reader.U64(stamp) && reader.Remaining() == 0;
}

std::vector<uint8_t> EncodeBye() {
    return Start(FrameType::Bye);
}

std::vector<uint8_t> EncodeHostLost(const HostLost& notice) {
    ByteWriter writer;
    writer.bytes = Start(FrameType::HostLost);
    writer.I32(notice.previousHost);
    writer.U8(notice.takeOver ? 1 : 0);
    return std::move(writer.bytes);
}

bool DecodeHostLost(std::span<const uint8_t> body, HostLost& out) {
    ByteReader reader(body);
    HostLost notice;
    uint8_t takeOver = 0;
    if (!ReadType(reader, FrameType::HostLost) || !reader.I32(notice.previousHost) ||
        !reader.U8(takeOver) || takeOver > 1 || reader.Remaining() != 0) {
        return false;
    }
    notice.takeOver = takeOver == 1;
    out = notice;
    return true;
}

std::vector<uint8_t> EncodeRelay(FrameType type, int32_t peer, uint32_t seq, uint32_t ack,
                                 std::span<const uint8_t> inner) {
    ByteWriter writer;
    writer.bytes.reserve(kRelayHeaderSize + inner.size());
    writer.bytes = Start(type);
    writer.I32(peer);
    writer.U32(seq);
    writer.U32(ack);
    writer.Bytes(inner);
    return std::move(writer.bytes);
}

bool DecodeRelay(std::span<const uint8_t> body, FrameType type, Relay& out) {
    if (type != FrameType::Relay && type != FrameType::Relayed)
        return false;
    ByteReader reader(body);
    Relay relay;
    if (!ReadType(reader, type) || !reader.I32(relay.peer) || !reader.U32(relay.seq) ||
        !reader.U32(relay.ack) || reader.Remaining() < 1 || reader.Remaining() > kMaxRelayedBody ||
        relay.peer <= 0 || relay.peer > kMaxPlayerId) {
        return false;
    }
    reader.Bytes(reader.Remaining(), relay.inner);
    out = relay;
    return true;
}

bool Relayable(std::span<const uint8_t> inner) {
    const auto type = TypeOf(inner);
    if (!type)
        return false;
    switch (*type) {
        case FrameType::Hello:
            // Only a mesh HELLO: a join goes to the host itself.
            return inner.size() > 23 && inner[23] == static_cast<uint8_t>(HelloKind::Mesh);
        case FrameType::MeshOk:
        case FrameType::Refuse:
        case FrameType::Info:
        case FrameType::Message:
        case FrameType::Ping:
        case FrameType::Pong:
        case FrameType::Bye:
        case FrameType::HostLost:
        case FrameType::Links:
            return true;
        default:
            return false;
    }
}

std::vector<uint8_t> EncodeLinks(std::span<const int32_t> relayedPeers) {
    ByteWriter writer;
    writer.bytes = Start(FrameType::Links);
    const size_t count = std::min(relayedPeers.size(), kMaxRoster);
    writer.U8(static_cast<uint8_t>(count));
    for (size_t i = 0; i < count; ++i)
        writer.I32(relayedPeers[i]);
    return std::move(writer.bytes);
}

bool DecodeLinks(std::span<const uint8_t> body, std::vector<int32_t>& out) {
    ByteReader reader(body);
    uint8_t count = 0;
    if (!ReadType(reader, FrameType::Links) || !reader.U8(count) || count > kMaxRoster ||
        reader.Remaining() != size_t{count} * 4) {
        return false;
    }
    std::vector<int32_t> ids;
    for (uint8_t i = 0; i < count; ++i) {
        int32_t id = 0;
        reader.I32(id);
        if (id <= 0 || id > kMaxPlayerId || std::find(ids.begin(), ids.end(), id) != ids.end())
            return false;
        ids.push_back(id);
    }
    out = std::move(ids);
    return true;
}

std::optional<FrameType> TypeOf(std::span<const uint8_t> body) {
    if (body.empty() || body[0] < static_cast<uint8_t>(FrameType::Hello) ||
        body[0] > static_cast<uint8_t>(FrameType::Links)) {
        return std::nullopt;
    }
    return static_cast<FrameType>(body[0]);
}

std::vector<uint8_t> EncodeQuery(uint64_t nonce) {
    ByteWriter writer;
    writer.Preamble();
    writer.U8(kQueryKind);
    writer.U64(nonce);
    writer.bytes.resize(kQuerySize, 0);
    return std::move(writer.bytes);
}

bool DecodeQuery(std::span<const uint8_t> datagram, uint64_t& nonce) {
    if (datagram.size() != kQuerySize)
        return false;
    ByteReader reader(datagram);
    uint8_t kind = 0;
    return reader.Preamble() && reader.U8(kind) && kind == kQueryKind && reader.U64(nonce);
}

std::vector<uint8_t> EncodeAnswer(const Answer& answer) {
    ByteWriter writer;
    writer.Preamble();
    writer.U8(kAnswerKind);
    writer.U64(answer.nonce);
    writer.U64(answer.session);
    writer.U16(answer.players);
    writer.U16(answer.maxPlayers);
    writer.U32(answer.flags);
    writer.U16(answer.tcpPort);
    writer.U32(answer.info);
    WriteName(writer, answer.name);
    return std::move(writer.bytes);
}

bool DecodeAnswer(std::span<const uint8_t> datagram, Answer& out) {
    ByteReader reader(datagram);
    Answer answer;
    uint8_t kind = 0;
    if (!reader.Preamble() || !reader.U8(kind) || kind != kAnswerKind ||
        !reader.U64(answer.nonce) || !reader.U64(answer.session) || !reader.U16(answer.players) ||
        !reader.U16(answer.maxPlayers) || !reader.U32(answer.flags) ||
        !reader.U16(answer.tcpPort) || !reader.U32(answer.info) || !ReadName(reader, answer.name) ||
        reader.Remaining() != 0) {
        return false;
    }
    out = std::move(answer);
    return true;
}

}  // namespace platform::wire
