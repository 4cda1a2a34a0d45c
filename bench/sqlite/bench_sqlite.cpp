// Throughput of the SQLite engine: a ~200 MB database made by the sqlite3 program, 30% of its rows
// deleted in a pending write-ahead log (secure_delete on, as phones build it), walked and carved
// through both views.
//
//   bench_sqlite [folder] [--rows N] [--remake] [--decode]
//
// The database is made on the first run (or with --remake) and kept in the folder.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "sqlite_recovery/engine/CSQLiteFileIOManager.h"
#include "sqlite_recovery/engine/CSQLiteReader.h"
#include "platform/FileSystem.h"
#include "platform/StringConversion.h"

namespace {

bool Exists(const std::string& path) { return platform::FileSize(path) >= 0; }

long long SizeOf(const std::string& path) { return std::max(platform::FileSize(path), 0LL); }

bool Make(const std::string& folder, long rows) {
    const std::string src = folder + "/src.db";
    std::remove(src.c_str());
    std::remove((src + "-wal").c_str());
    const std::string script = folder + "/make.sql";
    FILE* f = std::fopen(script.c_str(), "w");
    if (!f) return false;
    std::fprintf(f,
                 "PRAGMA page_size=4096; PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;\n"
                 "PRAGMA secure_delete=on; PRAGMA cache_size=-262144;\n"
                 "CREATE TABLE sms(_id INTEGER PRIMARY KEY, thread_id INTEGER, address TEXT, date INTEGER,\n"
                 "  read INTEGER, type INTEGER, body TEXT);\n"
                 "WITH RECURSIVE n(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM n WHERE k < %ld)\n"
                 "INSERT INTO sms(thread_id, address, date, read, type, body)\n"
                 "  SELECT k %% 500, printf('+4915%%08d', k * 7919 %% 100000000), 1500000000000 + k * 60000,\n"
                 "  k %% 2, 1 + k %% 2, printf('message %%d: %%s', k, substr(printf('%%.*c', 160, 'x'), 1, 40 + k %% 120))\n"
                 "  FROM n;\n"
                 "PRAGMA wal_checkpoint(TRUNCATE);\n"
                 "DELETE FROM sms WHERE _id %% 10 < 3;\n"
                 ".shell cp %s/src.db %s/bench.db && cp %s/src.db-wal %s/bench.db-wal\n",
                 rows, folder.c_str(), folder.c_str(), folder.c_str(), folder.c_str());
    std::fclose(f);
    const std::string command = "sqlite3 " + src + " < " + script + " > /dev/null";
    std::printf("making the database (%ld rows) with sqlite3...\n", rows);
    std::fflush(stdout);
    const int rc = std::system(command.c_str());
    std::remove(src.c_str());
    std::remove((src + "-wal").c_str());
    std::remove(script.c_str());
    return rc == 0 && Exists(folder + "/bench.db-wal");
}

// The row the script wrote as message k, column by column (_id, which carved records lose with
// their cell's first bytes, aside).
struct SourceRow {
    int64_t thread, date, read, type;
    std::string address, body;
};

SourceRow RowOf(int64_t k) {
    char address[32];
    std::snprintf(address, sizeof address, "+4915%08lld", static_cast<long long>(k * 7919 % 100000000));
    return {k % 500, 1500000000000 + k * 60000, k % 2, 1 + k % 2, address,
            "message " + std::to_string(k) + ": " + std::string(static_cast<size_t>(40 + k % 120), 'x')};
}

// The message a recovered record was, by its own text, else by its date; 0 when neither tells.
int64_t MessageOf(const std::vector<ColumnValue>& v) {
    const std::string body = v[6].ToText();
    long long k = 0;
    if (std::sscanf(body.c_str(), "message %lld:", &k) == 1 && k > 0) return k;
    const int64_t date = v[3].kind == kColumnNull ? 0 : v[3].ToInt64() - 1500000000000;
    return date > 0 && date % 60000 == 0 ? date / 60000 : 0;
}

// Columns of a recovered record (thread_id to body) that hold the source row's value.
int IntactValues(const std::vector<ColumnValue>& v, int64_t k) {
    if (k <= 0) return 0;
    const SourceRow row = RowOf(k);
    auto integer = [](const ColumnValue& c, int64_t want) {
        return (c.kind == kColumnInt || c.kind == kColumnInt64 || c.kind == kColumnConst) && c.ToInt64() == want;
    };
    return integer(v[1], row.thread) + (v[2].ToText() == row.address) + integer(v[3], row.date) +
           integer(v[4], row.read) + integer(v[5], row.type) + (v[6].ToText() == row.body);
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = "/tmp/rk_sqlite_bench";
    long rows = 1300000;
    bool remake = false, decode = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--rows") && i + 1 < argc) rows = std::atol(argv[++i]);
        else if (!std::strcmp(argv[i], "--remake")) remake = true;
        else if (!std::strcmp(argv[i], "--decode")) decode = true;
        else folder = argv[i];
    }
    platform::CreateDirectory(folder);
    const std::string db = folder + "/bench.db";
    if ((remake || !Exists(db) || !Exists(db + "-wal")) && !Make(folder, rows)) {
        std::fprintf(stderr, "could not make %s\n", db.c_str());
        return 1;
    }
    const long long fileBytes = SizeOf(db) + SizeOf(db + "-wal");
    std::printf("database %lld MB + log %lld MB\n", SizeOf(db) >> 20, SizeOf(db + "-wal") >> 20);

