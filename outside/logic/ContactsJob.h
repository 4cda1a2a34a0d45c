#pragma once
#include <memory>
#include <string>

#include "contacts/IContactData.h"
#include "outside/logic/AnalyserRun.h"
#include "sqlite_recovery/framework/IDataContainer.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "sqlite_recovery/framework/IVirtualDevice.h"
#include "outside/logic/JobSupport.h"
#include "outside/logic/RecoveryJob.h"

// The contacts analyser of a run, with its container. The container (and the contact lookup in
// its helper) lives as long as this, so that a later job can hand it on.
class ContactsRun : public AnalyserRun<_CONTACT_INFOMATION> {};

// Loads the contacts library by name and recovers the device's contacts into run; the library
// reports to sink, and progress (may be null) is told when it is done. 0 when the recovery ran; 1
// when the library cannot be run or the recovery failed (said on standard error; what was found
// is kept); kScanReadInPart when it ran on a database it could read only in part (said too).
int ScanContacts(IVirtualDevice* device, ContactsRun& run, std::unique_ptr<IProgress> sink, IJobProgress* progress);

struct ContactCounts {
    int live = 0;
    int deleted = 0;
    int lost = 0;  // files not written
};

// Writes each ticked contact of the container as OUT/contacts/NNNN.xml (NNNN its record id) and
// all of them to OUT/contacts.vcf (vCard 3.0, deleted contacts marked), every file new. The
// observer (may be null) is told of each contact and may stop the writing. False when a file
// could not be written (each named on standard error) or the observer stopped it.
bool WriteContacts(IDataContainer<_CONTACT_INFOMATION>* container, const std::string& outFolder,
                   IWriteObserver* observer, ContactCounts* counts);

// Scans, ticks everything and writes it, and tells the report the live and deleted counts. 0 on
// success; 1 when the library cannot be run, the recovery fails or a file cannot be written.
int RunContacts(IVirtualDevice* device, const std::string& outFolder, std::FILE* report, ContactsRun& run,
                IJobProgress* progress);

// The job of the headless run. A phone without a contacts database has nothing to recover (0).
// The run it leaves in the context stays alive for later jobs (the SMS/MMS library takes its
// container).
int ContactsJob(JobContext& context);

// One contact as a vCard 3.0 entry (CRLF line ends, folded at 75 bytes): FN the display name, N
// from the name's structured parts. fallbackName names a contact without a name.
std::string ContactToVCard(IContactData* contact, const std::string& fallbackName);
