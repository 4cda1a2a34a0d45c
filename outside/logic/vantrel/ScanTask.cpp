#include "outside/logic/vantrel/ScanTask.h"

#include <algorithm>
#include <utility>

#include "logic_contract/RelikordaMsg.h"
#include "media_recovery/MediaErrors.h"
#include "outside/logic/vantrel/LogicMessages.h"
#include "outside/logic/vantrel/ScanResults.h"
#include "platform/DynamicLibrary.h"

namespace {
// The progress record's scale: shares are sent as parts of this.
constexpr uint64_t kProgressTotal = 10000;
// The databases are small beside the volumes: their phases weigh this much when there are volumes.
constexpr double kDatabaseWeight = 0.05;
// Short of the end until the last phase returns.
constexpr double kMostBeforeTheEnd = 0.99;

unsigned KindBit(int kind) { return kind >= 0 && kind < 8 ? 1u << kind : 0; }
// The GUI's category numbers of the two databases.
constexpr int kCategoryContacts = 1, kCategoryMessages = 2;
}  // namespace

void ScanSink::OnProgress(const PROGRESS_INFO* record) {
    ScanTask* task = task_->load();
    if (!task) return;
    task->OnLibraryProgress(record);
    if (gate_) gate_->Checkpoint();
}

void ScanSink::OnDataChanged(int kind) {
    ScanTask* task = task_->load();
    if (!task) return;
    task->OnNewItems(kind);
    if (gate_) gate_->Checkpoint();
}

int ScanSink::ShouldContinue() {
    ScanTask* task = task_->load();
    if (!task) return 0;
    if (gate_) gate_->Checkpoint();
    return task->ShouldContinue() ? 1 : 0;
}

ScanTask::ScanTask(std::shared_ptr<ScanResults> results, std::atomic<bool>& stop, PublishedContainers& published)
    : results_(std::move(results)), stop_(stop), published_(published),
      link_(std::make_shared<std::atomic<ScanTask*>>(this)) {}

void ScanTask::Run() {
    started_ = lastPost_ = Clock::now();
    CDeviceFolder& phone = results_->Phone();
    bool contacts = HoldsAnyOf(phone, kContactsDatabases), sms = HoldsAnyOf(phone, kSmsDatabases);
    mediaSectors_ = VolumeSectors(phone);
    double databases = mediaSectors_ ? kDatabaseWeight : 0.5;
    weights_[CONTACTS] = contacts ? databases : 0;
    weights_[SMS] = sms ? databases : 0;
    weights_[MEDIA] = mediaSectors_ ? 1.0 - weights_[CONTACTS] - weights_[SMS] : 0;

    ResultCode result = RK_OK;
    if (contacts && ShouldContinue()) {
        result = RunContacts();
        NoteDatabaseJob(result, kCategoryContacts);
    }
    ResultCode smsResult = RK_OK;
    if (sms && ShouldContinue()) {
        smsResult = RunSms();
        NoteDatabaseJob(smsResult, kCategoryMessages);
    }
    ResultCode mediaResult = mediaSectors_ && ShouldContinue() ? RunMedia() : RK_OK;
    // A partition the image ends before was read by no reader: what it held is lost as a cut
    // volume's files are.
    if (phone.LostPartitions()) NoteUnread(kStorageReadInPart);
    if (Succeeded(result)) result = Failed(smsResult) ? smsResult : mediaResult;
    if (!ShouldContinue()) result = RK_FAIL(RK_E_CANCELLED);
    link_->store(nullptr);
    PostFinished(result);
}

std::unique_ptr<IProgress> ScanTask::NewSink(ScanGate* gate) {
    return std::unique_ptr<IProgress>(new ScanSink(link_, gate));
}

void ScanTask::BeginPhase(Phase phase) {
    phase_ = phase;
    phaseShare_ = 0;
}

ResultCode ScanTask::RunContacts() {
    BeginPhase(CONTACTS);
    ContactsRun& run = results_->Contacts();
    int failed = ScanContacts(&results_->Phone(), run, NewSink(nullptr),
                              nullptr);
    if (failed == kScanReadInPart) NoteUnread(1u << (kReadInPartShift + kCategoryContacts));
    Post(true);
    return failed == 1 ? RK_FAIL(RK_E_FAIL) : RK_OK;
}

ResultCode ScanTask::RunSms() {
    BeginPhase(SMS);
    ICommon* contacts = results_->Contacts().GetContainer();
    int failed = ScanSms(&results_->Phone(), contacts, results_->Sms(),
                         NewSink(nullptr), nullptr);
    if (failed == kScanReadInPart) NoteUnread(1u << (kReadInPartShift + kCategoryMessages));
    Post(true);
    return failed == 1 ? RK_FAIL(RK_E_FAIL) : RK_OK;
}

