// A saved campaign's file: the writer, and a reader that trusts nothing it reads.
//
// The reader refuses in three stages: what is not a saved game of this version (magic, version,
// size), what the seal shows to be damaged, then field by field what no host can have saved.
// Every field is read in the one form the writer gives it (flags 0 or 1, zero padding, names
// filled with zeros after their end), so that a file accepted is exactly the file its game
// writes again.
#include "campaign/Savedgame.h"

#include <algorithm>
#include <utility>

#include "campaign/Gamerules.h"
#include "campaign/Seatlock.h"
#include "game/Game.h"

namespace torvane {
namespace {

constexpr std::array<uint8_t, kSavedGameMagicSize> kMagic = {'T', 'O', 'R', 'V',
                                                             'S', 'A', 'V', 'E'};
constexpr int32_t kFirstYear = 1870;
constexpr uint8_t kPersonalisedFlag = 1;
constexpr uint8_t kComputerFlag = 1;

// Words of the reasons whose \xE9 comes before a letter that would read as one more hex digit.
constexpr const char* kYearWord =
    "ann\xE9"
    "e";
constexpr const char* kYearsWord =
    "ann\xE9"
    "es";
constexpr const char* kPlayedWord =
    "jou\xE9"
    "e";
constexpr const char* kPlayedPlural =
    "jou\xE9"
    "es";
constexpr const char* kStartWord =
    "d\xE9"
    "but";
constexpr const char* kSavedWord =
    "enregistr\xE9"
    "e";

// ---- Writing ---------------------------------------------------------------------------------

class Writer {
  public:
    void U8(uint8_t value) { out_.push_back(value); }
    void U32(uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8)
            out_.push_back(static_cast<uint8_t>(value >> shift));
    }
    void U64(uint64_t value) {
        U32(static_cast<uint32_t>(value));
        U32(static_cast<uint32_t>(value >> 32));
    }
    void Bytes(std::span<const uint8_t> bytes) {
        out_.insert(out_.end(), bytes.begin(), bytes.end());
    }
    void Name(const std::array<char, kPlayerNameSize>& name) {
        for (char c : name)
            U8(static_cast<uint8_t>(c));
    }
    void Table(const TerritoryTable& table) {
        const size_t at = out_.size();
        out_.resize(at + kTerritoryTableSize);
        EncodeTable(table,
                    std::span<uint8_t, kTerritoryTableSize>(out_.data() + at, kTerritoryTableSize));
    }
    void Ledger(const CInfos& infos) {
        for (const auto& row : infos.values) {
            for (int32_t value : row)
                U32(static_cast<uint32_t>(value));
        }
    }
    // A section: its length, then what `body` writes.
    template <typename Body>
    void Section(Body&& body) {
        const size_t at = out_.size();
        U32(0);
        body();
        const auto length = static_cast<uint32_t>(out_.size() - at - 4);
        for (size_t i = 0; i < 4; ++i)
            out_[at + i] = static_cast<uint8_t>(length >> (8 * i));
    }
    std::vector<uint8_t>& Out() { return out_; }

