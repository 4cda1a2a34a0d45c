#pragma once
#include <memory>

#include "logic_contract/IItemReader.h"
#include "media_recovery/IArchiveDataRecovery.h"

class ScanResults;

// A found file read for a preview: the media library's reader of it, with the scan it came from
// kept alive until the GUI releases this.
class CItemReader : public IItemReader {
public:
    CItemReader(std::shared_ptr<ScanResults> results, IArchiveFileReader* reader);
    ~CItemReader() override;
    CItemReader(const CItemReader&) = delete;
    CItemReader& operator=(const CItemReader&) = delete;

    unsigned Read(uint64_t offset, void* buf, unsigned len) override;
    int ReadSmall(void* buf, unsigned capacity) override;
    uint64_t GetSize64() override;
    unsigned GetSize() override;
    void Release() override { delete this; }

private:
    std::shared_ptr<ScanResults> results_;
    IArchiveFileReader* reader_;
};
