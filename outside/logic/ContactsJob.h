#pragma once
#include <memory>
#include <string>

#include "contacts/IContactData.h"
#include "sqlite_recovery/framework/IDataContainer.h"
#include "sqlite_recovery/framework/IRecoveryAnalyzer.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "sqlite_recovery/framework/IVirtualDevice.h"
#include "outside/logic/JobSupport.h"
#include "outside/logic/RecoveryJob.h"
#include "platform/DynamicLibrary.h"

using ContactsAnalyzer = IRecoveryAnalyzer<IDataContainer<_CONTACT_INFOMATION>, IVirtualDevice>;

// The contacts analyser of a finished run, with its container. The container (and the contact
// lookup in its helper) lives as long as this, so that a later job can hand it on.
class ContactsRun {
public:
    ContactsRun() = default;
    ~ContactsRun();
    ContactsRun(const ContactsRun&) = delete;
    ContactsRun& operator=(const ContactsRun&) = delete;

    IDataContainer<_CONTACT_INFOMATION>* Container() const { return container_; }
    int Live() const { return live_; }
    int Deleted() const { return deleted_; }

private:
    friend int RunContacts(IVirtualDevice*, const std::string&, std::FILE*, ContactsRun&, IJobProgress*);
    platform::LibraryHandle library_ = nullptr;
    std::unique_ptr<IProgress> progress_;  // the analyser's sink, kept as long as the analyser
    ContactsAnalyzer* analyzer_ = nullptr;
    IDataContainer<_CONTACT_INFOMATION>* container_ = nullptr;
    int live_ = 0;
    int deleted_ = 0;
};

// Loads the contacts library by name, recovers the device's contacts into run and writes each one
// as OUT/contacts/NNNN.xml (NNNN its record id) and all of them to OUT/contacts.vcf (vCard 3.0,
// deleted contacts marked), every file new. Tells progress (may be null) how far the library is,
// and the report the live and deleted counts. 0 on success; 1 when the library cannot be run,
// the recovery fails or a file cannot be written (each such file is named on standard error).
int RunContacts(IVirtualDevice* device, const std::string& outFolder, std::FILE* report, ContactsRun& run,
                IJobProgress* progress);

// The job of the headless run. A phone without a contacts database has nothing to recover (0).
// The run it leaves in the context stays alive for later jobs (the SMS/MMS library takes its
// container).
int ContactsJob(JobContext& context);

// One contact as a vCard 3.0 entry (CRLF line ends, folded at 75 bytes): FN the display name, N
// from the name's structured parts. fallbackName names a contact without a name.
std::string ContactToVCard(IContactData* contact, const std::string& fallbackName);