  private:
    std::vector<uint8_t> out_;
};

// ---- Reading ---------------------------------------------------------------------------------

// Reads forward; a read past the end poisons the reader and gives zeros.
class Reader {
  public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool Take(size_t count, std::span<const uint8_t>& out) {
        if (!ok_ || bytes_.size() - at_ < count) {
            ok_ = false;
            return false;
        }
        out = bytes_.subspan(at_, count);
        at_ += count;
        return true;
    }
    uint8_t U8() {
        std::span<const uint8_t> b;
        return Take(1, b) ? b[0] : 0;
    }
    int8_t I8() { return static_cast<int8_t>(U8()); }
    uint32_t U32() {
        std::span<const uint8_t> b;
        if (!Take(4, b))
            return 0;
        return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
               (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
    }
    uint64_t U64() {
        const uint64_t low = U32();
        return low | static_cast<uint64_t>(U32()) << 32;
    }
    void Name(std::array<char, kPlayerNameSize>& name) {
        std::span<const uint8_t> b;
        if (Take(kPlayerNameSize, b))
            std::copy(b.begin(), b.end(), name.begin());
    }
    // A table in the writer's one form: padding bytes that are not zero make it another file.
    bool Table(TerritoryTable& table) {
        std::span<const uint8_t> b;
        if (!Take(kTerritoryTableSize, b) || !DecodeTable(b, table))
            return false;
        std::array<uint8_t, kTerritoryTableSize> again;
        EncodeTable(table, again);
        return std::equal(again.begin(), again.end(), b.begin());
    }
    void Ledger(CInfos& infos) {
        for (auto& row : infos.values) {
            for (int32_t& value : row)
                value = static_cast<int32_t>(U32());
        }
    }

    bool Ok() const { return ok_; }
    size_t Left() const { return bytes_.size() - at_; }

  private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
    bool ok_ = true;
};

std::string Number(uint64_t value) {
    return std::to_string(value);
}

bool Refuse(std::string* error, std::string why) {
    if (error)
        *error = std::move(why);
    return false;
}

// "" when `name` is zero-terminated and holds only zeros after its end; the fault otherwise.
std::string NameFault(const std::array<char, kPlayerNameSize>& name) {
    const auto end = std::find(name.begin(), name.end(), '\0');
    if (end == name.end())
        return "nom sans z\xE9ro final";
    if (std::any_of(end, name.end(), [](char c) { return c != '\0'; }))
        return "octets non nuls apr\xE8s la fin du nom";
    return {};
}

bool IsEmptyName(const std::array<char, kPlayerNameSize>& name) {
    return name[0] == '\0';
}

bool SaneLedger(const CInfos& infos) {
    return std::all_of(infos.values.begin(), infos.values.end(), [](const auto& row) {
        return std::all_of(row.begin(), row.end(), [](int32_t value) { return value >= -1; });
    });
}

std::string NationLabel(int nation) {
    return "nation " + Number(static_cast<uint64_t>(nation)) + " (" + NationName(nation) + ")";
}

bool CheckHeader(const SavedGame& game, std::string* error) {
    const std::string where = "en-t\xEAte : ";
    if (game.gameId == 0)
        return Refuse(error, where + "num\xE9ro de partie nul");
    if (game.savedAt < 0)
        return Refuse(error, where + "date d'enregistrement n\xE9gative");
    if (const std::string fault = NameFault(game.hostName); !fault.empty())
        return Refuse(error, where + fault + " de l'h\xF4te");
    if (IsEmptyName(game.hostName))
        return Refuse(error, where + "nom de l'h\xF4te vide");
    for (char c : game.hostName) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte != 0 && (byte < 0x20 || byte == 0x7F))
            return Refuse(error, where + "caract\xE8re de contr\xF4le dans le nom de l'h\xF4te");
    }
    if (!IsCampaignStatus(game.status) || StepOf(game.status) != CampaignStep::YearStart) {
        return Refuse(error, where + "statut " + Number(game.status) + ", qui n'est pas le " +
                                 kStartWord + " d'une " + kYearWord);
    }
    return true;
}

bool CheckNations(const SavedGame& game, std::string* error) {
    for (int n = 0; n < NationCount; ++n) {
        const SavedNation& nation = game.nations[static_cast<size_t>(n)];
        const std::string where = NationLabel(n) + " : ";
        if (nation.government < -1 || nation.government >= GovernmentCount) {
            return Refuse(error,
                          where + "gouvernement " + std::to_string(nation.government) + " inconnu");
        }
        if (const std::string fault = NameFault(nation.name); !fault.empty())
            return Refuse(error, where + fault);
        if (nation.government == -1) {
            if (nation.objective != -1 || nation.computer || !IsEmptyName(nation.name)) {
                return Refuse(error, where +
                                         "absente de la partie, elle a pourtant un objectif, "
                                         "un nom ou un ordinateur");
            }
            continue;
        }
        if (nation.objective < -1 || nation.objective >= kSavedObjectiveCount) {
            return Refuse(error,
                          where + "objectif " + std::to_string(nation.objective) + " inconnu");
        }
        if (IsEmptyName(nation.name))
            return Refuse(error, where + "dans la partie, mais sans nom de joueur");
    }
    if (SavedNations(game) == 0)
        return Refuse(error, "aucune nation dans la partie");
    return true;
}

bool CheckState(const SavedGame& game, std::string* error) {
    if (!IsValidCampaignTable(game.state.table))
        return Refuse(error, "\xE9tat : table impossible");
    if (!SaneLedger(game.state.ledger))
        return Refuse(error, "\xE9tat : comptes impossibles (valeur sous -1)");
    return true;
}

