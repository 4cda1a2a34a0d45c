#include "sms/CAndroidSmsAndMmsRecovery.h"

#include <new>

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
    if (!databasePath) return RK_FAIL(RK_E_FAIL);
    databasePath_ = databasePath;
    if (version) version_ = *version;
    context_ = context;
    sink_ = sink;
    ResultCode rc = OpenFile();
    if (Failed(rc)) return rc;
    rc = OpenEngine();
    if (Succeeded(rc)) initialized_ = true;
    return rc;
}

ResultCode CAndroidSmsAndMmsRecovery::Uninitialize() {
    if (!initialized_) return RK_OK;
    assembler_.reset();
    result_.clear();
    ReleaseAnalyzers();
    CloseEngine();
    CloseFile();
    initialized_ = false;
    return RK_OK;
}

ResultCode CAndroidSmsAndMmsRecovery::Recover() {
    if (!initialized_) return RK_FAIL(RK_E_FAIL);
    // The result refers to rows of the analysers about to be released.
    result_.clear();
    assembler_.reset();
    ReleaseAnalyzers();
    ResultCode rc = CSQLiteRecoveryControler::Recover();
    if (Failed(rc)) return rc;
    return BuildConversations();
}

ResultCode CAndroidSmsAndMmsRecovery::CreateAnalyzers() {
    analyzers_.clear();
    std::unique_ptr<CThreadsTableAnalyze> threads(new (std::nothrow) CThreadsTableAnalyze);
    std::unique_ptr<CAddrTableAnalyze> addr(new (std::nothrow) CAddrTableAnalyze);
    std::unique_ptr<CCanonicalAddressesTableAnalyze> canonical(new (std::nothrow) CCanonicalAddressesTableAnalyze);
    std::unique_ptr<CSmsTableAnalyze> sms(new (std::nothrow) CSmsTableAnalyze);
    std::unique_ptr<CPduTableAnalyze> pdu(new (std::nothrow) CPduTableAnalyze);
    std::unique_ptr<CPartTableAnalyze> part(new (std::nothrow) CPartTableAnalyze);
    std::unique_ptr<CWordsContentTableAnalyze> words(new (std::nothrow) CWordsContentTableAnalyze);
    if (!threads || !addr || !canonical || !sms || !pdu || !part || !words) return RK_FAIL(RK_E_FAIL);
    threads_ = threads.release();
    addr_ = addr.release();
    canonicalAddresses_ = canonical.release();
    sms_ = sms.release();
    pdu_ = pdu.release();
    part_ = part.release();
    wordsContent_ = words.release();
    analyzers_ = {threads_, addr_, canonicalAddresses_, sms_, pdu_, part_, wordsContent_};
    return RK_OK;
}

ResultCode CAndroidSmsAndMmsRecovery::ReleaseAnalyzers() {
    ResultCode rc = CSQLiteRecoveryControler::ReleaseAnalyzers();
    if (Succeeded(rc)) {
        threads_ = nullptr;
        addr_ = nullptr;
        canonicalAddresses_ = nullptr;
        sms_ = nullptr;
        pdu_ = nullptr;
        part_ = nullptr;
        wordsContent_ = nullptr;
    }
    return rc;
}

SmsTableRows CAndroidSmsAndMmsRecovery::TableRows() const {
    SmsTableRows rows;
    rows.threads = threads_ ? threads_->GetRows(0) : nullptr;
    rows.addr = addr_ ? addr_->GetRows(0) : nullptr;
    rows.canonicalAddresses = canonicalAddresses_ ? canonicalAddresses_->GetRows(0) : nullptr;
    rows.sms = sms_ ? sms_->GetRows(0) : nullptr;
    rows.pdu = pdu_ ? pdu_->GetRows(0) : nullptr;
    rows.part = part_ ? part_->GetRows(0) : nullptr;
    rows.wordsContent = wordsContent_ ? wordsContent_->GetRows(0) : nullptr;
    return rows;
}

ResultCode CAndroidSmsAndMmsRecovery::BuildConversations() {
    result_.clear();
    assembler_.reset();
    assembler_.reset(new (std::nothrow) MessageAssembler(TableRows(), &result_));
    if (!assembler_) return RK_FAIL(RK_E_FAIL);
    return assembler_->Build();
}
