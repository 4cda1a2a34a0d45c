// A database and its write-ahead log as the input (4-byte big-endian length of the database, the
// database, the log), written to files and opened through the view manager.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "sqlite_recovery/engine/CSQLiteFileIOManager.h"
#include "fuzz/sqlite/FuzzSupport.h"
#include "platform/StringConversion.h"

namespace {

const std::string& Folder() {
    static std::string folder = [] {
        char name[] = "/tmp/rk_fuzz_wal_XXXXXX";
        const char* made = mkdtemp(name);
        return std::string(made ? made : "/tmp");
    }();
    return folder;
}

void Write(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || size > (size_t(1) << 20)) return 0;
    const size_t dbSize = std::min<size_t>((size_t(data[0]) << 24) | (data[1] << 16) | (data[2] << 8) | data[3], size - 4);
    const std::string db = Folder() + "/f.db";
    Write(db, data + 4, dbSize);
    Write(db + "-wal", data + 4 + dbSize, size - 4 - dbSize);
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