// The history a game has at the start of `year`: the deal, then one table per year closed.
size_t HistoryCountOf(int32_t year) {
    return static_cast<size_t>(year - kFirstYear) + 1;
}

bool CheckHistory(const SavedGame& game, std::string* error) {
    const int32_t year = SavedYearOf(game);
    const size_t expected = HistoryCountOf(year);
    if (expected > kMaxHistoryEntries) {
        return Refuse(error, "historique : l'" + std::string(kYearWord) + " " +
                                 std::to_string(year) +
                                 " est au-del\xE0 de ce qu'une partie peut atteindre");
    }
    if (game.history.size() != expected) {
        return Refuse(error, "historique : " + Number(game.history.size()) + " tables au lieu de " +
                                 Number(expected) + " pour l'" + kYearWord + " " +
                                 std::to_string(year));
    }
    for (size_t i = 0; i < game.history.size(); ++i) {
        const std::string where = "historique, table " + Number(i) + " : ";
        if (!IsValidCampaignTable(game.history[i].table))
            return Refuse(error, where + "table impossible");
        if (!SaneLedger(game.history[i].infos))
            return Refuse(error, where + "comptes impossibles (valeur sous -1)");
    }
    if (game.history.back().table != game.state.table)
        return Refuse(error, "historique : la derni\xE8re table n'est pas celle de l'\xE9tat");
    return true;
}

// `fromCodec`: the reports were just read by DecodeReport, which already holds them to what a
// report message can carry.
bool CheckReports(const SavedGame& game, std::string* error, bool fromCodec) {
    const auto played = static_cast<size_t>(SavedYearOf(game) - kFirstYear);
    if (game.reports.size() > 2 * played) {
        return Refuse(error, "rapports : " + Number(game.reports.size()) + " rapports pour " +
                                 Number(played) + " " + kYearsWord + " " + kPlayedPlural);
    }
    for (size_t i = 0; i < game.reports.size(); ++i) {
        const PhaseReport& report = game.reports[i];
        const std::string where = "rapport " + Number(i) + " : ";
        if (!fromCodec) {
            // Read back as the file would be: what the report message cannot carry is lost.
            PhaseReport again;
            if (!DecodeReport(EncodeReport(report), again))
                return Refuse(error, where + "illisible");
            if (again != report)
                return Refuse(error, where + "au-del\xE0 de ce qu'un rapport peut porter");
        }
        if (!IsCampaignStatus(report.status) || !TakesOrders(StepOf(report.status))) {
            return Refuse(error, where + "statut " + Number(report.status) +
                                     ", qui n'est pas celui d'une phase d'ordres");
        }
        if (report.status >= game.status) {
            return Refuse(error, where + "statut " + Number(report.status) +
                                     " d'une phase pas encore " + kPlayedWord);
        }
        if (i > 0) {
            const PhaseReport& before = game.reports[i - 1];
            if (report.status <= before.status) {
                return Refuse(error, where + "hors d'ordre (statut " + Number(report.status) +
                                         " apr\xE8s " + Number(before.status) + ")");
            }
            if (i > 1 && YearOf(game.reports[i - 2].status) == YearOf(report.status)) {
                return Refuse(error, where + "plus de deux rapports pour l'" + kYearWord + " " +
                                         std::to_string(YearOf(report.status)));
            }
        }
    }
    return true;
}

bool CheckGame(const SavedGame& game, std::string* error, bool reportsFromCodec) {
    return CheckHeader(game, error) && CheckNations(game, error) && CheckState(game, error) &&
           CheckHistory(game, error) && CheckReports(game, error, reportsFromCodec);
}

