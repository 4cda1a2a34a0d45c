// A found file read through whatever geometry and runs a damaged volume may give: every read ends,
// stays inside its buffer, and returns no more than asked.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "media_recovery/file_model/CDataRunList.h"
#include "media_recovery/CFileReader.h"
#include "filesystems/frame/CSearchedPartitionInfo.h"
#include "testing/MemoryDevice.h"
#include "testing/TestNodes.h"

namespace {
uint64_t Take(const uint8_t*& p, size_t& left, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes && left; ++i, --left) v |= static_cast<uint64_t>(*p++) << (8 * i);
    return v;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t sectors[] = {512, 1024, 1536, 4096};
    const uint8_t* p = data;
    size_t left = size;
    const uint32_t sector = sectors[Take(p, left, 1) % 4];
    MemoryDevice disk(std::vector<uint8_t>(sector * 64, 0x5A), sector);
    CSearchedPartitionInfo partition(static_cast<uint32_t>(Take(p, left, 2)) * 512);
    partition.sectorsPerCluster = static_cast<uint32_t>(Take(p, left, 3));
    partition.dataStart = Take(p, left, 1) % 70;
    CTestNode node("f.jpg", Take(p, left, 3));
    CDataRunList* runs = CreateDataRunList();
    for (int i = 0; i < 16 && left >= 2; ++i) {
        int64_t start = static_cast<int8_t>(Take(p, left, 1));
        runs->PushRun(DataRun(start, Take(p, left, 1)));
    }
    node.SetDataRuns(runs);
    CFileReader reader;
    if (!reader.Bind(&node, &partition, &disk)) return 0;
    std::vector<uint8_t> buffer(70000 + 16, 0);
    uint64_t offset = 0;
    for (int i = 0; i < 64; ++i) {
        uint32_t want = 1 + static_cast<uint32_t>((i * 7919u + size) % 70000);
        uint32_t got = reader.Read(offset, buffer.data(), want);
        if (got > want) std::abort();
        if (got == 0) break;
        offset += got;
    }
    return 0;
}
