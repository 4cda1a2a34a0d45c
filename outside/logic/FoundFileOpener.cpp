#include "outside/logic/FoundFileOpener.h"

#include <algorithm>

#include "outside/logic/ScanGate.h"
#include "sqlite_recovery/framework/Lockers.h"

FoundFileOpener::FoundFileOpener(GetDredgelObjFn getDredgelObj, DredgelAnalyzer* analyser, ScanGate* gate)
    : getDredgelObj_(getDredgelObj), analyser_(analyser), gate_(gate) {}

FoundFileOpener::~FoundFileOpener() {
    for (auto& entry : recoveries_)
        if (entry.second) entry.second->Release();
}

IArchiveFileReader* FoundFileOpener::OpenKept(const _ARCHIVE_INFOMATION& item) {
    autolocker<critical_locker> guard(&lock_);
    auto key = std::make_pair(item.owner, item.type);
    auto found = recoveries_.find(key);
    IArchiveDataRecovery* recovery =
        found != recoveries_.end() ? found->second : (recoveries_[key] = getDredgelObj_(analyser_, &item));
    return recovery ? recovery->OpenFile(item.node) : nullptr;
}

IArchiveFileReader* FoundFileOpener::Open(const _ARCHIVE_INFOMATION& item, uint32_t waitMs) {
    if (!getDredgelObj_ || !analyser_ || !item.node) return nullptr;
    if (!gate_ || !gate_->IsScanning()) return OpenKept(item);
    IArchiveFileReader* reader = nullptr;
    gate_->Visit(
        [&] {
            // The reader keeps what it needs of the volume; the recovery object may go.
            IArchiveDataRecovery* recovery = getDredgelObj_(analyser_, &item);
            if (!recovery) return;
            reader = recovery->OpenFile(item.node);
            recovery->Release();
        },
        waitMs);
    return reader;
}

size_t FoundFileOpener::ForEachReader(const std::vector<_ARCHIVE_INFOMATION>& items,
                                    const std::function<void(size_t, IArchiveFileReader*)>& use, uint32_t waitMs) {
    if (!gate_ || !gate_->IsScanning()) {
        for (size_t i = 0; i < items.size(); ++i) {
            IArchiveFileReader* reader = getDredgelObj_ && analyser_ && items[i].node ? OpenKept(items[i]) : nullptr;
            use(i, reader);
            if (reader) reader->Release();
        }
        return items.size();
    }
    // Few enough that the scan stands still only briefly for each batch.
    constexpr size_t kBatch = 256;
    std::vector<IArchiveFileReader*> readers;
    for (size_t first = 0; first < items.size(); first += kBatch) {
        const size_t end = std::min(items.size(), first + kBatch);
        readers.assign(end - first, nullptr);
        const bool visited = gate_->Visit(
            [&] {
                std::map<std::pair<uint64_t, uint32_t>, IArchiveDataRecovery*> recoveries;
                for (size_t i = first; i < end; ++i) {
                    const _ARCHIVE_INFOMATION& item = items[i];
                    if (!getDredgelObj_ || !analyser_ || !item.node) continue;
                    auto key = std::make_pair(item.owner, item.type);
                    auto found = recoveries.find(key);
                    IArchiveDataRecovery* recovery = found != recoveries.end()
                                                         ? found->second
                                                         : (recoveries[key] = getDredgelObj_(analyser_, &item));
                    if (recovery) readers[i - first] = recovery->OpenFile(item.node);
                }
                // The readers keep what they need of the volumes.
                for (auto& entry : recoveries)
                    if (entry.second) entry.second->Release();
            },
            waitMs);
        if (!visited) return first;
        for (size_t i = first; i < end; ++i) {
            use(i, readers[i - first]);
            if (readers[i - first]) readers[i - first]->Release();
        }
    }
    return items.size();
}