// The sections of a file, each read whole from its length: what is left of it, or of the
// file, is a fault of that section.
class SectionReader {
  public:
    SectionReader(Reader& file, const char* name, std::string* error)
        : name_(name), error_(error), body_(std::span<const uint8_t>()) {
        const uint32_t length = file.U32();
        std::span<const uint8_t> bytes;
        if (!file.Ok() || !file.Take(length, bytes)) {
            ok_ = Refuse(error, std::string("section ") + name + " : d\xE9passe la fin du fichier");
            return;
        }
        length_ = length;
        body_ = Reader(bytes);
    }
    // The section holds exactly `length` bytes.
    bool Expect(size_t length) {
        if (ok_ && length_ != length) {
            ok_ = Refuse(error_, std::string("section ") + name_ + " : longueur " +
                                     Number(length_) + " au lieu de " + Number(length));
        }
        return ok_;
    }
    Reader& Body() { return body_; }
    bool Ok() const { return ok_; }
    bool Fail(const std::string& why) {
        if (ok_)
            ok_ = Refuse(error_, why);
        return false;
    }
    // Everything read, nothing left.
    bool Done() {
        if (ok_ && (!body_.Ok() || body_.Left() != 0))
            ok_ = Refuse(error_, std::string("section ") + name_ + " : longueur incoh\xE9rente");
        return ok_;
    }

  private:
    const char* name_;
    std::string* error_;
    Reader body_;
    size_t length_ = 0;
    bool ok_ = true;
};

bool ReadFlag(Reader& reader, uint8_t flag, bool& out) {
    const uint8_t value = reader.U8();
    out = value == flag;
    return value == 0 || value == flag;
}

bool ReadSections(Reader& file, SavedGame& game, std::string* error) {
    {
        SectionReader header(file, "en-t\xEAte", error);
        if (!header.Expect(kSavedHeaderSize))
            return false;
        Reader& r = header.Body();
        game.gameId = r.U64();
        game.savedAt = static_cast<int64_t>(r.U64());
        game.status = r.U32();
        if (!ReadFlag(r, kPersonalisedFlag, game.personalised))
            return header.Fail("en-t\xEAte : drapeaux inconnus");
        r.Name(game.hostName);
        if (!header.Done())
            return false;
    }
    {
        SectionReader nations(file, "nations", error);
        if (!nations.Expect(kSavedNationsSize))
            return false;
        Reader& r = nations.Body();
        for (int n = 0; n < NationCount; ++n) {
            SavedNation& nation = game.nations[static_cast<size_t>(n)];
            nation.government = r.I8();
            nation.objective = r.I8();
            if (!ReadFlag(r, kComputerFlag, nation.computer))
                return nations.Fail(NationLabel(n) + " : drapeaux inconnus");
            r.Name(nation.name);
        }
        if (!nations.Done())
            return false;
    }
    {
        SectionReader state(file, "\xE9tat", error);
        if (!state.Expect(kSavedStateSize))
            return false;
        Reader& r = state.Body();
        if (!r.Table(game.state.table))
            return state.Fail("\xE9tat : octets de remplissage non nuls dans la table");
        r.Ledger(game.state.ledger);
        for (uint64_t& word : game.generator)
            word = r.U64();
        if (!state.Done())
            return false;
    }
    {
        SectionReader history(file, "historique", error);
        if (!history.Ok())
            return false;
        Reader& r = history.Body();
        const uint32_t count = r.U32();
        if (!r.Ok())
            return history.Fail("section historique : trop courte");
        if (!history.Expect(4 + static_cast<size_t>(count) * kSavedYearSize))
            return false;
        game.history.resize(count);
        for (uint32_t i = 0; i < count; ++i) {
            if (!r.Table(game.history[i].table)) {
                return history.Fail("historique, table " + Number(i) +
                                    " : octets de remplissage non nuls");
            }
            r.Ledger(game.history[i].infos);
        }
        if (!history.Done())
            return false;
    }
    {
        SectionReader reports(file, "rapports", error);
        if (!reports.Ok())
            return false;
        Reader& r = reports.Body();
        const uint32_t count = r.U32();
        if (!r.Ok())
            return reports.Fail("section rapports : trop courte");
        // Each report takes its length and at least its 8-byte head.
        if (count > r.Left() / 12)
            return reports.Fail("rapports : plus de rapports que la section n'en tient");
        game.reports.resize(count);
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t length = r.U32();
            std::span<const uint8_t> bytes;
            if (!r.Take(length, bytes))
                return reports.Fail("rapport " + Number(i) + " : d\xE9passe la fin de la section");
            if (!DecodeReport(bytes, game.reports[i]))
                return reports.Fail("rapport " + Number(i) + " : illisible");
        }
        if (!reports.Done())
            return false;
    }
    return true;
}

}  // namespace

