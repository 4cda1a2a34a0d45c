#include "sqlite_recovery/controller/CSQLiteEngine.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "sqlite_recovery/engine/CSQLiteFileIOManager.h"
#include "sqlite_recovery/engine/CSQLiteReader.h"
#include "sqlite_recovery/engine/SchemaText.h"
#include "sqlite_recovery/framework/Logger.h"

namespace {
// The engine's decoded column as the table analysers read it.
FieldValue ToFieldValue(const ColumnValue& value) {
    FieldValue field;
    field.kind = value.kind;
    field.length = value.length;
    field.isReal = value.serialType == 7;
    std::memcpy(field.store, value.inlineValue, sizeof field.store);
    if (value.kind == kColumnText || value.kind == kColumnBlob) {
        field.data = reinterpret_cast<const char*>(value.data);
        field.cut = value.length < value.storedLength;
    }
    return field;
}
}  // namespace

class CSQLiteEngine::Table : public ISQLiteTable {
public:
    Table(CSQLiteReader* reader, TableSchema* schema) : reader_(reader), schema_(schema) {}

    int Walk(bool viewFlag) override {
        int rc = reader_->WalkTable(schema_, 0, viewFlag ? 1 : 0);
        if (rc == kWalkTimedOut) {
            // What the walk found is kept; the table may hold more.
            RK_LOG("Walk of table %s timed out.", schema_->name.c_str());
            return 0;
        }
        return rc;
    }
    int LiveCount() const override { return static_cast<int>(schema_->LiveCount()); }
    int RecoveredCount() const override { return static_cast<int>(schema_->RecoveredCount()); }
    int FindColumn(const std::string& name) const override { return FindColumnIndex(schema_, name.c_str()); }
    int GetValue(int record, int column, bool live, FieldValue* out) override {
        ColumnValue value;
        int rc = reader_->GetValue(record, schema_, column, &value, live ? 1 : 0);
        if (rc < 0) return rc;
        *out = ToFieldValue(value);
        return 0;
    }
    void ForgetRecords() override {
        schema_->liveRecords.Release();
        schema_->recoveredRecords.Release();
    }

private:
    CSQLiteReader* reader_;
    TableSchema* schema_;
};

ISQLiteEngine* NewSQLiteEngine() { return new (std::nothrow) CSQLiteEngine(); }

CSQLiteEngine::CSQLiteEngine() {}

CSQLiteEngine::~CSQLiteEngine() {
    CloseDatabase();
    delete reader_;
}

ResultCode CSQLiteEngine::OpenDatabase(const std::wstring& path) {
    CloseDatabase();
    manager_ = new (std::nothrow) CSQLiteFileIOManager();
    if (!manager_) return RK_FAIL(RK_E_FAIL);
    return manager_->Open(path.c_str());
}

void CSQLiteEngine::CloseDatabase() {
    CloseReader();
    ReleaseView();
    if (manager_) {
        manager_->Close();
        manager_->Release();
        manager_ = nullptr;
    }
}

int CSQLiteEngine::ViewCount() { return manager_ ? manager_->GetViewCount() : 0; }

ResultCode CSQLiteEngine::SelectView(int index, int* viewFlag) {
    if (!manager_) return RK_FAIL(RK_E_FAIL);
    ReleaseView();
    return manager_->GetView(&view_, index, viewFlag);
}

void CSQLiteEngine::ReleaseView() {
    // The reader reads through the view: it lets go of it first.
    CloseReader();
    if (view_) {
        view_->Release();
        view_ = nullptr;
    }
}

int CSQLiteEngine::OpenReader() {
    tables_.clear();
    if (!view_) return -1;
    if (!reader_) reader_ = new (std::nothrow) CSQLiteReader();
    if (!reader_) return -1;
    reader_->SetKnownSchema(knownSchema_);
    const int rc = reader_->Open(view_);
    // Without the schema's pages no table can be found: the only case that leaves nothing to read.
    if (rc == -4) RK_LOG("No table of the database could be read: the pages of its schema are gone or damaged.");
    return rc;
}

void CSQLiteEngine::CloseReader() {
    tables_.clear();
    if (reader_) reader_->Clear();
}

void CSQLiteEngine::NoteDamage(DatabaseDamage& damage) const {
    if (!reader_ || !view_) return;
    damage.lostPages.insert(reader_->LostPages().begin(), reader_->LostPages().end());
    damage.pageCount = std::max<uint64_t>(damage.pageCount, reader_->PageCount());
    damage.headerLost = damage.headerLost || reader_->HeaderLost();
}

ISQLiteTable* CSQLiteEngine::FindTable(const std::string& name) {
    if (!reader_ || !view_) return nullptr;
    TableSchema* schema = reader_->FindTable(name.c_str());
    if (!schema) return nullptr;
    std::unique_ptr<Table>& table = tables_[schema];
    if (!table) table.reset(new (std::nothrow) Table(reader_, schema));
    return table.get();
}
