// media_bench [MiB]: the read-ahead cache's scan of an image against plain sequential reads, and
// per-item recovery of a fragmented file. The image is made in /tmp and read from the page cache.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "media_recovery/CDataRecovery.h"
#include "media_recovery/file_model/CDataRunList.h"
#include "outside/device/CImageStorage.h"
#include "filesystems/frame/CSearchedPartitionInfo.h"
#include "media_recovery/CStorageDeviceWithCache.h"
#include "filesystems/frame/IFileSystemSearchController.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "testing/TestNodes.h"

namespace {
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

class OneVolume : public IQuickFileSystemSearchController {
public:
    void SetBuilder(IDirecotryTreeBuilder*) override {}
    int GetPartitions(CSearchedPartitionInfo** out, int max) override {
        if (!out || max < 1) return 1;
        out[0] = new CSearchedPartitionInfo(512);
        out[0]->sectorsPerCluster = 8;
        out[0]->index = 0;
        return 1;
    }
    ResultCode Search(IStorageDevice*, IProgress*) override { return RK_OK; }
};

class Quiet : public IProgress {
public:
    void OnProgress(const PROGRESS_INFO*) override {}
    void OnDataChanged(int) override {}
    int ShouldContinue() override { return 1; }
};
}  // namespace

int main(int argc, char** argv) {
    uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    std::string image = "/tmp/rk_media_bench.img";
    {
        std::ofstream out(image, std::ios::binary);
        std::vector<uint8_t> block(1 << 20);
        std::mt19937_64 rng(1);
        for (auto& b : block) b = static_cast<uint8_t>(rng());
        for (uint64_t i = 0; i < mib; ++i) {
            block[0] = static_cast<uint8_t>(i);
            out.write(reinterpret_cast<const char*>(block.data()), block.size());
        }
    }
    CImageStorage volume(image, 512);
    if (!volume.Open()) return 1;
    const uint32_t L = 8192;
    std::vector<uint8_t> chunk(L * 512);
    uint64_t chunks = volume.GetSectorCount() / L;
    double bytes = static_cast<double>(chunks) * L * 512;

    // Warm the page cache, then plain sequential reads of 4 MiB.
    for (uint64_t i = 0; i < chunks; ++i) volume.ReadSectors(chunk.data(), i * L, L);
    auto start = Clock::now();
    uint64_t sum = 0;
    for (uint64_t i = 0; i < chunks; ++i) {
        volume.ReadSectors(chunk.data(), i * L, L);
        sum += chunk[4096];
    }
    double plain = bytes / Seconds(start) / 1e6;

    // The cache: LoadChunk, then the searchers' reads of the chunk from the window.
    start = Clock::now();
    {
        CStorageDeviceWithCache cache(&volume);
        cache.SetChunkSectors(L);
        cache.Start();
        for (uint64_t i = 0; i < chunks; ++i) {
            cache.LoadChunk(i);
            cache.ReadSectors(chunk.data(), i * L, L);
            sum += chunk[4096];
        }
        cache.Stop();
    }
    double cached = bytes / Seconds(start) / 1e6;

    // Per-item recovery: a file of 256 MiB (or the image) in 64 runs, written to /tmp.
    uint64_t fileBytes = std::min<uint64_t>(256, mib / 2) << 20;
    CTestNode node("bench.mp4", fileBytes);
    CDataRunList* runs = CreateDataRunList();
    uint64_t clusters = fileBytes / 4096, per = clusters / 64;
    for (uint64_t r = 0; r < 64; ++r) runs->PushRun(DataRun(static_cast<int64_t>(r * per * 2), per));
    node.SetDataRuns(runs);
    OneVolume searcher;
    CDataRecovery recovery;
    recovery.Open(&searcher, &volume);
    if (IArchiveFileReader* reader = recovery.OpenFile(&node)) reader->Release();
    std::string dest = "/tmp/rk_media_bench.out";
    std::remove(dest.c_str());
    Quiet sink;
    start = Clock::now();
    recovery.RecoverTo(dest.c_str(), &sink, 0);
    double written = static_cast<double>(fileBytes) / Seconds(start) / 1e6;
    std::remove(dest.c_str());
    std::remove(image.c_str());

    std::printf("image %llu MiB from page cache (checksum %llu)\n", static_cast<unsigned long long>(mib),
                static_cast<unsigned long long>(sum));
    std::printf("plain 4 MiB reads     %8.0f MB/s\n", plain);
    std::printf("read-ahead cache scan %8.0f MB/s (%.2fx plain)\n", cached, cached / plain);
    std::printf("RecoverTo, 64 runs    %8.0f MB/s (%llu MiB)\n", written,
                static_cast<unsigned long long>(fileBytes >> 20));
    return 0;
}
