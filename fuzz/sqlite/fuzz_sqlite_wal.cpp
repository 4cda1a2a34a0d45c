// A database and its write-ahead log as the input (4-byte big-endian length of the database, the
// database, the log), written to files and opened through the view manager.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "sqlite_recovery/engine/CSQLiteFileIOManager.h"
#include "sqlite_recovery/engine/SQLiteFormat.h"
#include "sqlite_recovery/engine/WalFile.h"
#include "fuzz/sqlite/FuzzSupport.h"
#include "platform/StringConversion.h"

namespace {

// The scratch folder of this process, removed with its two files at exit.
struct Scratch {
    Scratch() {
        char name[] = "/tmp/rk_fuzz_wal_XXXXXX";
        const char* made = mkdtemp(name);
        folder = made ? made : "";
    }
    ~Scratch() {
        if (folder.empty()) return;
        unlink((folder + "/f.db").c_str());
        unlink((folder + "/f.db-wal").c_str());
        rmdir(folder.c_str());
    }
    std::string folder;
};

const std::string& Folder() {
    static Scratch scratch;
    return scratch.folder;
}

// Writes the header's and every frame's checksum as SQLite would, so that mutated frames still
// reach the views (a log that fails its checksums is left out whole).
void Reseal(std::vector<uint8_t>& log) {
    if (log.size() < 32) return;
    const uint32_t pageSize = LoadBE32(log.data() + 8);
    if (pageSize < 512 || pageSize > 65536) return;
    const bool bigEndian = log[3] == 0x83;
    auto put = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) log[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    };
    uint32_t sum[2] = {0, 0};
    WalChecksum(log.data(), 24, bigEndian, sum);
    put(24, sum[0]);
    put(28, sum[1]);
    for (size_t at = 32; at + 24 + pageSize <= log.size(); at += 24 + pageSize) {
        WalChecksum(log.data() + at, 8, bigEndian, sum);
        WalChecksum(log.data() + at + 24, pageSize, bigEndian, sum);
        put(at + 16, sum[0]);
        put(at + 20, sum[1]);
    }
}

void Write(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || size > (size_t(1) << 20)) return 0;
    // The length's top bit asks for the log's checksums to be made right.
    const bool reseal = data[0] & 0x80;
    const size_t dbSize =
        std::min<size_t>((size_t(data[0] & 0x7F) << 24) | (data[1] << 16) | (data[2] << 8) | data[3], size - 4);
    if (Folder().empty()) return 0;
    const std::string db = Folder() + "/f.db";
    Write(db, data + 4, dbSize);
    std::vector<uint8_t> log(data + 4 + dbSize, data + size);
    if (reseal) Reseal(log);
    Write(db + "-wal", log.data(), log.size());
    CSQLiteFileIOManager manager;
    if (Failed(manager.Open(platform::Utf8ToWide(db).c_str()))) return 0;
    for (int i = 0; i < manager.GetViewCount(); ++i) {
        IFileIO* view = nullptr;
        int flag = 0;
        if (Failed(manager.GetView(&view, i, &flag))) continue;
        int64_t viewSize = 0;
        view->GetSize(&viewSize);
        CSQLiteReader reader;
        if (reader.Open(view) > 0) WalkEverything(reader, flag);
        view->Release();
    }
    return 0;
}
