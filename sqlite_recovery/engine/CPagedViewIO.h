#pragma once
#include <cstdint>

#include "sqlite_recovery/engine/IFileIO.h"

// What the two views of a database with its log share: read-only, whole pages only, each page
// produced by the view itself.
class CPagedViewIO : public IFileIO {
public:
    ResultCode Read(void* buffer, unsigned length, unsigned* done) override;
    ResultCode Write(const void* buffer, unsigned length, unsigned* done) override;
    ResultCode Seek(int64_t offset, int64_t* position) override;
    ResultCode GetSize(int64_t* size) override;

protected:
    // Copies page index k (0-based) of the view into dest, one page.
    virtual void ReadViewPage(uint64_t k, uint8_t* dest) = 0;

    bool open_ = false;
    uint32_t pageSize_ = 0;
    int64_t size_ = 0;
    int64_t position_ = 0;
};
