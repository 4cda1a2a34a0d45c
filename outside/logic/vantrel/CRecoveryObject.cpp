#include "outside/logic/vantrel/CRecoveryObject.h"

#include <functional>
#include <utility>

#include "logic_contract/RelikordaMsg.h"
#include "media_recovery/CRecoveryFilter.h"
#include "media_recovery/file_model/IFileNode.h"
#include "outside/logic/CommandLine.h"
#include "outside/logic/vantrel/CItemReader.h"
#include "outside/logic/vantrel/CLogicalController.h"
#include "outside/logic/vantrel/LogicMessages.h"
#include "outside/logic/vantrel/ScanResults.h"
#include "platform/FileSystem.h"
#include "sqlite_recovery/framework/Lockers.h"

namespace {

enum : int { CATEGORY_CONTACTS = 1, CATEGORY_MESSAGES = 2 };

// Tells the GUI of each item before it is written; stops the writer once asked to, or once the
// phone is gone.
class ItemPoster : public IWriteObserver {
public:
    using Poster = std::function<void(const PROGRESS_INFO&)>;
    ItemPoster(uint64_t total, std::atomic<bool>& stop, Poster post, CLogicalController& owner)
        : total_(total), stop_(stop), post_(std::move(post)), owner_(owner) {}

    bool OnItem(const std::string& name) override {
        if (stop_.load() || owner_.PhoneWentOffline()) {
            stopped_ = true;
            return false;
        }
        PROGRESS_INFO record = MakeProgress(PROGRESS_STATE_RUNNING, total_, done_++);
        SetProgressText(record, name);
        post_(record);
        return true;
    }
    bool Stopped() const { return stopped_; }
    uint64_t Done() const { return done_; }

private:
    uint64_t total_;
    uint64_t done_ = 0;
    bool stopped_ = false;
    std::atomic<bool>& stop_;
    Poster post_;
    CLogicalController& owner_;
};

template <class Record, class Test>
uint64_t CountTicked(IDataContainer<Record>* container, Test test) {
    uint64_t count = 0;
    if (!container) return 0;
    autolocker<IDataContainer<Record>*> lock(container);
    for (auto it = container->Begin(); it != container->End(); ++it)
        if (it->second.check && test(it->second)) ++count;
    return count;
}

uint64_t TickedItems(ScanResults& results, int category) {
    if (category == CATEGORY_CONTACTS)
        return CountTicked(results.Contacts().GetContainer(), [](const _CONTACT_INFOMATION& r) { return r.data; });
    if (category == CATEGORY_MESSAGES)
        return CountTicked(results.Sms().GetContainer(), [](const _SMS_INFOMATION& r) { return r.session; });
    CRecoveryFilter* filter = GetRecoveryFilter();
    return CountTicked(results.Shown().Container(), [&](const _ARCHIVE_INFOMATION& r) {
        return r.node && filter && FileCategoryOfFlag(filter->GetCategoryFlag(r.node)) == category;
    });
}

}  // namespace

CRecoveryObject::CRecoveryObject(CLogicalController& owner) : owner_(owner) {}

CRecoveryObject::~CRecoveryObject() { Finish(); }

