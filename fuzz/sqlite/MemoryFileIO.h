#pragma once
// A read-only IFileIO over bytes in memory, as a plain database file.
#include <algorithm>
#include <cstring>

#include "sqlite_recovery/engine/IFileIO.h"

class MemoryFileIO : public IFileIO {
public:
    MemoryFileIO(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    ResultCode Open(const wchar_t*, int) override { return RK_OK; }
    ResultCode Close() override { return RK_OK; }
    ResultCode Read(void* buffer, unsigned length, unsigned* done) override {
        const uint64_t n = position_ >= size_ ? 0 : std::min<uint64_t>(length, size_ - position_);
        if (n) std::memcpy(buffer, data_ + position_, n);
        position_ += n;
        if (done) *done = static_cast<unsigned>(n);
        return RK_OK;
    }
    ResultCode Write(const void*, unsigned, unsigned*) override { return RK_FAIL(RK_E_FAIL); }
    ResultCode Seek(int64_t offset, int64_t* position) override {
        if (offset < 0) return RK_FAIL(RK_E_FAIL);
        position_ = static_cast<uint64_t>(offset);
        if (position) *position = offset;
        return RK_OK;
    }
    ResultCode GetSize(int64_t* size) override {
        *size = static_cast<int64_t>(size_);
        return RK_OK;
    }
    void Release() override { delete this; }

private:
    const uint8_t* data_;
    size_t size_;
    uint64_t position_ = 0;
};