int32_t SavedYearOf(const SavedGame& game) {
    return YearOf(game.status);
}

uint8_t SavedNations(const SavedGame& game) {
    uint8_t nations = 0;
    for (int n = 0; n < NationCount; ++n) {
        const int8_t government = game.nations[static_cast<size_t>(n)].government;
        if (government >= 0 && government < GovernmentCount)
            nations |= static_cast<uint8_t>(1u << n);
    }
    return nations;
}

bool IsValidSavedGame(const SavedGame& game, std::string* error) {
    return CheckGame(game, error, false);
}

std::vector<uint8_t> EncodeSavedGame(const SavedGame& game) {
    Writer w;
    w.Bytes(kMagic);
    w.U32(kSavedGameVersion);
    w.Section([&] {
        w.U64(game.gameId);
        w.U64(static_cast<uint64_t>(game.savedAt));
        w.U32(game.status);
        w.U8(game.personalised ? kPersonalisedFlag : 0);
        w.Name(game.hostName);
    });
    w.Section([&] {
        for (const SavedNation& nation : game.nations) {
            w.U8(static_cast<uint8_t>(nation.government));
            w.U8(static_cast<uint8_t>(nation.objective));
            w.U8(nation.computer ? kComputerFlag : 0);
            w.Name(nation.name);
        }
    });
    w.Section([&] {
        w.Table(game.state.table);
        w.Ledger(game.state.ledger);
        for (uint64_t word : game.generator)
            w.U64(word);
    });
    w.Section([&] {
        w.U32(static_cast<uint32_t>(game.history.size()));
        for (const SavedYear& year : game.history) {
            w.Table(year.table);
            w.Ledger(year.infos);
        }
    });
    w.Section([&] {
        w.U32(static_cast<uint32_t>(game.reports.size()));
        for (const PhaseReport& report : game.reports) {
            const std::vector<uint8_t> bytes = EncodeReport(report);
            w.U32(static_cast<uint32_t>(bytes.size()));
            w.Bytes(bytes);
        }
    });
    const std::array<uint8_t, kSavedGameSealSize> seal = Sha256(w.Out());
    w.Bytes(seal);
    return std::move(w.Out());
}

bool DecodeSavedGame(std::span<const uint8_t> bytes, SavedGame& out, std::string* error) {
    const size_t head = std::min(bytes.size(), kSavedGameMagicSize);
    if (bytes.empty() || !std::equal(bytes.begin(), bytes.begin() + head, kMagic.begin())) {
        return Refuse(error,
                      std::string("ce fichier n'est pas une partie ") + kSavedWord + " de Torvane");
    }
    if (bytes.size() < kSavedGameMagicSize + 4 + kSavedGameSealSize)
        return Refuse(error, "fichier tronqu\xE9");
    Reader file(bytes.first(bytes.size() - kSavedGameSealSize));
    std::span<const uint8_t> magic;
    file.Take(kSavedGameMagicSize, magic);
    const uint32_t version = file.U32();
    if (version != kSavedGameVersion) {
        return Refuse(error, std::string("partie ") + kSavedWord + " dans la version " +
                                 Number(version) + " du format, que ce jeu ne lit pas (il lit " +
                                 "la version " + Number(kSavedGameVersion) + ")");
    }
    if (bytes.size() > kMaxSavedGameSize) {
        return Refuse(error, std::string("fichier trop grand pour une partie ") + kSavedWord +
                                 " (" + Number(bytes.size()) + " octets, au plus " +
                                 Number(kMaxSavedGameSize) + ")");
    }
    const std::array<uint8_t, kSavedGameSealSize> seal =
        Sha256(bytes.first(bytes.size() - kSavedGameSealSize));
    if (!std::equal(seal.begin(), seal.end(), bytes.end() - kSavedGameSealSize)) {
        return Refuse(error,
                      "sceau SHA-256 faux : le fichier est tronqu\xE9, ab\xEEm\xE9 ou modifi\xE9");
    }
    SavedGame game;
    if (!ReadSections(file, game, error))
        return false;
    if (file.Left() != 0)
        return Refuse(error, "octets en trop apr\xE8s les sections");
    if (!CheckGame(game, error, true))
        return false;
    out = std::move(game);
    return true;
}

}  // namespace torvane
