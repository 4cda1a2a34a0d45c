// Feeds arbitrary bytes as a storage device to both whole-device searchers, chunk by chunk as the
// controller does, then ends their searches and asks for their volumes. Nothing may crash, loop,
// hold unbounded memory or read outside the device. The first byte chooses the sector size (bit 0:
// 4096, else 512), the second the chunk length (2 to 257 sectors); the rest is the device.
#include <cstdint>
#include <algorithm>
#include <vector>

#include "filesystems/frame/CSearchedPartitionInfo.h"
#include "filesystems/FileSystemSearchers.h"
#include "testing/KeepingBuilder.h"
#include "testing/MemoryDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3 || size > (4u << 20)) return 0;
    const uint32_t sectorSize = (data[0] & 1) ? 4096 : 512;
    const uint32_t chunk = 2u + data[1];
    MemoryDevice device(std::vector<uint8_t>(data + 2, data + size), sectorSize);
    for (ICompleteFileSystemSearchController* searcher : {CreateExFatCompleteSearch(), CreateFATCompleteSearcher()}) {
        KeepingBuilder builder;
        searcher->SetDevice(&device);
        searcher->SetChunkSectors(chunk);
        searcher->SetBuilder(&builder);
        searcher->BeginSearch();
        for (uint64_t first = 0; first < device.GetSectorCount(); first += chunk)
            searcher->ScanChunk(first, std::min<uint64_t>(chunk, device.GetSectorCount() - first), nullptr);
        searcher->EndSearch();
        const int count = searcher->GetPartitions(nullptr, 0);
        std::vector<CSearchedPartitionInfo*> out(static_cast<size_t>(count > 0 ? count : 0));
        if (count > 0 && searcher->GetPartitions(out.data(), count) == count)
            for (CSearchedPartitionInfo* p : out) delete p;
        delete searcher;
    }
    return 0;
}
