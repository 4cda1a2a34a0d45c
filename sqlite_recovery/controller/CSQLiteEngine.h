#pragma once
#include <map>
#include <memory>
#include <string>

#include "sqlite_recovery/controller/ISQLiteEngine.h"

class CSQLiteFileIOManager;
class CSQLiteReader;
class IFileIO;
struct TableSchema;

// The recovery engine behind the controllers: the view manager over the database and its
// write-ahead log, the current view and a reader on it.
class CSQLiteEngine : public ISQLiteEngine {
public:
    CSQLiteEngine();
    ~CSQLiteEngine() override;
    CSQLiteEngine(const CSQLiteEngine&) = delete;
    CSQLiteEngine& operator=(const CSQLiteEngine&) = delete;

    ResultCode OpenDatabase(const std::wstring& path) override;
    void CloseDatabase() override;
    int ViewCount() override;
    ResultCode SelectView(int index, int* viewFlag) override;
    void ReleaseView() override;
    int OpenReader() override;
    void CloseReader() override;
    ISQLiteTable* FindTable(const std::string& name) override;
    void NoteDamage(DatabaseDamage& damage) const override;
    void SetKnownSchema(const std::string& schema) override { knownSchema_ = schema; }

    CSQLiteReader* Reader() const { return reader_; }

private:
    class Table;

    CSQLiteFileIOManager* manager_ = nullptr;
    IFileIO* view_ = nullptr;
    CSQLiteReader* reader_ = nullptr;
    // The tables handed out for the reader's current schema.
    std::map<TableSchema*, std::unique_ptr<Table>> tables_;
    std::string knownSchema_;
};
