#include "sqlite_recovery/controller/CSQLiteRecoveryControler.h"

#include "sqlite_recovery/controller/KnownSchemas.h"

CSQLiteRecoveryControler::~CSQLiteRecoveryControler() {
    ReleaseAnalyzers();
    CloseEngine();
    CloseFile();
}

ResultCode CSQLiteRecoveryControler::InitializeControler(const wchar_t* databasePath, const VersionPair* version,
                                                         ICommon* context, IProgress* sink) {
    if (!databasePath) return RK_FAIL(RK_E_FAIL);
    databasePath_ = databasePath;
    if (version) version_ = *version;
    context_ = context;
    sink_ = sink;
    ResultCode rc = OpenFile();
    if (Failed(rc)) return rc;
    return OpenEngine();
}

void CSQLiteRecoveryControler::UninitializeControler() {
    ReleaseAnalyzers();
    CloseEngine();
    CloseFile();
}

ResultCode CSQLiteRecoveryControler::ListAnalyzers(std::initializer_list<CTableAnalyze*> made) {
    analyzers_.clear();
    bool complete = true;
    for (CTableAnalyze* analyzer : made) complete = complete && analyzer;
    if (!complete) {
        for (CTableAnalyze* analyzer : made)
            if (analyzer) analyzer->Release();
        return RK_FAIL(RK_E_FAIL);
    }
    analyzers_.assign(made.begin(), made.end());
    return RK_OK;
}

ResultCode CSQLiteRecoveryControler::OpenEngine() {
    if (!engine_) return RK_FAIL(RK_E_FAIL);
    if (engine_->OpenReader() < 0) return RK_FAIL(RK_E_FAIL);
    readerOpen_ = true;
    return RK_OK;
}

ResultCode CSQLiteRecoveryControler::CloseEngine() {
    if (engine_ && readerOpen_) engine_->CloseReader();
    readerOpen_ = false;
    return RK_OK;
}

ResultCode CSQLiteRecoveryControler::OpenFile() {
    if (!engine_) engine_ = CreateEngine();
    if (!engine_) return RK_FAIL(RK_E_FAIL);
    engine_->SetKnownSchema(KnownSchemaOf(databasePath_));
    ResultCode rc = engine_->OpenDatabase(databasePath_);
    if (Failed(rc)) return rc;
    int flag = 0;
    return engine_->SelectView(engine_->ViewCount() - 1, &flag);
}

ResultCode CSQLiteRecoveryControler::CloseFile() {
    if (engine_) {
        CloseEngine();
        engine_->ReleaseView();
        engine_->CloseDatabase();
        delete engine_;
        engine_ = nullptr;
    }
    return RK_OK;
}

ResultCode CSQLiteRecoveryControler::Recover() {
    ResultCode rc = CreateAnalyzers();
    if (Failed(rc)) return rc;
    rc = SetAnalyzersVersion(&version_);
    if (Failed(rc)) return rc;
    rc = PrepareAnalyzers();
    if (Failed(rc)) return rc;
    rc = SetAnalyzersSink();
    if (Failed(rc)) return rc;
    return RunAll();
}

ResultCode CSQLiteRecoveryControler::CreateAnalyzers() {
    analyzers_.clear();
    return RK_OK;
}

ResultCode CSQLiteRecoveryControler::RunAll() {
    if (!engine_) return RK_FAIL(RK_E_FAIL);
    int views = engine_->ViewCount();
    totalSteps_ = views * static_cast<int>(analyzers_.size());
    damage_ = DatabaseDamage();
    stepsDone_ = 0;
    if (views <= 0) return RK_OK;
    ResultCode rc = RK_OK;
    for (int i = 0; i < views; ++i) {
        CloseEngine();
        engine_->ReleaseView();
        int flag = 0;
        rc = engine_->SelectView(i, &flag);
        if (Failed(rc)) return rc;
        // A view that holds no readable database is skipped.
        if (Failed(OpenEngine())) continue;
        ResetAnalyzers();
        rc = RunAnalyzers(flag != 0);
        engine_->NoteDamage(damage_);
        if (Failed(rc)) return rc;
    }
    return rc;
}

ResultCode CSQLiteRecoveryControler::ReleaseAnalyzers() {
    for (CTableAnalyze* analyzer : analyzers_) analyzer->Release();
    analyzers_.clear();
    return RK_OK;
}

ResultCode CSQLiteRecoveryControler::RunAnalyzers(bool viewFlag) {
    for (CTableAnalyze* analyzer : analyzers_) {
        // One table that fails does not stop the others.
        analyzer->Analyze(engine_, viewFlag);
        ++stepsDone_;
        if (sink_) {
            if (sink_->ShouldContinue() == 0) return RK_FAIL(RK_E_CANCELLED);
            uint64_t percent = totalSteps_ > 0 ? (static_cast<uint64_t>(stepsDone_) * 100 / totalSteps_) * 80 / 100 : 0;
            Notify(PROGRESS_STATE_RUNNING, percent, 100);
        }
    }
    return RK_OK;
}

ResultCode CSQLiteRecoveryControler::ResetAnalyzers() {
    for (CTableAnalyze* analyzer : analyzers_) analyzer->Reset();
    return RK_OK;
}

ResultCode CSQLiteRecoveryControler::SetAnalyzersVersion(const VersionPair* version) {
    for (CTableAnalyze* analyzer : analyzers_) analyzer->SetVersion(version);
    return RK_OK;
}

ResultCode CSQLiteRecoveryControler::PrepareAnalyzers() {
    for (CTableAnalyze* analyzer : analyzers_) analyzer->Prepare();
    return RK_OK;
}

ResultCode CSQLiteRecoveryControler::SetAnalyzersSink() {
    for (CTableAnalyze* analyzer : analyzers_) analyzer->SetSink(sink_);
    return RK_OK;
}

void CSQLiteRecoveryControler::Notify(uint32_t state, uint64_t done, uint64_t total) {
    SendProgress(sink_, state, total, done);
}
