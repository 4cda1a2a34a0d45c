#include "sqlite_recovery/engine/CPagedViewIO.h"

#include <algorithm>

ResultCode CPagedViewIO::Read(void* buffer, unsigned length, unsigned* done) {
    if (done) *done = 0;
    if (!open_) return RK_FAIL(RK_E_FAIL);
    if (pageSize_ == 0 || length % pageSize_ != 0) return RK_FAIL(RK_E_FAIL);
    if (length == 0) return RK_OK;
    if (!buffer) return RK_FAIL(RK_E_FAIL);
    int64_t n = std::min<int64_t>(length, size_ - position_);
    if (n < 0) n = 0;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    for (int64_t at = 0; at < n; at += pageSize_)
        ReadViewPage(static_cast<uint64_t>((position_ + at) / pageSize_), out + at);
    position_ += n;
    if (done) *done = static_cast<unsigned>(n);
    return RK_OK;
}

ResultCode CPagedViewIO::Write(const void*, unsigned, unsigned* done) {
    if (done) *done = 0;
    return RK_FAIL(RK_E_FAIL);
}

ResultCode CPagedViewIO::Seek(int64_t offset, int64_t* position) {
    if (!open_) return RK_FAIL(RK_E_FAIL);
    if (pageSize_ == 0 || offset < 0 || offset % pageSize_ != 0) return RK_FAIL(RK_E_FAIL);
    position_ = std::min(offset, size_);
    if (position) *position = position_;
    return RK_OK;
}

ResultCode CPagedViewIO::GetSize(int64_t* size) {
    if (!open_ || !size) return RK_FAIL(RK_E_FAIL);
    *size = size_;
    return RK_OK;
}
