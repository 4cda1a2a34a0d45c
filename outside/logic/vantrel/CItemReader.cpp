#include "outside/logic/vantrel/CItemReader.h"

#include <utility>

#include "outside/logic/vantrel/ScanResults.h"

CItemReader::CItemReader(std::shared_ptr<ScanResults> results, IArchiveFileReader* reader)
    : results_(std::move(results)), reader_(reader) {}

CItemReader::~CItemReader() {
    // The reader goes before the scan whose volumes it reads.
    if (reader_) reader_->Release();
}

unsigned CItemReader::Read(uint64_t offset, void* buf, unsigned len) {
    if (!buf || len == 0) return 0;
    return reader_->Read(offset, buf, len);
}

int CItemReader::ReadSmall(void* buf, unsigned capacity) {
    uint64_t size = reader_->GetSize();
    if (!buf || size > capacity) return 0;
    // What the extents do not cover stays as the caller zeroed it.
    for (uint64_t at = 0; at < size;) {
        uint32_t got = reader_->Read(at, static_cast<unsigned char*>(buf) + at, static_cast<uint32_t>(size - at));
        if (got == 0) break;
        at += got;
    }
    return 1;
}

uint64_t CItemReader::GetSize64() { return reader_->GetSize(); }

unsigned CItemReader::GetSize() {
    uint64_t size = reader_->GetSize();
    return size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<unsigned>(size);
}
