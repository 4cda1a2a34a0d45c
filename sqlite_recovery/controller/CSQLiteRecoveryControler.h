#pragma once
#include <initializer_list>
#include <list>
#include <string>

#include "sqlite_recovery/controller/CTableAnalyze.h"
#include "sqlite_recovery/framework/ICommon.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/controller/ISQLiteEngine.h"
#include "sqlite_recovery/framework/IVirtualDevice.h"
#include "sqlite_recovery/framework/ResultCode.h"

// Opens the pulled database's views and a reader, runs the library's table analysers over every
// view and reports progress from 0 to 80. A library's recovery object derives from it first and
// from IAndroidRecovery second, and is destroyed through the latter.
class CSQLiteRecoveryControler {
public:
    CSQLiteRecoveryControler() = default;
    CSQLiteRecoveryControler(const CSQLiteRecoveryControler&) = delete;
    CSQLiteRecoveryControler& operator=(const CSQLiteRecoveryControler&) = delete;

    // Creates the reader and opens it on the current view.
    virtual ResultCode OpenEngine();
    virtual ResultCode CloseEngine();
    // Creates the view manager on the database path and takes its last view (the database at its
    // last commit) as the current view.
    virtual ResultCode OpenFile();
    virtual ResultCode CloseFile();
    // CreateAnalyzers, SetAnalyzersVersion, PrepareAnalyzers, SetAnalyzersSink, RunAll.
    virtual ResultCode Recover();
    // The base only empties the list; libraries create their analysers in run order.
    virtual ResultCode CreateAnalyzers();
    // Every view in turn: reset the rows, run the analysers.
    virtual ResultCode RunAll();
    virtual ResultCode ReleaseAnalyzers();
    virtual ResultCode RunAnalyzers(bool viewFlag);
    virtual ResultCode ResetAnalyzers();
    virtual ResultCode SetAnalyzersVersion(const VersionPair* version);
    virtual ResultCode PrepareAnalyzers();
    virtual ResultCode SetAnalyzersSink();
    virtual void Notify(uint32_t state, uint64_t done, uint64_t total);
    // The engine that OpenFile and OpenEngine work on; tests substitute their own.
    virtual ISQLiteEngine* CreateEngine() { return NewSQLiteEngine(); }

    // What a library's IAndroidRecovery::Initialize stores before OpenFile and OpenEngine.
    void Bind(const wchar_t* databasePath, const VersionPair* version, ICommon* context, IProgress* sink) {
        databasePath_ = databasePath ? databasePath : L"";
        version_ = version ? *version : VersionPair{0, 0};
        context_ = context;
        sink_ = sink;
    }

    const std::list<CTableAnalyze*>& Analyzers() const { return analyzers_; }
    const VersionPair& Version() const { return version_; }
    ICommon* Context() const { return context_; }
    ISQLiteEngine* Engine() const { return engine_; }
    // What the views' walks could not read, since the last RunAll began.
    const DatabaseDamage& Damage() const { return damage_; }

protected:
    ~CSQLiteRecoveryControler();

    // A library's Initialize: keeps its arguments (a null version leaves the one held), then opens
    // the views and the reader.
    ResultCode InitializeControler(const wchar_t* databasePath, const VersionPair* version, ICommon* context,
                                   IProgress* sink);
    // A library's Uninitialize: releases the analysers, closes the reader and the views.
    void UninitializeControler();
    // A library's CreateAnalyzers: lists the analysers it made, in run order. When one of them
    // could not be made (null) all are released and nothing is listed: error 1.
    ResultCode ListAnalyzers(std::initializer_list<CTableAnalyze*> made);
    // The listed analyser of that class, null when none is listed (before CreateAnalyzers and
    // after ReleaseAnalyzers), and its row multimap.
    template <class Analyzer>
    Analyzer* Listed() const {
        for (CTableAnalyze* analyzer : analyzers_)
            if (Analyzer* found = dynamic_cast<Analyzer*>(analyzer)) return found;
        return nullptr;
    }
    template <class Analyzer>
    RowMultimap* ListedRows(int index = 0) const {
        Analyzer* analyzer = Listed<Analyzer>();
        return analyzer ? analyzer->GetRows(index) : nullptr;
    }

    std::wstring databasePath_;
    VersionPair version_{0, 0};
    ICommon* context_ = nullptr;  // not owned
    // The view manager, the current view and the reader live inside the engine.
    ISQLiteEngine* engine_ = nullptr;
    bool readerOpen_ = false;
    DatabaseDamage damage_;
    std::list<CTableAnalyze*> analyzers_;
    int totalSteps_ = 0;
    int stepsDone_ = 0;
    IProgress* sink_ = nullptr;  // not owned
};
