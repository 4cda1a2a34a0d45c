#include "sms/CAndroidSmsAndMmsRecovery.h"

#include <initializer_list>
#include <new>
#include <utility>
#include <vector>

#include "sms/CAddrTableAnalyze.h"
#include "sms/CCanonicalAddressesTableAnalyze.h"
#include "sms/CPartTableAnalyze.h"
#include "sms/CPduTableAnalyze.h"
#include "sms/CSmsTableAnalyze.h"
#include "sms/CThreadsTableAnalyze.h"
#include "sms/CWordsContentTableAnalyze.h"

CAndroidSmsAndMmsRecovery::~CAndroidSmsAndMmsRecovery() { Uninitialize(); }

ResultCode CAndroidSmsAndMmsRecovery::Initialize(const wchar_t* databasePath, const VersionPair* version,
                                                 ICommon* context, IProgress* sink) {
    ResultCode rc = InitializeControler(databasePath, version, context, sink);
    if (Succeeded(rc)) initialized_ = true;
    return rc;
}

ResultCode CAndroidSmsAndMmsRecovery::Uninitialize() {
    if (!initialized_) return RK_OK;
    // The result points into the rows: it goes first, with the rows it was given.
    conversationRows_.ReleaseAll(result_);
    assembler_.reset();
    UninitializeControler();
    initialized_ = false;
    return RK_OK;
}

ResultCode CAndroidSmsAndMmsRecovery::Recover() {
    if (!initialized_) return RK_FAIL(RK_E_FAIL);
    // The result refers to rows of the analysers about to be released.
    conversationRows_.ReleaseAll(result_);
    assembler_.reset();
    ReleaseAnalyzers();
    ResultCode rc = CSQLiteRecoveryControler::Recover();
    if (Failed(rc)) return rc;
    // Every record is read: the reader and its buffers go before the conversations are built.
    CloseEngine();
    return BuildConversations();
}

ResultCode CAndroidSmsAndMmsRecovery::CreateAnalyzers() {
    return ListAnalyzers({new (std::nothrow) CThreadsTableAnalyze, new (std::nothrow) CAddrTableAnalyze,
                          new (std::nothrow) CCanonicalAddressesTableAnalyze, new (std::nothrow) CSmsTableAnalyze,
                          new (std::nothrow) CPduTableAnalyze, new (std::nothrow) CPartTableAnalyze,
                          new (std::nothrow) CWordsContentTableAnalyze});
}

SmsTableRows CAndroidSmsAndMmsRecovery::TableRows() const {
    SmsTableRows rows;
    rows.threads = ListedRows<CThreadsTableAnalyze>();
    rows.addr = ListedRows<CAddrTableAnalyze>();
    rows.canonicalAddresses = ListedRows<CCanonicalAddressesTableAnalyze>();
    rows.sms = ListedRows<CSmsTableAnalyze>();
    rows.pdu = ListedRows<CPduTableAnalyze>();
    rows.part = ListedRows<CPartTableAnalyze>();
    rows.wordsContent = ListedRows<CWordsContentTableAnalyze>();
    return rows;
}

ResultCode CAndroidSmsAndMmsRecovery::BuildConversations() {
    conversationRows_.ReleaseAll(result_);
    assembler_.reset();
    assembler_.reset(new (std::nothrow) MessageAssembler(TableRows(), &result_));
    if (!assembler_) return RK_FAIL(RK_E_FAIL);
    ResultCode rc = assembler_->Build();
    // The conversations hold sms, pdu and part rows and rows the assembly made: the other tables'
    // rows and the assembly's indexes are not read again, and a large phone's take much memory.
    assembler_->ForgetIndexes();
    for (CTableAnalyze* analyzer :
         std::initializer_list<CTableAnalyze*>{Listed<CThreadsTableAnalyze>(), Listed<CAddrTableAnalyze>(),
                                               Listed<CCanonicalAddressesTableAnalyze>(),
                                               Listed<CWordsContentTableAnalyze>()})
        if (analyzer) analyzer->ReleaseRows();
    HandRowsToConversations();
    return rc;
}

void CAndroidSmsAndMmsRecovery::HandRowsToConversations() {
    std::vector<CTableRow*> rows;
    for (SmsRowMap* map :
         {ListedRows<CSmsTableAnalyze>(), ListedRows<CPduTableAnalyze>(), ListedRows<CPartTableAnalyze>()}) {
        if (!map) continue;
        for (auto& entry : *map) rows.push_back(entry.second);
        map->clear();
    }
    if (assembler_) {
        assembler_->GiveUpMadeRows(&rows);
        // The assembler's indexes served the assembly alone.
        assembler_.reset();
    }
    conversationRows_.TakeOver(result_, std::move(rows));
}
