// Feeds arbitrary bytes as a storage device to both whole-device searchers, chunk by chunk as the
// controller does, then ends their searches and asks for their volumes. Nothing may crash, loop,
// hold unbounded memory or read outside the device. The first byte chooses the sector size (bit 0:
// 4096, else 512), the second the chunk length (2 to 257 sectors); the rest is the device.
#include <cstdint>
#include <cstring>
#include <vector>

#include "filesystems/CSearchedPartitionInfo.h"
#include "filesystems/FileSystemSearchers.h"
#include "media_recovery/file_model/CFileNode.h"
#include "media_recovery/file_model/IDataRunList.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "sqlite_recovery/framework/IStorageDevice.h"

namespace {

class BytesDevice : public IStorageDevice {
public:
    BytesDevice(const uint8_t* data, size_t size, uint32_t sectorSize)
        : bytes_(data, data + size), sectorSize_(sectorSize) {
        bytes_.resize((size + sectorSize - 1) / sectorSize * sectorSize);
    }
    int Open() override { return 1; }
    int Close() override { return 1; }
    int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
        if (first > GetSectorCount() || count > GetSectorCount() - first) return 0;
        std::memcpy(buffer, bytes_.data() + first * sectorSize_, count * sectorSize_);
        return 1;
    }
    uint32_t GetSectorSize() override { return sectorSize_; }
    uint64_t GetSectorCount() override { return bytes_.size() / sectorSize_; }
    uint64_t GetReserved() override { return 0; }

private:
    std::vector<uint8_t> bytes_;
    uint32_t sectorSize_;
};

// Keeps the nodes and walks what the result views and the per-item reader read of them.
class KeepingBuilder : public IDirecotryTreeBuilder {
public:
    ~KeepingBuilder() override {
        for (IFileNode* n : nodes) delete n;
    }
    bool Init(IDataContainer<_ARCHIVE_INFOMATION>*, IProgress*, IRecoveryFilter*) override { return true; }
    bool AddNode(IFileNode* node, int) override {
        volatile size_t n = std::strlen(node->GetName());
        (void)n;
        if (IDataRunList* runs = static_cast<CFileNode*>(node)->GetDataRuns()) {
            volatile uint64_t units = 0;
            for (DataRun* r = runs->First(); r; r = runs->Next()) units = units + r->length;
        }
        nodes.push_back(node);
        return true;
    }
    int BeginSearch(int, int, int) override { return 1; }
    void EndSearch(int) override {}
    void Release() override {}
    std::vector<IFileNode*> nodes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3 || size > (4u << 20)) return 0;
    const uint32_t sectorSize = (data[0] & 1) ? 4096 : 512;
    const uint32_t chunk = 2u + data[1];
    BytesDevice device(data + 2, size - 2, sectorSize);
    for (ICompleteFileSystemSearchController* searcher : {CreateExFatCompleteSearch(), CreateFATCompleteSearcher()}) {
        KeepingBuilder builder;
        searcher->SetDevice(&device);
        searcher->SetChunkSectors(chunk);
        searcher->SetBuilder(&builder);
        searcher->BeginSearch();
        for (uint64_t first = 0; first < device.GetSectorCount(); first += chunk)
            searcher->ScanChunk(first, std::min<uint64_t>(chunk, device.GetSectorCount() - first), nullptr);
        searcher->EndSearch();
        const int count = searcher->GetPartitions(nullptr, 0);
        std::vector<CSearchedPartitionInfo*> out(static_cast<size_t>(count > 0 ? count : 0));
        if (count > 0 && searcher->GetPartitions(out.data(), count) == count)
            for (CSearchedPartitionInfo* p : out) delete p;
        delete searcher;
    }
    return 0;
}
