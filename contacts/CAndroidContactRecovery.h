#pragma once
#include "sqlite_recovery/controller/CSQLiteRecoveryControler.h"
#include "contacts/ContactJoin.h"
#include "contacts/EntryRowOwner.h"
#include "sqlite_recovery/controller/IAndroidRecovery.h"

class CMimetypesTableAnalyze;

// The contacts library's recovery object: recovers the six tables of the contacts database over
// every view and joins their rows into one entry per raw contact.
class CAndroidContactRecovery : public CSQLiteRecoveryControler, public IAndroidRecovery<ContactResultMap> {
public:
    CAndroidContactRecovery() = default;
    ~CAndroidContactRecovery() override;

    // Opens the database and reads the mimetypes of its last commit.
    ResultCode Initialize(const wchar_t* databasePath, const VersionPair* version, ICommon* context,
                          IProgress* sink) override;
    ResultCode Uninitialize() override;
    void Release() override { delete this; }
    // Recovers the tables, then joins their rows.
    ResultCode Recover() override;
    ContactResultMap* GetResult() override { return &result_; }
    // The entry has become its contact: it goes from the result, and with it the rows that no
    // other entry holds.
    void EntryDone(ContactResultMap::iterator entry) { entryRows_.Done(result_, entry); }

    ResultCode CreateAnalyzers() override;

    // The rows the join reads.
    JoinSources Sources() const;
    static ResultCode JoinRows(CAndroidContactRecovery* recovery, JoinData* join);

private:
    // Gives the rows the entries hold to entryRows_ and releases the rest, with the join data.
    void HandRowsToEntries();

    bool initialized_ = false;
    CMimetypesTableAnalyze* mimetypes_ = nullptr;  // owned, not on the run list
    JoinData* join_ = nullptr;  // owned
    ContactResultMap result_;
    // After the join, the rows of the raw contacts, of the data table and of the join itself.
    EntryRowOwner entryRows_;
};
