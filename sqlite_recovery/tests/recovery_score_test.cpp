// Scores the engine's recovered records against the rows the corpus script deleted (see
// recovery_corpus/make_recovery_corpus.py). A deleted row counts as intact when its record body
// (the values as SQLite stores them) still lies in the database or its log; recall is the share of
// intact deleted rows that come back value for value, precision the share of recovered records that
// equal some row the script wrote. A record that says a value of it is cut (later writes took the
// rest) is scored apart and must be the start of a row the script wrote, every one of them.
// RK_SCORE_VERBOSE=1 lists the misses and the junk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "sqlite_recovery/engine/SQLiteFormat.h"
#include "sqlite_recovery/tests/SqliteTestSupport.h"

using namespace sqlite_test;

namespace {

const char* const kTables[] = {"t_ipk", "t_int", "t_text", "t_real"};
const char* const kDatabases[] = {"corpus_1024_rollback.db", "corpus_1024_wal.db", "corpus_4096_rollback.db",
                                  "corpus_4096_wal.db"};

std::string CorpusFile(const std::string& name) {
    const char* root = std::getenv("RK_TESTDATA");
    return std::string(root ? root : "../testdata") + "/recovery_corpus/" + name;
}

std::string Hex(const uint8_t* p, size_t n) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) (s += digits[p[i] >> 4]) += digits[p[i] & 15];
    return s;
}

std::string Unhex(const std::string& h) {
    std::string s;
    for (size_t i = 0; i + 1 < h.size(); i += 2) s += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
    return s;
}

