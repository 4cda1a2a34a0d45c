// Feeds arbitrary bytes to the Ext2/3/4 quick search as a storage device: superblock, descriptors,
// inode tables, block maps, extent trees and folders are the input. Nothing may crash, loop, leak
// or read outside the device. The first byte's low bit picks 4096-byte sectors for 4 KiB blocks.
#include <cstdint>
#include <cstring>
#include <vector>

#include "filesystems/frame/CSearchedPartitionInfo.h"
#include "filesystems/ext/CExt2QuickSearch.h"
#include "media_recovery/file_model/IDataRunList.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "media_recovery/file_model/IFileNode.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "testing/MemoryDevice.h"

namespace {

// Takes folders, refuses every other node (as the media library's builder refuses deleted files),
// after touching what the result views and the per-item reader read.
class TouchingBuilder : public IDirecotryTreeBuilder {
public:
    ~TouchingBuilder() override {
        for (IFileNode* n : kept) delete n;
    }
    bool Init(IDataContainer<_ARCHIVE_INFOMATION>*, IProgress*, IRecoveryFilter*) override { return true; }
    bool AddNode(IFileNode* node, int) override {
        volatile size_t n = std::strlen(node->GetName());
        (void)n;
        if (auto* fs = dynamic_cast<IFilesystemNode*>(node)) {
            IFileNode* copy = fs->Clone();
            delete copy;
        }
        if (!node->IsDirectory()) return false;
        kept.push_back(node);
        return true;
    }
    int BeginSearch(int, int, int) override { return 1; }
    void EndSearch(int) override {}
    void Release() override {}
    std::vector<IFileNode*> kept;
};

class Sink : public IProgress {
public:
    void OnProgress(const PROGRESS_INFO*) override {}
    void OnDataChanged(int) override {}
    int ShouldContinue() override { return 1; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (4u << 20)) return 0;
    const bool bigSectors = size > 1048 && (data[0] & 1) && data[1024 + 24] >= 2;
    MemoryDevice device(std::vector<uint8_t>(data, data + size), bigSectors ? 4096 : 512);
    TouchingBuilder builder;
    Sink sink;
    CExt2QuickSearch searcher;
    searcher.SetBuilder(&builder);
    searcher.Search(&device, &sink);
    CSearchedPartitionInfo* out[1] = {};
    searcher.GetPartitions(out, 1);
    delete out[0];
    return 0;
}
