#pragma once
#include <memory>

#include "sqlite_recovery/controller/CSQLiteRecoveryControler.h"
#include "sqlite_recovery/controller/IAndroidRecovery.h"
#include "sms/ConversationRowOwner.h"
#include "sms/MessageAssembler.h"

// The SMS/MMS database's recovery object: seven table analysers over every view, then the message
// assembly into conversations keyed by the partner's address.
class CAndroidSmsAndMmsRecovery : public CSQLiteRecoveryControler, public IAndroidRecovery<SmsResultMap> {
public:
    CAndroidSmsAndMmsRecovery() = default;
    ~CAndroidSmsAndMmsRecovery() override;

    ResultCode Initialize(const wchar_t* databasePath, const VersionPair* version, ICommon* context,
                          IProgress* sink) override;
    ResultCode Uninitialize() override;
    void Release() override { delete this; }
    ResultCode Recover() override;
    SmsResultMap* GetResult() override { return &result_; }
    // The conversation has become its document: it goes from the result, and with it the rows
    // that no other conversation holds.
    void EntryDone(SmsResultMap::iterator entry) { conversationRows_.Done(result_, entry); }

    ResultCode CreateAnalyzers() override;
    ResultCode BuildConversations();

    // The row maps of the seven tables; null maps before the analysers exist.
    SmsTableRows TableRows() const;

private:
    // Gives the rows the conversations hold to conversationRows_ and releases the rest, with the
    // assembler.
    void HandRowsToConversations();

    bool initialized_ = false;
    std::unique_ptr<MessageAssembler> assembler_;
    SmsResultMap result_;
    // After the assembly, the rows of the sms, pdu and part tables and those the assembler made.
    ConversationRowOwner conversationRows_;
};
