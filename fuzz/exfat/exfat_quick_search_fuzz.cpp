// Feeds arbitrary bytes to the exFAT quick search as a storage device: the boot sector, the FAT and
// the directories are the input. Nothing may crash, loop or read outside the device.
#include <cstdint>
#include <cstring>
#include <vector>

#include "filesystems/frame/CSearchedPartitionInfo.h"
#include "filesystems/exfat/CExFatQuickSearch.h"
#include "media_recovery/file_model/CFileNode.h"
#include "media_recovery/file_model/IDataRunList.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
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
    // BytesPerSectorShift decides the device's sector size.
    const uint32_t sectorSize = size > 108 && data[108] == 12 ? 4096 : 512;
    MemoryDevice device(std::vector<uint8_t>(data, data + size), sectorSize);
    KeepingBuilder builder;
    Sink sink;
    CExFatQuickSearch searcher;
    searcher.SetBuilder(&builder);
    searcher.Search(&device, &sink);
    CSearchedPartitionInfo* out[1] = {};
    if (searcher.GetPartitions(out, 1) == 1) delete out[0];
    return 0;
}
