#pragma once
#include <cstring>
#include <string>
#include <vector>

#include "sqlite_recovery/framework/CDataContainer.h"
#include "sqlite_recovery/framework/FileUtils.h"
#include "sqlite_recovery/controller/CSQLiteRecoveryControler.h"
#include "sqlite_recovery/controller/IAndroidRecovery.h"
#include "sqlite_recovery/framework/IDatabaseDamage.h"
#include "sqlite_recovery/framework/IDataContainer.h"
#include "sqlite_recovery/framework/IRecoveryAnalyzer.h"
#include "sqlite_recovery/framework/IVirtualDevice.h"
#include "sqlite_recovery/framework/Lockers.h"
#include "sqlite_recovery/framework/Logger.h"
#include "sqlite_recovery/framework/ResultCode.h"
#include "sqlite_recovery/controller/WorkingFolder.h"
#include "platform/StringConversion.h"

template <class Analyzer, class ResultMap, class Container>
class CBaseAnalyzer;

// What the contacts and SMS/MMS analysers share: the analyser protocol, a private working folder
// with the copied database, the library's recovery object, records added under the container's
// lock, progress records and clean-up. A library supplies its folder name, its database pull, its
// recovery object, the data object of a record, its data-changed kind and ProcessEntry.
template <class T, class ResultMap>
class CBaseAnalyzer<IRecoveryAnalyzer<IDataContainer<T>, IVirtualDevice>, ResultMap, CDataContainer<T>>
    : public IRecoveryAnalyzer<IDataContainer<T>, IVirtualDevice>, public IDatabaseDamage {
public:
    using Recovery = IAndroidRecovery<ResultMap>;
    using Entry = typename ResultMap::iterator;

    CBaseAnalyzer() = default;
    CBaseAnalyzer(const CBaseAnalyzer&) = delete;
    CBaseAnalyzer& operator=(const CBaseAnalyzer&) = delete;

    ~CBaseAnalyzer() override {
        delete container_;
        if (recovery_) {
            recovery_->Uninitialize();
            recovery_->Release();
        }
        // A run that did not reach its end leaves no working copy behind either.
        if (!saveFolder_.empty()) DeleteFolderTree(saveFolder_);
    }

    void Release() override { delete this; }

    uint64_t LostPageCount() const override { return damage_.lostPages.size(); }
    uint64_t DatabasePageCount() const override { return damage_.pageCount; }
    bool HeaderLost() const override { return damage_.headerLost; }

    IDataContainer<T>* Initialize(IVirtualDevice* device, IProgress* sink) override {
        if (!device) return nullptr;
        device_ = device;
        sink_ = sink;
        if (!container_) container_ = new (std::nothrow) CDataContainer<T>();
        if (!container_) {
            RK_LOG("new container failed.");
            return nullptr;
        }
        OnInitialized();
        return container_;
    }

    ResultCode StartRecovery(ICommon* context) override {
        ReportProgress(PROGRESS_STATE_RUNNING, 0);
        context_ = context;
        damage_ = DatabaseDamage();
        ResultCode rc = PrepareSaveDir();
        if (Succeeded(rc)) {
            ReportProgress(PROGRESS_STATE_RUNNING, 1);
            rc = GetDatabaseFile();
        }
        if (Succeeded(rc)) {
            ReportProgress(PROGRESS_STATE_RUNNING, 5);
            rc = CreateAndroidRecovery();
        }
        if (Succeeded(rc)) {
            rc = recovery_->Recover();
            if (Failed(rc)) RK_LOG("Analyze database failed.");
            // Also after a failure: what was read of the database was read only in part.
            if (auto* controller = dynamic_cast<CSQLiteRecoveryControler*>(recovery_)) damage_ = controller->Damage();
        }
        if (Succeeded(rc)) {
            ReportProgress(PROGRESS_STATE_RUNNING, 85);
            ResultMap* result = recovery_->GetResult();
            if (result && !result->empty()) {
                itemCounter_ = 0;
                for (Entry entry : EntriesInOrder(*result)) ProcessEntry(entry);
            }
        }
        if (recovery_) {
            recovery_->Release();
            recovery_ = nullptr;
        }
        if (!saveFolder_.empty() && !RemoveSaveFolder())
            RK_LOG("Delete directory failed: %s", platform::WideToUtf8(saveFolder_).c_str());
        saveFolder_.clear();
        ReportProgress(PROGRESS_STATE_FINISHED, 100);
        return rc;
    }

    // Asks the library's pull for the local copy of the database.
    virtual ResultCode GetDatabaseFile() {
        std::wstring path = PullDatabase();
        if (path.empty()) {
            RK_LOG("GetDatabaseFile failed.");
            return RK_FAIL(RK_E_FAIL);
        }
        databasePath_ = path;
        return RK_OK;
    }

    // A fresh private working folder of this analyser's own under the system's temporary folder.
    virtual ResultCode PrepareSaveDir() {
        std::wstring name = SaveFolderName();
        std::vector<std::wstring> roots = WorkingRoots();
        if (name.empty() || roots.empty()) {
            RK_LOG("Database save path is empty.");
            return RK_FAIL(RK_E_FAIL);
        }
        for (const std::wstring& root : roots) {
            saveFolder_ = CreateWorkingFolder(root, name);
            if (!saveFolder_.empty()) return RK_OK;
        }
        RK_LOG("Create directory failed.");
        return RK_FAIL(RK_E_FAIL);
    }

    virtual ResultCode CreateAndroidRecovery() {
        recovery_ = NewAndroidRecovery();
        if (!recovery_) {
            RK_LOG("Create android recovery failed.");
            return RK_FAIL(RK_E_FAIL);
        }
        VersionPair version = device_->GetVersion();
        ResultCode rc = recovery_->Initialize(databasePath_.c_str(), &version, context_, sink_);
        if (Failed(rc)) RK_LOG("Initialize android recovery failed.");
        return rc;
    }

    virtual ResultCode OnInitialized() { return RK_OK; }
    // Turns one entry of the result map into container records.
    virtual void ProcessEntry(Entry entry) = 0;
    // The order in which the entries become records, and so the records' ids: the map's own.
    virtual std::vector<Entry> EntriesInOrder(ResultMap& result) {
        std::vector<Entry> entries;
        entries.reserve(result.size());
        for (Entry entry = result.begin(); entry != result.end(); ++entry) entries.push_back(entry);
        return entries;
    }

    // The library's parts.
    // The working folder's name: "Contact", "SmsAndMms".
    virtual std::wstring SaveFolderName() const = 0;
    // Copies the database (and its log) into the save folder; the local path, or empty.
    virtual std::wstring PullDatabase() = 0;
    virtual Recovery* NewAndroidRecovery() = 0;
    // Fills the record's data object from the item's XML text; false when it cannot be made.
    virtual bool MakeRecordData(const char* xmlText, T* record) = 0;
    // The kind passed to OnDataChanged: 3 contacts, 2 messages.
    virtual int DataChangedKind() const = 0;
    // Deletes the working folder with everything in it; false when something is left.
    virtual bool RemoveSaveFolder() { return DeleteFolderTree(saveFolder_); }
    // Where working folders may be made, in order of preference.
    virtual std::vector<std::wstring> WorkingRoots() const { return WorkingFolderRoots(); }

    ResultCode AddItem(const char* xmlText, unsigned id) {
        T record;
        std::memset(static_cast<void*>(&record), 0, sizeof record);
        record.id = id;
        if (!xmlText || !MakeRecordData(xmlText, &record)) {
            RK_LOG("Create node failed.");
            return RK_FAIL(RK_E_FAIL);
        }
        AddRecordLocked(record);
        return RK_OK;
    }

    void AddRecordLocked(const T& record) {
        autolocker<CDataContainer<T>*> guard(container_);
        if (!container_) return;
        container_->InsertItem(record);
        if (sink_) sink_->OnDataChanged(DataChangedKind());
    }

    void ReportProgress(uint32_t state, uint64_t done) { SendProgress(sink_, state, 100, done); }

    // Copies fileName from the first device path that either copy operation can bring over, then
    // its "-wal" with the operation that worked (a missing log is no error). The local path, or
    // empty when no path could be copied.
    std::wstring PullFirstCandidate(const std::vector<std::wstring>& devicePaths, const std::wstring& fileName) {
        if (!device_ || saveFolder_.empty() || fileName.empty()) return std::wstring();
        std::wstring local = saveFolder_ + L"/" + fileName;
        for (const std::wstring& remote : devicePaths) {
            bool pulled = Succeeded(device_->PullFile(remote.c_str(), local.c_str()));
            if (pulled || device_->FetchFile(remote.c_str(), local.c_str()) != 0) {
                std::wstring remoteLog = remote + L"-wal", localLog = local + L"-wal";
                if (pulled) {
                    device_->PullFile(remoteLog.c_str(), localLog.c_str());
                } else {
                    device_->FetchFile(remoteLog.c_str(), localLog.c_str());
                }
                return local;
            }
        }
        return std::wstring();
    }

    CDataContainer<T>* Container() const { return container_; }
    IVirtualDevice* Device() const { return device_; }
    IProgress* Sink() const { return sink_; }
    ICommon* Context() const { return context_; }
    const std::wstring& DatabasePath() const { return databasePath_; }
    const std::wstring& SaveFolder() const { return saveFolder_; }
    unsigned NextItemId() { return itemCounter_++; }

protected:
    IVirtualDevice* device_ = nullptr;  // not owned
    IProgress* sink_ = nullptr;         // not owned, may be null
    CDataContainer<T>* container_ = nullptr;
    ICommon* context_ = nullptr;
    std::wstring databasePath_;
    std::wstring saveFolder_;
    Recovery* recovery_ = nullptr;  // exists only during StartRecovery
    unsigned itemCounter_ = 0;
    DatabaseDamage damage_;
};