std::string CRecoveryObject::UsableFolder(const char* destDir, const std::string& phoneRoot) {
    if (!destDir || !*destDir) return std::string();
    std::string path = destDir;
    // The GUI ends the folder with a separator.
    if (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    std::string real = platform::RealPath(path);
    if (real.empty() || platform::GetEntryKind(real) != platform::EntryKind::Directory) return std::string();
    std::string root = platform::RealPath(phoneRoot);
    // Nothing is ever written to the phone.
    if (!root.empty() && IsSameOrInside(real, root)) return std::string();
    return real;
}

void CRecoveryObject::Refuse(uint32_t error) {
    PROGRESS_INFO record = MakeProgress(PROGRESS_STATE_FINISHED, 0, 0);
    record.result = MakeFailure(__LINE__, error);
    PostProgress(MSG_RECOVERY_PROGRESS, record);
}

void CRecoveryObject::Start(const char* destDir, IResourceReader*, int category) {
    autolocker<critical_locker> guard(&lock_);
    if (running_.load()) {
        muted_.store(true);
        Refuse(LOGIC_E_BUSY);
        return;
    }
    if (thread_.joinable()) thread_.join();
    std::shared_ptr<ScanResults> results = owner_.Results();
    if (!results) {
        Refuse(LOGIC_E_NO_SCAN);
        return;
    }
    if (category < CATEGORY_CONTACTS || category > FILE_CATEGORY_DOCUMENTS) {
        Refuse(RK_E_INVALID_ARGUMENT);
        return;
    }
    std::string folder = UsableFolder(destDir, results->Phone().Root());
    if (folder.empty()) {
        Refuse(LOGIC_E_WRITE_FAILED);
        return;
    }
    stop_.store(false);
    muted_.store(false);
    running_.store(true);
    thread_ = std::thread(&CRecoveryObject::Run, this, std::move(results), std::move(folder), category);
}

void CRecoveryObject::Run(std::shared_ptr<ScanResults> results, std::string folder, int category) {
    uint64_t total = TickedItems(*results, category);
    ResultCode result = Write(*results, folder, category, total);
    PROGRESS_INFO record = MakeProgress(PROGRESS_STATE_FINISHED, total, total);
    record.result = result;
    // Once the end is told, a new recovery may start.
    autolocker<critical_locker> guard(&lock_);
    PostUnlessMuted(record);
    running_.store(false);
}

void CRecoveryObject::PostUnlessMuted(const PROGRESS_INFO& record) {
    // Under the lock a refusal is posted with: nothing of this recovery follows it.
    autolocker<critical_locker> guard(&lock_);
    if (!muted_.load()) PostProgress(MSG_RECOVERY_PROGRESS, record);
}

ResultCode CRecoveryObject::Write(ScanResults& results, const std::string& folder, int category, uint64_t total) {
    ItemPoster poster(total, stop_, [this](const PROGRESS_INFO& record) { PostUnlessMuted(record); }, owner_);
    bool ok = false;
    MediaCounts media;
    if (category == CATEGORY_CONTACTS) {
        ContactCounts counts;
        ok = !results.Contacts().GetContainer() ||
             WriteContacts(results.Contacts().GetContainer(), folder, &poster, &counts);
    } else if (category == CATEGORY_MESSAGES) {
        SmsRunCounts counts;
        ok = !results.Sms().GetContainer() ||
             WriteConversations(results.Sms().GetContainer(), folder, &counts, true, &poster);
    } else if (FoundFileOpener* opener = results.Opener()) {
        ok = WriteMedia(*opener, results.Shown().Container(), folder, category, &poster, nullptr, &media);
    } else {
        ok = true;  // the phone has no media files
    }
    if (poster.Stopped())
        return MakeFailure(__LINE__, owner_.PhoneWentOffline() ? uint32_t{LOGIC_E_DEVICE_OFFLINE} : uint32_t{RK_E_CANCELLED});
    if (!ok) return MakeFailure(__LINE__, LOGIC_E_WRITE_FAILED);
    return media.shortFiles || media.carvedInPart || media.gone ? MakeFailure(__LINE__, LOGIC_E_FILES_SHORT) : RK_OK;
}

IItemReader* CRecoveryObject::OpenItem(const _ARCHIVE_INFOMATION* item) {
    std::shared_ptr<ScanResults> results = owner_.Results();
    FoundFileOpener* opener = results ? results->Opener() : nullptr;
    IDataContainer<_ARCHIVE_INFOMATION>* container = results ? results->Shown().Container() : nullptr;
    if (!item || !opener || !container) return nullptr;
    // Only a record of this scan's files is read: an older one's file may be gone.
    _ARCHIVE_INFOMATION record;
    {
        autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> lock(container);
        if (!container->Contains(item->id)) return nullptr;
        record = *container->At(item->id);
    }
    if (!record.node || record.node != item->node) return nullptr;
    IArchiveFileReader* reader = opener->Open(record, kPreviewWaitMs);
    return reader ? new CItemReader(std::move(results), reader) : nullptr;
}

void CRecoveryObject::Stop() { stop_.store(true); }

void CRecoveryObject::Finish() {
    std::thread recovery;
    {
        autolocker<critical_locker> guard(&lock_);
        stop_.store(true);
        recovery = std::move(thread_);
    }
    if (recovery.joinable()) recovery.join();
}
