#include "sqlite_recovery/engine/CFileIOSQLiteEx.h"

#include <algorithm>
#include <cstring>
#include <new>

CFileIOSQLiteEx::CFileIOSQLiteEx(const WalFile* wal, int commitFrame) : wal_(wal), commitFrame_(commitFrame) {}

CFileIOSQLiteEx::~CFileIOSQLiteEx() { Close(); }

ResultCode CFileIOSQLiteEx::Open(const wchar_t* path, int mode) {
    Close();
    if (!path || mode != 0 || !wal_) return RK_FAIL(RK_E_FAIL);
    main_ = new (std::nothrow) CFileIOWin32;
    if (!main_) return RK_FAIL(RK_E_OUT_OF_MEMORY);
    main_->Open(path, 0);  // a missing main file simply contributes no pages
    inner_ = new (std::nothrow) CFileIOSQLite(wal_, commitFrame_);
    if (!inner_) {
        Close();
        return RK_FAIL(RK_E_OUT_OF_MEMORY);
    }
    ResultCode rc = inner_->Open(path, 0);
    if (Failed(rc)) {
        Close();
        return rc;
    }
    pageSize_ = wal_->pageSize;
    if (pageSize_ == 0) {
        Close();
        return RK_FAIL(RK_E_FAIL);
    }
    const uint64_t n = inner_->PageCount();
    if (n == 0) {
        Close();
        return RK_FAIL(RK_E_FAIL);
    }
    int64_t mainSize = 0;
    uint64_t m = 0;
    if (main_->IsOpen() && Succeeded(main_->GetSize(&mainSize)) && mainSize > 0)
        m = static_cast<uint64_t>(mainSize) / pageSize_;
    try {
        frames_ = wal_->frames;
        table_.reserve(static_cast<size_t>(n + frames_.size() + m));
        for (uint64_t k = 0; k < n; ++k) table_.push_back({0, static_cast<uint32_t>(k)});
        // Every version the committed view does not show gets a page of its own here, so each
        // frame and each main-file page is in one of the two views.
        for (size_t j = 0; j < frames_.size(); ++j) {
            const uint32_t pn = frames_[j].pageNumber;
            const bool shown = pn >= 1 && pn <= n && inner_->FrameOfPage(pn - 1) == static_cast<int>(j);
            if (!shown) table_.push_back({2, static_cast<uint32_t>(j)});
        }
        for (uint64_t k = 0; k < m; ++k) {
            if (k >= n || inner_->FrameOfPage(k) != -1) table_.push_back({1, static_cast<uint32_t>(k)});
        }
    } catch (const std::bad_alloc&) {
        Close();
        return RK_FAIL(RK_E_OUT_OF_MEMORY);
    }
    committedPages_ = n;
    size_ = static_cast<int64_t>(table_.size()) * pageSize_;
    position_ = 0;
    open_ = true;
    return RK_OK;
}

ResultCode CFileIOSQLiteEx::Close() {
    if (inner_) {
        inner_->Release();
        inner_ = nullptr;
    }
    if (main_) {
        main_->Release();
        main_ = nullptr;
    }
    frames_.clear();
    table_.clear();
    committedPages_ = 0;
    size_ = 0;
    position_ = 0;
    open_ = false;
    return RK_OK;
}

void CFileIOSQLiteEx::ReadViewPage(uint64_t e, uint8_t* dest) {
    const ViewPageEntry& entry = table_[e];
    switch (entry.kind) {
        case 0: inner_->ReadPageAt(entry.index, dest); return;
        case 1: {
            long long n = main_->ReadAt(static_cast<int64_t>(uint64_t(entry.index) * pageSize_), dest, pageSize_);
            if (n != static_cast<long long>(pageSize_)) std::memset(dest, 0, pageSize_);
            return;
        }
        case 2:
            if (entry.index < frames_.size()) {
                std::memcpy(dest, frames_[entry.index].image, pageSize_);
                return;
            }
            break;
    }
    std::memset(dest, 0, pageSize_);
}

void CFileIOSQLiteEx::Release() { delete this; }
