#pragma once
#include <string>

#include "sqlite_recovery/engine/ISQLiteFileIOManager.h"
#include "sqlite_recovery/engine/WalFile.h"

class CSQLiteFileIOManager : public ISQLiteFileIOManager {
public:
    CSQLiteFileIOManager() = default;
    ~CSQLiteFileIOManager() override;

    ResultCode Open(const wchar_t* databasePath) override;
    ResultCode Close() override;
    void Release() override;
    int GetViewCount() override { return viewCount_; }
    ResultCode GetView(IFileIO** view, int index, int* viewFlag) override;

    bool IsWalMode() const { return walMode_; }
    const WalFile* Wal() const { return wal_; }
    uint32_t DatabasePageSize() const { return pageSize_; }

private:
    std::wstring databasePath_;
    std::wstring logPath_;
    WalFile* wal_ = nullptr;
    bool walMode_ = false;
    int viewCount_ = 0;
    uint32_t pageSize_ = 0;
};
