#include "outside/logic/FoundFileOpener.h"

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
