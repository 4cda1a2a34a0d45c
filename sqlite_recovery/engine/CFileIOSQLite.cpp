#include "sqlite_recovery/engine/CFileIOSQLite.h"

#include <algorithm>
#include <cstring>
#include <new>

CFileIOSQLite::CFileIOSQLite(const WalFile* wal, int commitFrame) : wal_(wal), commitFrame_(commitFrame) {}

CFileIOSQLite::~CFileIOSQLite() { Close(); }

ResultCode CFileIOSQLite::Open(const wchar_t* path, int mode) {
    Close();
    if (!path || mode != 0 || !wal_) return RK_FAIL(RK_E_FAIL);
    main_ = new (std::nothrow) CFileIOWin32;
    if (!main_) return RK_FAIL(RK_E_OUT_OF_MEMORY);
    // A main file that cannot be opened contributes zero pages, as a failed page read does.
    main_->Open(path, 0);
    pageSize_ = wal_->pageSize;
    if (pageSize_ == 0) {
        Close();
        return RK_FAIL(RK_E_FAIL);
    }
    try {
        pageMap_.assign(static_cast<size_t>(wal_->pageCount), -1);
        frames_ = wal_->frames;
    } catch (const std::bad_alloc&) {
        Close();
        return RK_FAIL(RK_E_OUT_OF_MEMORY);
    }
    const int last = commitFrame_;
    if (last < 0 || static_cast<size_t>(last) >= frames_.size() || frames_[last].commitSize == 0) {
        Close();
        return RK_FAIL(RK_E_FAIL);
    }
    const WalFrame& commit = frames_[last];
    for (int i = 0; i <= last; ++i) {
        const WalFrame& f = frames_[i];
        if (commit.stale == 0 && f.stale != 0) continue;
        if (f.pageNumber == 0 || f.pageNumber > commit.commitSize || f.pageNumber > pageMap_.size()) continue;
        pageMap_[f.pageNumber - 1] = i;
    }
    size_ = static_cast<int64_t>(commit.commitSize) * pageSize_;
    position_ = 0;
    open_ = true;
    return RK_OK;
}

ResultCode CFileIOSQLite::Close() {
    if (main_) {
        main_->Release();
        main_ = nullptr;
    }
    frames_.clear();
    pageMap_.clear();
    size_ = 0;
    position_ = 0;
    open_ = false;
    return RK_OK;
}

void CFileIOSQLite::ReadPageAt(uint64_t k, uint8_t* dest) {
    const int frame = FrameOfPage(k);
    if (frame >= 0) {
        std::memcpy(dest, frames_[frame].image, pageSize_);
        return;
    }
    long long n = main_ ? main_->ReadAt(static_cast<int64_t>(k * pageSize_), dest, pageSize_) : -1;
    if (n != static_cast<long long>(pageSize_)) std::memset(dest, 0, pageSize_);
}

void CFileIOSQLite::Release() { delete this; }
