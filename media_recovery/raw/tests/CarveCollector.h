#pragma once
#include <string>
#include <vector>

#include "media_recovery/raw/CRAWFileNode.h"
#include "media_recovery/raw/RawCarveScanner.h"

// Runs a scanner over a whole device in chunks and keeps what it carves, with generated names.
struct CarvedRecord {
    uint64_t startSector;
    uint64_t size;
    uint32_t typeId;
    std::string name;
    std::string extraName;
    std::string partReason;
};

inline std::vector<CarvedRecord> CarveDevice(IStorageDevice& device, uint32_t chunkSectors, IProgress* sink = nullptr,
                                             RawCarveScanner* use = nullptr) {
    std::vector<CarvedRecord> out;
    RawCarveScanner local;
    RawCarveScanner& scanner = use ? *use : local;
    scanner.SetOutput([&](RawHit& hit) {
        out.push_back({hit.startSector, hit.size, hit.fileTypeId, CRAWFileNode::MakeName(hit.namePrefix, hit.fileTypeId),
                       hit.extraName, hit.partReason});
        return true;
    });
    scanner.BeginSearch(&device, chunkSectors);
    uint64_t n = device.GetSectorCount();
    for (uint64_t first = 0; first < n; first += chunkSectors)
        scanner.ScanChunk(first, std::min<uint64_t>(chunkSectors, n - first), sink);
    scanner.EndSearch();
    return out;
}
