#pragma once
#include <vector>

#include "sqlite_recovery/engine/CFileIOSQLite.h"

// Where one page of the all-versions view comes from.
struct ViewPageEntry {
    uint32_t kind;   // 0 committed view page, 1 main-file page, 2 log frame
    uint32_t index;  // 0-based page index for kinds 0 and 1, frame index for kind 2
};
static_assert(sizeof(ViewPageEntry) == 8, "two 32-bit words");

// The all-versions view: the committed pages 1..N, then every other page version that the log
// and the main file hold (each frame and main-file page that the committed view does not use),
// appended as pages that no b-tree points to. Read-only, whole pages only.
class CFileIOSQLiteEx : public CPagedViewIO {
public:
    CFileIOSQLiteEx(const WalFile* wal, int commitFrame);
    ~CFileIOSQLiteEx() override;

    ResultCode Open(const wchar_t* path, int mode) override;
    ResultCode Close() override;
    void Release() override;

    const std::vector<ViewPageEntry>& PageTable() const { return table_; }
    uint64_t CommittedPageCount() const { return committedPages_; }

private:
    void ReadViewPage(uint64_t e, uint8_t* dest) override;

    CFileIOSQLite* inner_ = nullptr;
    const WalFile* wal_;
    int commitFrame_;
    std::vector<WalFrame> frames_;
    std::vector<ViewPageEntry> table_;
    uint64_t committedPages_ = 0;
    CFileIOWin32* main_ = nullptr;
};
