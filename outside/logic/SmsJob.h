#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>
#include <string>

#include "outside/logic/AnalyserRun.h"
#include "sqlite_recovery/framework/ICommon.h"
#include "sqlite_recovery/framework/IDataContainer.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "outside/logic/RecoveryJob.h"

class IJobProgress;
class ISMSSession;
class IVirtualDevice;

// What one SMS/MMS run found, and how many of its files could not be written.
struct SmsRunCounts {
    int conversations = 0;
    int messages = 0;
    int deleted = 0;
    int attachments = 0;
    int lost = 0;
};

// The SMS/MMS analyser of a run, with its conversations.
class SmsRun : public AnalyserRun<_SMS_INFOMATION> {};

// Loads the SMS/MMS library by name and recovers the device's conversations into run, handing it
// the contacts container (or null) for partner names; the library reports to sink, and progress
// (may be null) is told when it is done. 0 when the recovery ran; 1 when the library cannot be
// run or the recovery failed (said on standard error; what was found is kept); kScanReadInPart
// when it ran on a database it could read only in part (said too).
int ScanSms(IVirtualDevice* device, ICommon* contacts, SmsRun& run, std::unique_ptr<IProgress> sink,
            IJobProgress* progress);

// Scans, ticks everything and writes it: each conversation as OUT/sms/NNNN.xml (NNNN its record
// id), OUT/sms/NNNN.txt (a readable rendering) and its attachments under OUT/sms/NNNN/. 0 on
// success; 1 when the library cannot be run, the recovery fails or a file cannot be written.
int RunSms(IVirtualDevice* device, ICommon* contacts, const std::string& outFolder, std::FILE* report,
           IJobProgress* progress, SmsRunCounts* counts);

// Writes the conversations of the container below OUT/sms (every one, or the ticked ones only),
// every file new (never over one that is there, never through a link). The observer (may be
// null) is told of each conversation and may stop the writing. False when something could not
// be written, each such file named on standard error, or the observer stopped it.
bool WriteConversations(IDataContainer<_SMS_INFOMATION>* container, const std::string& outFolder,
                        SmsRunCounts* counts, bool tickedOnly = false, IWriteObserver* observer = nullptr);

// The job of the headless run: after the contacts job, with its container. A phone without an
// SMS/MMS database has nothing to recover (0).
int SmsJob(JobContext& context);

// One conversation as readable text: per message its date (UTC, "date unknown" when the phone kept
// none), direction, partner, what it is when not simply received or sent ([draft], [outbox],
// [failed], [queued]), [cut] when a text is only the part that could be read, [deleted], its texts
// and its attachments' file names. A message made from a text alone (a thread's snippet, the word
// index) or from a record that kept no type has no known direction, and a snippet's date is its
// thread's.
std::string RenderConversation(ISMSSession* session);
// A message's date as the rendering writes it: "YYYY-MM-DD hh:mm:ss UTC" from seconds since
// 1970-01-01 UTC, "date unknown" for 0 or less.
std::string MessageDateText(int64_t seconds);
// A path for an attachment inside folder whose name this conversation has not used yet (the
// names go into used), the sender's name cleaned of separators and invisible characters; empty
// when none can be found.
std::string UniqueAttachmentPath(const std::string& folder, const char* fileName, int index,
                                 std::set<std::string>* used);
