#pragma once
#include <vector>

#include "sqlite_recovery/engine/CFileIOWin32.h"
#include "sqlite_recovery/engine/CPagedViewIO.h"
#include "sqlite_recovery/engine/WalFile.h"

// The committed view: the database as of a commit frame of the log, each page from its newest
// frame up to that commit, else from the main file. Read-only, whole pages only.
class CFileIOSQLite : public CPagedViewIO {
public:
    CFileIOSQLite(const WalFile* wal, int commitFrame);
    ~CFileIOSQLite() override;

    ResultCode Open(const wchar_t* path, int mode) override;
    ResultCode Close() override;
    void Release() override;

    // Frame that supplies page index k (0-based), or -1 when it comes from the main file.
    int FrameOfPage(uint64_t k) const { return k < pageMap_.size() ? pageMap_[k] : -1; }
    uint64_t PageCount() const { return pageSize_ ? static_cast<uint64_t>(size_) / pageSize_ : 0; }
    // Copies page index k into dest (one page); a page the main file cannot give is zeros.
    void ReadPageAt(uint64_t k, uint8_t* dest);

protected:
    void ReadViewPage(uint64_t k, uint8_t* dest) override { ReadPageAt(k, dest); }

private:
    CFileIOWin32* main_ = nullptr;
    const WalFile* wal_;
    int commitFrame_;
    std::vector<WalFrame> frames_;
    std::vector<int> pageMap_;
};
