#include "sqlite_recovery/engine/CSQLiteFileIOManager.h"

#include <new>

#include "sqlite_recovery/engine/CFileIOSQLite.h"
#include "sqlite_recovery/engine/CFileIOSQLiteEx.h"
#include "sqlite_recovery/engine/CFileIOWin32.h"
#include "sqlite_recovery/engine/SQLiteFormat.h"
#include "sqlite_recovery/framework/Logger.h"
#include "platform/StringConversion.h"

ISQLiteFileIOManager::~ISQLiteFileIOManager() {}

CSQLiteFileIOManager::~CSQLiteFileIOManager() { Close(); }

ResultCode CSQLiteFileIOManager::Open(const wchar_t* databasePath) {
    Close();
    if (!databasePath) return RK_FAIL(RK_E_FAIL);
    databasePath_ = databasePath;
    logPath_ = databasePath_ + L"-wal";

    uint8_t header[76];  // the database header as far as the schema format number
    int64_t mainSize = 0;
    {
        CFileIOWin32* file = new (std::nothrow) CFileIOWin32;
        if (!file) return RK_FAIL(RK_E_OUT_OF_MEMORY);
        ResultCode rc = file->Open(databasePath_.c_str(), 0);
        unsigned done = 0;
        if (Succeeded(rc)) rc = file->Read(header, sizeof header, &done);
        if (Succeeded(rc) && done < sizeof header) rc = RK_FAIL(RK_E_FAIL);
        if (Succeeded(rc)) rc = file->GetSize(&mainSize);
        file->Release();
        if (Failed(rc)) return rc;
    }
    pageSize_ = sqlite_format::HeaderPageSize(header);
    walMode_ = header[sqlite_format::kHeaderWriteVersion] == sqlite_format::kWalModeVersion &&
               header[sqlite_format::kHeaderReadVersion] == sqlite_format::kWalModeVersion;
    viewCount_ = 1;
    if (!walMode_) return RK_OK;

    wal_ = new (std::nothrow) WalFile;
    if (!wal_) {
        walMode_ = false;
        return RK_FAIL(RK_E_OUT_OF_MEMORY);
    }
    const uint64_t mainPages = pageSize_ ? static_cast<uint64_t>(mainSize) / pageSize_ : 0;
    ResultCode rc = wal_->Load(logPath_.c_str(), pageSize_, mainPages);
    if (Succeeded(rc) && wal_->framesLeftOut > 0)
        RK_LOG("%llu frames of the log %s fail its checksums and are left out",
               static_cast<unsigned long long>(wal_->framesLeftOut), platform::WideToUtf8(logPath_).c_str());
    if (Failed(rc) || wal_->lastCommit < 0) {
        // No usable log: the database is read as the plain file.
        delete wal_;
        wal_ = nullptr;
        walMode_ = false;
        return RK_OK;
    }
    viewCount_ = 2;
    return RK_OK;
}

ResultCode CSQLiteFileIOManager::Close() {
    delete wal_;
    wal_ = nullptr;
    walMode_ = false;
    viewCount_ = 0;
    return RK_OK;
}

void CSQLiteFileIOManager::Release() { delete this; }

ResultCode CSQLiteFileIOManager::GetView(IFileIO** view, int index, int* viewFlag) {
    if (!view) return RK_FAIL(RK_E_FAIL);
    *view = nullptr;
    if (viewCount_ == 0) return RK_FAIL(RK_E_NOT_INITIALIZED);
    IFileIO* made = nullptr;
    if (walMode_ && wal_) {
        if (index == 0) {
            made = new (std::nothrow) CFileIOSQLiteEx(wal_, wal_->lastCommit);
            if (!made) return RK_FAIL(RK_E_OUT_OF_MEMORY);
            if (viewFlag) *viewFlag = 0;
        } else {
            made = new (std::nothrow) CFileIOSQLite(wal_, wal_->lastCommit);
            if (!made) return RK_FAIL(RK_E_OUT_OF_MEMORY);
            if (viewFlag) *viewFlag = 1;
        }
    } else {
        made = new (std::nothrow) CFileIOWin32;
        if (!made) return RK_FAIL(RK_E_OUT_OF_MEMORY);
    }
    ResultCode rc = made->Open(databasePath_.c_str(), 0);
    if (Failed(rc)) {
        made->Release();
        return rc;
    }
    *view = made;
    return RK_OK;
}