uint64_t DoubleBits(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

// One value as the manifest gives it, and its stored form.
struct Value {
    char kind = 'N';  // N, I, R, T, B
    int64_t integer = 0;
    double real = 0;
    std::string bytes;
};

struct CorpusRow {
    bool deleted = false;
    int64_t rowid = 0;
    std::vector<Value> values;
    bool intact = false;
    bool recovered = false;
};

Value ParseToken(const std::string& t) {
    Value v;
    v.kind = t[0];
    if (v.kind == 'I') v.integer = std::stoll(t.substr(2));
    if (v.kind == 'R') v.real = std::strtod(t.c_str() + 2, nullptr);
    if (v.kind == 'T' || v.kind == 'B') v.bytes = Unhex(t.substr(2));
    return v;
}

// Serial type and body bytes of a value as SQLite writes it; whole REALs in a REAL column are
// stored as integers.
void Encode(const Value& v, bool realColumn, std::vector<uint64_t>& types, std::string& body) {
    Value x = v;
    if (x.kind == 'R' && realColumn && std::floor(x.real) == x.real && std::fabs(x.real) < 9.2e18) {
        x.kind = 'I';
        x.integer = static_cast<int64_t>(x.real);
    }
    auto bigEndian = [&](uint64_t u, int n) {
        for (int i = n - 1; i >= 0; --i) body += static_cast<char>((u >> (8 * i)) & 0xFF);
    };
    switch (x.kind) {
        case 'N': types.push_back(0); break;
        case 'I': {
            const int64_t i = x.integer;
            if (i == 0 || i == 1) {
                types.push_back(8 + i);
                break;
            }
            static const struct { int64_t limit; uint64_t type; int bytes; } kSizes[] = {
                {0x7F, 1, 1}, {0x7FFF, 2, 2}, {0x7FFFFF, 3, 3}, {0x7FFFFFFF, 4, 4}, {0x7FFFFFFFFFFF, 5, 6}};
            uint64_t type = 6;
            int bytes = 8;
            for (const auto& s : kSizes)
                if (i <= s.limit && i >= -s.limit - 1) {
                    type = s.type, bytes = s.bytes;
                    break;
                }
            types.push_back(type);
            bigEndian(static_cast<uint64_t>(i), bytes);
            break;
        }
        case 'R': types.push_back(7); bigEndian(DoubleBits(x.real), 8); break;
        case 'T': types.push_back(13 + 2 * x.bytes.size()); body += x.bytes; break;
        default: types.push_back(12 + 2 * x.bytes.size()); body += x.bytes; break;
    }
}

// Where a value shows its identity: REAL columns by their double's bits, so that a whole REAL read
// back as an integer compares equal.
std::string Canonical(const Value& v, bool realColumn) {
    if (realColumn && (v.kind == 'R' || v.kind == 'I'))
        return "R" + std::to_string(DoubleBits(v.kind == 'R' ? v.real : static_cast<double>(v.integer)));
    if (v.kind == 'I') return "I" + std::to_string(v.integer);
    if (v.kind == 'R') return "R" + std::to_string(DoubleBits(v.real));
    if (v.kind == 'N') return "N";
    return std::string(1, v.kind) + Hex(reinterpret_cast<const uint8_t*>(v.bytes.data()), v.bytes.size());
}

std::string Canonical(const ColumnValue& c, bool realColumn) {
    Value v;
    switch (c.kind) {
        case kColumnNull: v.kind = 'N'; break;
        case kColumnText:
        case kColumnBlob:
            if (c.length != c.storedLength || (c.length && !c.data)) return "<cut>";
            v.kind = c.kind == kColumnText ? 'T' : 'B';
            v.bytes.assign(reinterpret_cast<const char*>(c.data), c.length);
            break;
        default:
            if (c.kind != kColumnConst && !c.data) return "<no data>";
            if (c.serialType == 7) v.kind = 'R', v.real = c.ToDouble();
            else v.kind = 'I', v.integer = c.ToInt64();
    }
    return Canonical(v, realColumn);
}

struct Searcher {
    std::vector<std::string> files;
    bool Contains(const std::string& piece) const {
        // Pieces this short turn up by chance; they decide nothing.
        if (piece.size() < 8) return true;
        for (const auto& f : files) {
            auto it = std::search(f.begin(), f.end(), std::boyer_moore_horspool_searcher(piece.begin(), piece.end()));
            if (it != f.end()) return true;
        }
        return false;
    }
};

// The body split as the page and its overflow pages hold it; every piece must still be there.
bool BodyIntact(const CorpusRow& row, const TableSchema* t, uint32_t usable, const Searcher& files) {
    std::vector<uint64_t> types;
    std::string body;
    for (size_t c = 0; c < row.values.size(); ++c) {
        Value v = row.values[c];
        if (static_cast<int>(c) == t->rowidColumn) v.kind = 'N';  // the rowid alias is stored as NULL
        Encode(v, IsRealColumn(t, static_cast<int>(c)), types, body);
    }
    int64_t typeBytes = 0;
    for (uint64_t ty : types) typeBytes += sqlite_format::VarintSize(ty);
    int64_t header = typeBytes + 1;
    if (sqlite_format::VarintSize(static_cast<uint64_t>(header)) > 1) header = typeBytes + 2;
    const int64_t payload = header + static_cast<int64_t>(body.size());
    const int64_t local = sqlite_format::LocalPayloadSize(payload, usable);
    if (local >= payload) return files.Contains(body);
    size_t at = static_cast<size_t>(local - header);
    if (!files.Contains(body.substr(0, at))) return false;
    for (; at < body.size(); at += usable - 4)
        if (!files.Contains(body.substr(at, usable - 4))) return false;
    return true;
}

// Targets on every kind of table.
constexpr double kMinRecall = 0.95;
constexpr double kMinPrecision = 0.97;

struct Score {
    int deleted = 0, intact = 0, recalled = 0, recalledNotIntact = 0;
    int records = 0, exact = 0, copies = 0;  // copies: exact, of a row that is still live
    int lostType = 0;  // exact records whose first serial type was worked out from the cell's end
    int cut = 0, cutWrong = 0;  // records with a cut value; those that are no row's start
    void Add(const Score& o) {
        deleted += o.deleted, intact += o.intact, recalled += o.recalled;
        recalledNotIntact += o.recalledNotIntact, records += o.records, exact += o.exact, copies += o.copies;
        lostType += o.lostType, cut += o.cut, cutWrong += o.cutWrong;
    }
    double Recall() const { return intact ? double(recalled) / intact : 1.0; }
    double Precision() const { return records ? double(exact) / records : 1.0; }
};

bool Verbose() {
    const char* v = std::getenv("RK_SCORE_VERBOSE");
    return v && *v && *v != '0';
}

bool IsCut(const ColumnValue& c) {
    return (c.kind == kColumnText || c.kind == kColumnBlob) && c.length != c.storedLength;
}

// A record cut in a value is the start of a row: the values before the cut equal the row's, the cut
// value holds the start of the row's value and says its whole length, and the values after it hold
// nothing (they were not read) or the row's.
bool StartOfRow(const std::vector<ColumnValue>& values, const CorpusRow& row, const TableSchema* t) {
    bool cut = false;
    for (int c = 0; c < t->columnCount; ++c) {
        const ColumnValue& v = values[c];
        const bool real = IsRealColumn(t, c);
        if (c == t->rowidColumn) {
            if (v.kind != kColumnNull && v.ToInt64() != row.rowid) return false;
        } else if (IsCut(v)) {
            const Value& r = row.values[c];
            if (r.kind != (v.kind == kColumnText ? 'T' : 'B') || r.bytes.size() != v.storedLength ||
                (v.length && (!v.data || r.bytes.compare(0, v.length, reinterpret_cast<const char*>(v.data),
                                                         v.length) != 0)))
                return false;
            cut = true;
        } else if (cut && v.kind != kColumnNull && v.kind != kColumnConst && !v.data) {
            continue;  // beyond the cut: not read
        } else if (Canonical(v, real) != Canonical(row.values[c], real)) {
            return false;
        }
    }
    return cut;
}

// Scores one table of one database (view 0, the view that recovers).
Score ScoreTable(OpenDb& open, const std::string& db, const char* name, std::vector<CorpusRow>& rows,
                 const Searcher& files) {
    Score s;
    TableSchema* t = open.reader->FindTable(name);
    EXPECT_NE(t, nullptr) << db << " " << name;
    if (!t || open.reader->WalkTable(t, 0, 0) != 0) return s;
    const int ipk = t->rowidColumn;
    std::unordered_map<std::string, std::vector<size_t>> bySignature;
    auto signature = [&](const std::function<std::string(int)>& column) {
        std::string sig;
        for (int c = 0; c < t->columnCount; ++c)
            if (c != ipk) sig += column(c) + "|";
        return sig;
    };
    int liveChecked = 0, liveFound = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        CorpusRow& r = rows[i];
        bySignature[signature([&](int c) { return Canonical(r.values[c], IsRealColumn(t, c)); })].push_back(i);
        if (r.deleted) {
            ++s.deleted;
            r.intact = BodyIntact(r, t, open.reader->UsableSize(), files);
            s.intact += r.intact;
        } else if (liveChecked < 40) {
            // The encoding above must find live rows, or "intact" means nothing.
            ++liveChecked;
            liveFound += BodyIntact(r, t, open.reader->UsableSize(), files);
        }
    }
    EXPECT_EQ(liveFound, liveChecked) << db << " " << name << ": record bodies of live rows not found";
    for (size_t i = 0; i < t->RecoveredCount(); ++i) {
        std::vector<ColumnValue> values(static_cast<size_t>(t->columnCount));
        bool read = true;
        for (int c = 0; c < t->columnCount && read; ++c)
            read = open.reader->GetValue(static_cast<int>(i), t, c, &values[c], 0) == 0;
        if (!read) continue;  // a record the engine itself refuses is not called recovered
        if (std::any_of(values.begin(), values.end(), IsCut)) {
            ++s.cut;
            const bool start = std::any_of(rows.begin(), rows.end(),
                                           [&](const CorpusRow& r) { return StartOfRow(values, r, t); });
            s.cutWrong += !start;
            if (!start && Verbose()) {
                const RecordRef& ref = t->recoveredRecords.at(i);
                std::printf("  cut junk %s %s page %u +%d len %d\n", db.c_str(), name, ref.page, ref.offset,
                            ref.cellLength);
            }
            continue;
        }
        ++s.records;
        const std::string sig = signature([&](int c) { return Canonical(values[c], IsRealColumn(t, c)); });
        bool exact = false, ofDeleted = false;
        auto it = bySignature.find(sig);
        if (it != bySignature.end()) {
            for (size_t k : it->second) {
                CorpusRow& r = rows[k];
                if (ipk >= 0 && values[ipk].kind != kColumnNull && values[ipk].ToInt64() != r.rowid) continue;
                exact = true;
                ofDeleted |= r.deleted;
                if (r.deleted && !r.recovered) {
                    r.recovered = true;
                    if (r.intact) ++s.recalled;
                    else ++s.recalledNotIntact;
                }
            }
        }
        s.exact += exact;
        s.copies += exact && !ofDeleted;
        s.lostType += exact && t->recoveredRecords.at(i).lostType != RecordRef::kNoLostType;
        if (!exact && Verbose()) {
            Row shown;
            for (int c = 0; c < t->columnCount; ++c) shown.push_back(Render(values[c], IsRealColumn(t, c)));
            const RecordRef& ref = t->recoveredRecords.at(i);
            std::string j = Joined(shown);
            std::printf("  junk %s %s page %u +%d len %d %s: %s\n", db.c_str(), name, ref.page, ref.offset,
                        ref.cellLength, ref.intact ? "intact" : (ref.exact ? "freed, end confirmed" : "freed"),
                        j.substr(0, 160).c_str());
        }
    }
    if (Verbose())
        for (const CorpusRow& r : rows)
            if (r.deleted && r.intact && !r.recovered)
                std::printf("  missed %s %s rowid %lld\n", db.c_str(), name, static_cast<long long>(r.rowid));
    return s;
}

