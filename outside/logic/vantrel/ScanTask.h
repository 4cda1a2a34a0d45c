#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <utility>

#include "sqlite_recovery/framework/IDataContainer.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "sqlite_recovery/framework/ResultCode.h"

class ScanGate;
class ScanResults;
class ScanSink;

// The containers the GUI drains while a scan fills them; null until the scan has them.
struct PublishedContainers {
    std::atomic<IDataContainer<_CONTACT_INFOMATION>*> contacts{nullptr};
    std::atomic<IDataContainer<_SMS_INFOMATION>*> sms{nullptr};
    std::atomic<IDataContainer<_ARCHIVE_INFOMATION>*> files{nullptr};
    void Clear() {
        contacts.store(nullptr);
        sms.store(nullptr);
        files.store(nullptr);
    }
};

// One scan of the phone, run on the scan thread: the contacts, then the conversations (named from
// the contacts), then the media files of every storage volume. Posts the scan's progress at most
// about ten times a second (0x02040004, with the seconds left once they can be judged), new
// contacts, conversations and files as the containers grow (0x0204000F, 0x02040010, 0x02040011),
// and always ends with one finished record (state 3), also when stopped or failed. A database
// that could not be read (a job that failed, not one stopped), and a database or the storage read
// only in part, is told (0x02040019), so that its categories do not just look empty or whole. The
// files the GUI is given are the shown ones (ShownFiles): each file once, deleted and carved ones
// at the end.
class ScanTask {
public:
    static constexpr int kPostIntervalMs = 100;

    ScanTask(std::shared_ptr<ScanResults> results, std::atomic<bool>& stop, PublishedContainers& published);
    void Run();

    // Called back by the libraries' sinks, on the scan thread.
    void OnLibraryProgress(const PROGRESS_INFO* record);
    void OnNewItems(int kind);
    bool ShouldContinue() const { return !stop_.load(); }

private:
    enum Phase { CONTACTS, SMS, MEDIA, PHASES };

    ResultCode RunContacts();
    ResultCode RunSms();
    ResultCode RunMedia();
    void BeginPhase(Phase phase);
    // The share of the whole scan done, 0 to just below 1.
    double Share() const;
    // Posts progress and the kinds of new items when the last post is long enough ago (or always).
    void Post(bool now);
    void PostNewKinds();
    void PostFinished(ResultCode result);
    // A database job's end: a failure not caused by a stop is posted as its category's bit.
    void NoteDatabaseJob(ResultCode result, int category);
    // Adds bits of what could not be read, or only in part, and posts all of them so far.
    void NoteUnread(uint32_t bits);
    // A sink for the next library, told when the scan is over (the library keeps it).
    std::unique_ptr<IProgress> NewSink(ScanGate* gate);

    using Clock = std::chrono::steady_clock;

    std::shared_ptr<ScanResults> results_;
    std::atomic<bool>& stop_;
    PublishedContainers& published_;
    double weights_[PHASES] = {0, 0, 0};
    Phase phase_ = CONTACTS;
    double phaseShare_ = 0;      // of the current phase, from the library's record
    uint64_t mediaSectors_ = 0;  // the volumes' sectors, when the media phase counts them
    unsigned newKinds_ = 0;      // bit per kind of new items not posted yet
    uint32_t unread_ = 0;        // the bits of MSG_SCAN_UNREAD so far
    Clock::time_point started_;
    Clock::time_point lastPost_;
    // What the sinks reach the scan through: null once the scan is over.
    std::shared_ptr<std::atomic<ScanTask*>> link_;
};

// A sink that hands a library's reports to the scan; in the media phase it also lets threads that
// wait at the scan's gate in (ScanGate::Checkpoint). After the scan it answers "stop" and passes
// nothing on: the library keeps it as long as itself.
class ScanSink : public IProgress {
public:
    ScanSink(std::shared_ptr<std::atomic<ScanTask*>> task, ScanGate* gate) : task_(std::move(task)), gate_(gate) {}
    void OnProgress(const PROGRESS_INFO* record) override;
    void OnDataChanged(int kind) override;
    int ShouldContinue() override;

private:
    std::shared_ptr<std::atomic<ScanTask*>> task_;
    ScanGate* gate_;
};
