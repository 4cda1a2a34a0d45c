#pragma once
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "logic_contract/IRecoveryJob.h"
#include "platform/CriticalSection.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/ResultCode.h"

class CLogicalController;
class ScanResults;

// The logic's recovery object: writes the ticked items of one category, on a thread of its own,
// into the folder the GUI made for it, with the same writers and layout as relikorda-recover.
// Posts 0x03050004 before each item (its file's name at offset 28) and one finished record at the
// end: result 0, error 15 when a file could not be written, 18 when files were written shorter
// than they were (the phone holds no more of them), 17 when the phone went off line during the
// recovery, 13 when stopped. A Start while a recovery runs is refused with a finished
// failure record, and the running recovery goes on writing but posts nothing more: its window is
// gone, and the newer window must end on the refusal. Owned by the controller.
class CRecoveryObject : public IRecoveryJob {
public:
    static constexpr uint32_t kPreviewWaitMs = 300;

    explicit CRecoveryObject(CLogicalController& owner);
    ~CRecoveryObject() override;
    CRecoveryObject(const CRecoveryObject&) = delete;
    CRecoveryObject& operator=(const CRecoveryObject&) = delete;

    void Start(const char* destDir, IResourceReader* texts, int category) override;
    IItemReader* OpenItem(const _ARCHIVE_INFOMATION* item) override;
    void Stop() override;

    // Stops a running recovery and waits for its thread: nothing is posted after this.
    void Finish();

    // The folder a recovery may write into: destDir (one final '/' or '\' cut) as a real path, an
    // existing folder outside the phone's; empty when it is not that.
    static std::string UsableFolder(const char* destDir, const std::string& phoneRoot);

private:
    void Run(std::shared_ptr<ScanResults> results, std::string folder, int category);
    ResultCode Write(ScanResults& results, const std::string& folder, int category, uint64_t total);
    void Refuse(uint32_t error);
    void PostUnlessMuted(const PROGRESS_INFO& record);

    CLogicalController& owner_;
    CRITICAL_SECTION lock_;  // guards starting and joining the thread
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> muted_{false};  // a newer window took the messages over
};