ResultCode ScanTask::RunMedia() {
    BeginPhase(MEDIA);
    MediaLibraryCalls calls = MediaLibraryCallsOf(platform::LoadLibraryW(L"Dredgel"));
    if (!calls.createObject || !calls.getDredgelObj) return RK_FAIL(RK_E_FAIL);
    MediaRun& run = results_->Media();
    ScanGate& gate = results_->Gate();
    // The gate opens before the analyser can report a first file.
    gate.EnterScan();
    AnalyserOpening opening = run.Open(calls.createObject, &results_->CountedPhone(),
                                       NewSink(&gate));
    ResultCode result = RK_FAIL(RK_E_FAIL);
    if (opening == AnalyserOpening::Opened) {
        results_->MakeOpener(calls.getDredgelObj);
        published_.files.store(results_->Shown().Container());
        result = run.Run(nullptr);
        // A volume read only in part still gave the scan its end: what was found is shown, and
        // that more may be missing is told.
        if (ErrorNumber(result) == MEDIA_E_READ_IN_PART) {
            NoteUnread(kStorageReadInPart);
            result = RK_OK;
        }
    }
    gate.LeaveScan();
    // What waited for the end of the scan: the deleted entries and carved finds.
    if (FoundFileOpener* opener = results_->Opener())
        if (results_->Shown().Settle(run.GetContainer(), *opener)) newKinds_ |= KindBit(DATA_KIND_FILES);
    Post(true);
    return result;
}

void ScanTask::OnLibraryProgress(const PROGRESS_INFO* record) {
    if (!record) return;
    uint64_t total = record->total, done = record->done;  // copies: the record is packed
    if (total) phaseShare_ = done >= total ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
    Post(false);
}

void ScanTask::OnNewItems(int kind) {
    // The containers are there once the libraries report items into them.
    if (kind == DATA_KIND_CONTACTS) published_.contacts.store(results_->Contacts().GetContainer());
    if (kind == DATA_KIND_MESSAGES) published_.sms.store(results_->Sms().GetContainer());
    // New files are new to the GUI once they are shown (Post).
    if (kind != DATA_KIND_FILES) newKinds_ |= KindBit(kind);
    Post(false);
}

double ScanTask::Share() const {
    double share = 0;
    for (int p = 0; p < phase_; ++p) share += weights_[p];
    double within = phaseShare_;
    if (phase_ == MEDIA && mediaSectors_)
        within = static_cast<double>(results_->CountedPhone().SectorsRead()) / static_cast<double>(mediaSectors_);
    share += weights_[phase_] * std::min(within, 1.0);
    return std::min(share, kMostBeforeTheEnd);
}

void ScanTask::Post(bool now) {
    Clock::time_point at = Clock::now();
    if (!now && at - lastPost_ < std::chrono::milliseconds(kPostIntervalMs)) return;
    lastPost_ = at;
    // The containers as they are so far: a phase may report no new items at all.
    if (!published_.contacts.load()) published_.contacts.store(results_->Contacts().GetContainer());
    if (!published_.sms.load()) published_.sms.store(results_->Sms().GetContainer());
    // The library's new files, each once: the scan stands still in its call back meanwhile.
    FoundFileOpener* opener = phase_ == MEDIA ? results_->Opener() : nullptr;
    if (opener && results_->Shown().Follow(results_->Media().GetContainer(), *opener))
        newKinds_ |= KindBit(DATA_KIND_FILES);

    double share = Share();
    long seconds = 0;
    double elapsed = std::chrono::duration<double>(at - started_).count();
    bool known = EstimateSecondsLeft(share, elapsed, &seconds);
    PROGRESS_INFO record = MakeProgress(known ? SCAN_STATE_TIME_KNOWN : SCAN_STATE_TIME_UNKNOWN, kProgressTotal,
                                        static_cast<uint64_t>(share * kProgressTotal));
    record.remainingSeconds = known ? static_cast<uint32_t>(seconds) : 0;
    PostProgress(MSG_SCAN_PROGRESS, record);
    PostNewKinds();
}

void ScanTask::PostNewKinds() {
    if (newKinds_ & KindBit(DATA_KIND_CONTACTS)) PostMessage(MSG_SCAN_NEW_CONTACTS);
    if (newKinds_ & KindBit(DATA_KIND_MESSAGES)) PostMessage(MSG_SCAN_NEW_MESSAGES);
    if (newKinds_ & KindBit(DATA_KIND_FILES)) PostMessage(MSG_SCAN_NEW_FILES);
    newKinds_ = 0;
}

void ScanTask::NoteDatabaseJob(ResultCode result, int category) {
    if (Succeeded(result) || !ShouldContinue()) return;
    NoteUnread(1u << category);
}

void ScanTask::NoteUnread(uint32_t bits) {
    unread_ |= bits;
    PostBits(MSG_SCAN_UNREAD, unread_);
}

void ScanTask::PostFinished(ResultCode result) {
    PostNewKinds();
    PROGRESS_INFO record = MakeProgress(PROGRESS_STATE_FINISHED, kProgressTotal, kProgressTotal);
    record.result = result;
    PostProgress(MSG_SCAN_PROGRESS, record);
}