std::map<std::string, std::vector<CorpusRow>> ReadManifest(const std::string& path) {
    std::map<std::string, std::vector<CorpusRow>> byTable;
    for (const std::string& line : ReadLines(path)) {
        std::vector<std::string> f;
        for (size_t start = 0;;) {
            const size_t tab = line.find('\t', start);
            f.push_back(line.substr(start, tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (f.size() < 4) continue;
        CorpusRow r;
        r.deleted = f[1] == "D";
        r.rowid = std::stoll(f[2]);
        for (size_t i = 3; i < f.size(); ++i) r.values.push_back(ParseToken(f[i]));
        byTable[f[0]].push_back(std::move(r));
    }
    return byTable;
}

}  // namespace

TEST(RecoveryScore, DeletedRowsComeBackExactly) {
    std::map<std::string, Score> byKind;
    for (const char* db : kDatabases) {
        const std::string path = CorpusFile(db);
        auto manifest = ReadManifest(path + ".rows");
        ASSERT_FALSE(manifest.empty()) << path;
        Searcher files;
        for (const std::string& f : {path, path + "-wal"}) {
            const std::vector<uint8_t> bytes = ReadFileBytes(f);
            files.files.emplace_back(bytes.begin(), bytes.end());
        }
        OpenDb open(path, 0);
        ASSERT_GT(open.openResult, 0) << path;
        for (const char* table : kTables) {
            const Score s = ScoreTable(open, db, table, manifest[table], files);
            std::printf("%-24s %-7s deleted %3d intact %3d recalled %3d (+%d not intact)  records %4d exact %4d\n", db,
                        table, s.deleted, s.intact, s.recalled, s.recalledNotIntact, s.records, s.exact);
            byKind[table].Add(s);
        }
    }
    // Copies: records equal to a row that is still live (older versions of its page).
    std::printf("\n%-7s %8s %7s %9s %7s %8s %6s %7s %10s %9s %5s\n", "kind", "deleted", "intact", "recalled",
                "recall", "records", "exact", "copies", "precision", "lost type", "cut");
    for (const char* table : kTables) {
        const Score& s = byKind[table];
        std::printf("%-7s %8d %7d %9d %7.3f %8d %6d %7d %10.3f %9d %5d\n", table, s.deleted, s.intact, s.recalled,
                    s.Recall(), s.records, s.exact, s.copies, s.Precision(), s.lostType, s.cut);
        EXPECT_EQ(s.cutWrong, 0) << table << ": records cut short that are no row's start";
        EXPECT_GT(s.lostType, 0) << table << ": no freed cell whose first type was lost came back";
        EXPECT_GE(s.Recall(), kMinRecall) << table;
        EXPECT_GE(s.Precision(), kMinPrecision) << table;
        // Without the copies of live rows precision holds too.
        EXPECT_GE(double(s.exact - s.copies) / std::max(1, s.records - s.copies), kMinPrecision) << table;
        EXPECT_EQ(s.recalledNotIntact, 0) << table << ": the intact test misses rows that came back";
    }
}
