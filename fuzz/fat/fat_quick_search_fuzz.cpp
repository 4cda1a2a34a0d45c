// Feeds arbitrary bytes to the FAT quick search as a storage device: the volume's boot sector,
// tables and directories are the input. Nothing may crash, loop or read outside the device.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "filesystems/fat/CFATQuickSearcher.h"
#include "filesystems/frame/CSearchedPartitionInfo.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "media_recovery/file_model/IFileNode.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "testing/KeepingBuilder.h"
#include "testing/MemoryDevice.h"

namespace {


class Sink : public IProgress {
public:
    void OnProgress(const PROGRESS_INFO*) override {}
    void OnDataChanged(int) override {}
    int ShouldContinue() override { return 1; }
};

}  // namespace


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (4u << 20)) return 0;
    const uint32_t sectorSize = size >= 13 && data[11] == 0x00 && data[12] == 0x10 ? 4096 : 512;
    MemoryDevice device(std::vector<uint8_t>(data, data + size), sectorSize);
    KeepingBuilder builder;
    Sink sink;
    CFATQuickSearcher searcher;
    searcher.SetBuilder(&builder);
    searcher.Search(&device, &sink);
    CSearchedPartitionInfo* out[1] = {};
    if (searcher.GetPartitions(out, 1) == 1) delete out[0];
    return 0;
}
