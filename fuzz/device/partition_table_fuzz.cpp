// The device folder's partition tables over arbitrary disk bytes: an MBR with extended partitions,
// or a GPT. Every extent found must lie inside the image, and none be given twice.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>

#include "outside/device/PartitionTable.h"
#include "platform/FileSystem.h"
#include "platform/PlatformFile.h"

namespace {
struct ScratchImage {
    ScratchImage() {
        folder = platform::CreateUniquePrivateDirectory(platform::TemporaryFolder(), "rk_fuzz_disk.");
        path = folder + "/disk.img";
    }
    ~ScratchImage() {
        platform::DeleteFile(path);
        platform::RemoveDirectory(folder);
    }
    std::string folder, path;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchImage scratch;
    if (size > (4u << 20)) return 0;
    {
        platform::PlatformFile out;
        if (!out.Open(scratch.path, platform::PlatformFile::Mode::CreateAlways) || (size && !out.Write(data, size)))
            return 0;
    }
    platform::PlatformFile image;
    if (!image.Open(scratch.path, platform::PlatformFile::Mode::Read)) return 0;
    for (uint32_t sectorSize : {512u, 4096u}) {
        std::set<std::pair<uint64_t, uint64_t>> seen;
        for (const PartitionExtent& part : ReadPartitionTable(image, size, sectorSize)) {
            // What is read lies inside the image and the entry; one that starts past the end, not at all.
            if (part.length > part.listed) std::abort();
            if (part.length != 0 && (part.offset > size || part.length > size - part.offset)) std::abort();
            if (!seen.emplace(part.offset, part.length).second) std::abort();  // each partition once
        }
    }
    return 0;
}
