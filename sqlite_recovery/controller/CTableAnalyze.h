#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "sqlite_recovery/controller/CTableRow.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/controller/ISQLiteEngine.h"
#include "sqlite_recovery/framework/IVirtualDevice.h"
#include "sqlite_recovery/framework/ResultCode.h"

// Row id to row; equal ids allowed. The analyser owns the rows.
using RowMultimap = std::multimap<int64_t, CTableRow*>;

// Base of every table analyser: walks its table on each database view and turns the decoded
// records into rows (BuildRows), which it files in its row multimaps.
class CTableAnalyze {
public:
    static constexpr int kRowMapCount = 13;

    explicit CTableAnalyze(const std::string& name) : name_(name) {}
    CTableAnalyze(const CTableAnalyze&) = delete;
    CTableAnalyze& operator=(const CTableAnalyze&) = delete;

    // Releases every row of every multimap.
    virtual ~CTableAnalyze();
    // Finds the table, walks it and builds rows: first from the recovered records (only when
    // viewFlag is false), then from the live ones. An absent table is no error.
    virtual ResultCode Analyze(ISQLiteEngine* engine, bool viewFlag);
    // Marks every held row not live, before the pass over a further view.
    virtual void Reset();
    virtual void SetVersion(const VersionPair* version);
    virtual void Prepare() {}
    virtual void SetSink(IProgress* sink) { sink_ = sink; }
    virtual void Release() { delete this; }
    virtual std::string GetName() const { return name_; }
    // Row multimap 0..12; null for any other index.
    virtual RowMultimap* GetRows(int index);
    // Turns count decoded records (live or recovered) of the table into rows.
    virtual ResultCode BuildRows(ISQLiteTable* table, int count, bool live) = 0;
    // True when a sink is set and asks to stop.
    virtual bool IsCancelled();

    const VersionPair& Version() const { return version_; }
    // Total number of rows held in all multimaps.
    size_t RowCount() const;
    // Releases every row now, once nothing reads them any more (the destructor would later).
    void ReleaseRows();

protected:
    static void DeleteRowsOfMap(RowMultimap& rows);

    std::string name_;
    VersionPair version_;  // {2, 3} until set
    RowMultimap rows_[kRowMapCount];
    IProgress* sink_ = nullptr;
};
