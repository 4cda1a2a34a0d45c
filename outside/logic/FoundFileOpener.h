#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "media_recovery/DredgelExports.h"
#include "platform/CriticalSection.h"

class ScanGate;

// Opens found files for reading through the media library's per-item recovery objects, one kept
// per controller. Safe from several threads: the recovery objects read under their own lock.
// While the library still scans, a controller's volumes may still grow, so each opening makes a
// fresh recovery object, through the scan's gate.
class FoundFileOpener {
public:
    static constexpr uint32_t kWriterWaitMs = 10000;

    // gate may be null: nothing scans any more.
    FoundFileOpener(GetDredgelObjFn getDredgelObj, DredgelAnalyzer* analyser, ScanGate* gate = nullptr);
    // Releases the recovery objects; before the analyser goes.
    ~FoundFileOpener();
    FoundFileOpener(const FoundFileOpener&) = delete;
    FoundFileOpener& operator=(const FoundFileOpener&) = delete;

    // A reader of the item's data, the caller's to release; null when the library cannot read it
    // or the scan did not stand still within waitMs.
    IArchiveFileReader* Open(const _ARCHIVE_INFOMATION& item, uint32_t waitMs = kWriterWaitMs);
    // Hands use each item's index and reader (null when it cannot be read), releasing the reader
    // afterwards. While the scan runs, the items are opened in batches, each batch while the scan
    // stands still and with one recovery object per controller; when the scan does not stand still
    // within waitMs, the items from that batch on are not handed over. Returns how many were.
    size_t ForEachReader(const std::vector<_ARCHIVE_INFOMATION>& items,
                       const std::function<void(size_t, IArchiveFileReader*)>& use, uint32_t waitMs = kWriterWaitMs);

private:
    IArchiveFileReader* OpenKept(const _ARCHIVE_INFOMATION& item);

    GetDredgelObjFn getDredgelObj_;
    DredgelAnalyzer* analyser_;
    ScanGate* gate_;
    CRITICAL_SECTION lock_;  // guards the kept recovery objects
    std::map<std::pair<uint64_t, uint32_t>, IArchiveDataRecovery*> recoveries_;
};
