#pragma once
#include <string>
#include <vector>

#include "sqlite_recovery/controller/CBaseAnalyzer.h"
#include "contacts/CContactXmlBuilder.h"
#include "contacts/ContactJoin.h"
#include "sqlite_recovery/framework/ItemRecords.h"

class CSwapContact;

using ContactsAnalyzerBase = CBaseAnalyzer<IRecoveryAnalyzer<IDataContainer<_CONTACT_INFOMATION>, IVirtualDevice>,
                                           ContactResultMap, CDataContainer<_CONTACT_INFOMATION>>;

// The contacts analyser: copies the phone's contacts database, recovers and joins its rows, and
// adds every contact to the container as an XML-backed data object, keeping a lookup from numbers
// and addresses to names in the container's helper for the SMS/MMS library.
class CMerrowin : public ContactsAnalyzerBase {
public:
    static CMerrowin* Create();
    ~CMerrowin() override;

    ResultCode OnInitialized() override;
    void ProcessEntry(Entry entry) override;
    // By contact id, then raw contact id, live first, then by the rows' values: the map is keyed by
    // the rows' addresses, which differ from run to run, and the records' ids must not.
    std::vector<Entry> EntriesInOrder(ContactResultMap& result) override;

    std::wstring SaveFolderName() const override { return L"Contact"; }
    std::wstring PullDatabase() override;
    Recovery* NewAndroidRecovery() override;
    bool MakeRecordData(const char* xmlText, _CONTACT_INFOMATION* record) override;
    int DataChangedKind() const override { return DATA_KIND_CONTACTS; }

    // The device paths tried for the database, in order.
    static std::vector<std::wstring> GetDatabaseCandidates();

private:
    CMerrowin();
    void AddDocument(const char* xml, const TiXmlElement* root);

    CSwapContact* lookup_ = nullptr;  // owned; also the container's helper
    CContactXmlBuilder builder_;
};
