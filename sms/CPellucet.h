#pragma once
#include <map>
#include <string>
#include <vector>

#include "sqlite_recovery/controller/CBaseAnalyzer.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "sms/MessageAssembler.h"

// The analyser of the SMS/MMS database. Started with the contacts analyser's result container
// (or null), it names conversation partners through that container's contact lookup.
class CPellucet : public CBaseAnalyzer<IRecoveryAnalyzer<IDataContainer<_SMS_INFOMATION>, IVirtualDevice>,
                                       SmsResultMap, CDataContainer<_SMS_INFOMATION>> {
public:
    CPellucet() = default;
    // Releases every conversation object in the container before the base deletes it.
    ~CPellucet() override;

    void ProcessEntry(Entry entry) override;
    std::wstring SaveFolderName() const override { return L"SmsAndMms"; }
    std::wstring PullDatabase() override;
    Recovery* NewAndroidRecovery() override;
    bool MakeRecordData(const char* xmlText, _SMS_INFOMATION* record) override;
    int DataChangedKind() const override { return DATA_KIND_MESSAGES; }

    // The device paths tried for the database, in order.
    static const std::vector<std::wstring>& GetDatabaseCandidates();
    // The contact name for a number through the start argument; false when there is none.
    bool FindContactName(const std::string& number, std::string* name) const;
};