    const auto start = std::chrono::steady_clock::now();
    CSQLiteFileIOManager manager;
    if (Failed(manager.Open(platform::Utf8ToWide(db).c_str()))) return 1;
    std::printf("log read and parsed: %.2f s\n", Seconds(start));
    long long viewBytes = 0;
    size_t live = 0, recovered = 0;
    double decodeSeconds = 0;
    std::set<int64_t> deletedRows;
    size_t decoded = 0, noIntactValue = 0, exact = 0;
    for (int i = 0; i < manager.GetViewCount(); ++i) {
        IFileIO* view = nullptr;
        int flag = 0;
        if (Failed(manager.GetView(&view, i, &flag))) return 1;
        int64_t size = 0;
        view->GetSize(&size);
        viewBytes += size;
        const auto viewStart = std::chrono::steady_clock::now();
        CSQLiteReader reader;
        if (reader.Open(view) <= 0) return 1;
        TableSchema* t = reader.FindTable("sms");
        if (!t || reader.WalkTable(t, 0, flag) != 0) return 1;
        std::printf("view %d (flag %d): %lld MB, %zu live, %zu recovered, walk%s %.2f s\n", i, flag,
                    static_cast<long long>(size >> 20), t->LiveCount(), t->RecoveredCount(),
                    flag ? "" : " + carve", Seconds(viewStart));
        if (flag) live = t->LiveCount();
        else recovered = t->RecoveredCount();
        if (decode) {
            const auto d = std::chrono::steady_clock::now();
            std::vector<ColumnValue> v(static_cast<size_t>(t->columnCount));
            for (int live01 = 0; live01 <= 1; ++live01) {
                const size_t n = live01 ? t->LiveCount() : t->RecoveredCount();
                for (size_t r = 0; r < n; ++r) {
                    bool read = true;
                    for (int c = 0; c < t->columnCount && read; ++c)
                        read = reader.GetValue(static_cast<int>(r), t, c, &v[c], live01) == 0;
                    if (live01 || !read || t->columnCount != 7) continue;
                    // Recovered: which message it was, by its own text; the deleted ones are
                    // those whose number ends in 0, 1 or 2.
                    ++decoded;
                    const int64_t k = MessageOf(v);
                    const int intact = IntactValues(v, k);
                    noIntactValue += intact == 0;
                    exact += intact == 6;
                    if (intact == 6 && k % 10 < 3) deletedRows.insert(k);
                }
            }
            decodeSeconds += Seconds(d);
        }
        view->Release();
    }
    const double seconds = Seconds(start);
    std::printf("walk + carve of both views: %.2f s\n", seconds);
    std::printf("  %.0f MB/s of view pages (%lld MB), %.0f MB/s of database + log (%lld MB)\n",
                viewBytes / 1048576.0 / seconds, viewBytes >> 20, fileBytes / 1048576.0 / seconds, fileBytes >> 20);
    std::printf("  %zu live rows in the last commit, %zu records recovered in view 0\n", live, recovered);
    if (decode) {
        std::printf("decoding every value of every record: %.2f s\n", decodeSeconds);
        std::printf("recovered records: %zu, exact %zu, with no intact value %zu (%.2f%%)\n", decoded, exact,
                    noIntactValue, decoded ? 100.0 * noIntactValue / decoded : 0.0);
        std::printf("deleted rows among the recovered records, by their own text: %zu of %ld\n", deletedRows.size(),
                    rows * 3 / 10);
    }
    return 0;
}
